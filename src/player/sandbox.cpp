#include "player/sandbox.h"

#include <fcntl.h>
#include <linux/landlock.h>
#include <sched.h>
#include <seccomp.h>
#include <sys/ioctl.h>
#include <sys/mount.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

namespace vidrake::player {

namespace {

// Landlock's numbers up to the kernel's ABI 7, as this machine's headers may predate them.
constexpr std::uint64_t kFsReadFile = 1ULL << 2;
constexpr std::uint64_t kFsReadDir = 1ULL << 3;
constexpr std::uint64_t kFsAbi1 = (1ULL << 13) - 1;      // execute up to make-symlink
constexpr std::uint64_t kFsRefer = 1ULL << 13;           // ABI 2
constexpr std::uint64_t kFsTruncate = 1ULL << 14;        // ABI 3
constexpr std::uint64_t kFsIoctlDev = 1ULL << 15;        // ABI 5
constexpr std::uint64_t kNetTcp = 3;                     // bind and connect, ABI 4
constexpr std::uint64_t kScopeAbstractUnix = 1ULL << 0;  // ABI 6
constexpr std::uint64_t kScopeSignal = 1ULL << 1;        // ABI 6

struct RulesetAttr {
    std::uint64_t handledFs;
    std::uint64_t handledNet;
    std::uint64_t scoped;
};

int landlockAbi() {
    return static_cast<int>(
        ::syscall(SYS_landlock_create_ruleset, nullptr, 0, LANDLOCK_CREATE_RULESET_VERSION));
}

// Read-only access to what the media library and the sound server's client read at run time:
// their libraries and plug-ins, their settings under /etc, the fonts' cache, the processor
// count, the process's own /proc entries. Nothing else, so nothing in HOME, /tmp or /run.
const char* const kReadable[] = {
    "/usr",
    "/lib",
    "/lib64",
    "/etc",
    "/var/cache/fontconfig",
    "/sys/devices/system/cpu",
    "/proc/self",
    "/dev/null",
    "/dev/zero",
    "/dev/urandom",
};

bool enterLandlock(int abi, std::string* why) {
    std::uint64_t fs = kFsAbi1;
    fs |= abi >= 2 ? kFsRefer : 0;
    fs |= abi >= 3 ? kFsTruncate : 0;
    fs |= abi >= 5 ? kFsIoctlDev : 0;
    // No TCP at all, though seccomp already refuses its sockets; no abstract Unix socket (an X
    // server or a bus listening there) and no signal to a process outside, the window included.
    const RulesetAttr attr{fs, kNetTcp, kScopeAbstractUnix | kScopeSignal};
    const std::size_t size = abi >= 6   ? sizeof attr
                             : abi >= 4 ? 2 * sizeof(std::uint64_t)
                                        : sizeof(std::uint64_t);
    const int ruleset = static_cast<int>(::syscall(SYS_landlock_create_ruleset, &attr, size, 0));
    if (ruleset < 0) {
        *why = std::strerror(errno);
        return false;
    }
    for (const char* path : kReadable) {
        const int fd = ::open(path, O_PATH | O_CLOEXEC);
        if (fd < 0) {
            continue;  // not on this system
        }
        struct stat st {};
        const bool folder = ::fstat(fd, &st) == 0 && S_ISDIR(st.st_mode);
        landlock_path_beneath_attr rule{};
        rule.allowed_access = folder ? (kFsReadFile | kFsReadDir) : kFsReadFile;
        rule.parent_fd = fd;
        ::syscall(SYS_landlock_add_rule, ruleset, LANDLOCK_RULE_PATH_BENEATH, &rule, 0);
        ::close(fd);
    }
    const bool done = ::syscall(SYS_landlock_restrict_self, ruleset, 0) == 0;
    if (!done) {
        *why = std::strerror(errno);
    }
    ::close(ruleset);
    return done;
}

bool writeFile(const char* path, const std::string& text) {
    const int fd = ::open(path, O_WRONLY | O_CLOEXEC);
    const bool done =
        fd >= 0 && ::write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size());
    if (fd >= 0) {
        ::close(fd);
    }
    return done;
}

// Where Landlock is missing: a user and mount namespace of its own in which HOME is an empty,
// read-only folder, which is also where it works.
bool hideHome(std::string* why) {
    const uid_t uid = ::getuid();
    const gid_t gid = ::getgid();
    const char* home = std::getenv("HOME");
    if (!home || home[0] != '/') {
        *why = "HOME is not set";
        return false;
    }
    if (::unshare(CLONE_NEWUSER | CLONE_NEWNS) != 0) {
        *why = std::strerror(errno);
        return false;
    }
    const bool mapped =
        writeFile("/proc/self/setgroups", "deny") &&
        writeFile("/proc/self/uid_map", std::to_string(uid) + ' ' + std::to_string(uid) + " 1") &&
        writeFile("/proc/self/gid_map", std::to_string(gid) + ' ' + std::to_string(gid) + " 1");
    if (!mapped || ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
        ::mount("vidrake", home, "tmpfs", MS_RDONLY | MS_NOSUID | MS_NODEV | MS_NOEXEC,
                "size=4k,mode=0500") != 0 ||
        ::chdir(home) != 0) {
        *why = std::strerror(errno);
        return false;
    }
    return true;
}

struct Rule {
    int syscall;
    unsigned count;
    scmp_arg_cmp args[2];
};

// The system calls that decoding, the media library's threads, drawing into the shared
// pictures and the sound server's client make; anything else is refused with EPERM.
bool enterSeccomp(std::string* why) {
    scmp_filter_ctx ctx = seccomp_init(SCMP_ACT_ERRNO(EPERM));
    if (!ctx) {
        *why = "libseccomp could not start a filter";
        return false;
    }
    const int plain[] = {
        // Reading and writing descriptors already open: the movie, the sockets, the pictures.
        SCMP_SYS(read),
        SCMP_SYS(write),
        SCMP_SYS(readv),
        SCMP_SYS(writev),
        SCMP_SYS(pread64),
        SCMP_SYS(pwrite64),
        SCMP_SYS(preadv),
        SCMP_SYS(pwritev),
        SCMP_SYS(lseek),
        SCMP_SYS(close),
        SCMP_SYS(close_range),
        SCMP_SYS(dup),
        SCMP_SYS(dup2),
        SCMP_SYS(dup3),
        SCMP_SYS(fcntl),
        SCMP_SYS(fstat),
        SCMP_SYS(newfstatat),
        SCMP_SYS(statx),
        SCMP_SYS(stat),
        SCMP_SYS(lstat),
        SCMP_SYS(fstatfs),
        SCMP_SYS(statfs),
        SCMP_SYS(getdents64),
        SCMP_SYS(readlink),
        SCMP_SYS(readlinkat),
        SCMP_SYS(access),
        SCMP_SYS(faccessat),
        SCMP_SYS(faccessat2),
        SCMP_SYS(getcwd),
        SCMP_SYS(fadvise64),
        SCMP_SYS(ftruncate),
        // Memory, the pictures' shared memory and the sound server's.
        SCMP_SYS(mmap),
        SCMP_SYS(munmap),
        SCMP_SYS(mprotect),
        SCMP_SYS(mremap),
        SCMP_SYS(madvise),
        SCMP_SYS(brk),
        SCMP_SYS(msync),
        SCMP_SYS(mincore),
        SCMP_SYS(mlock),
        SCMP_SYS(munlock),
        SCMP_SYS(membarrier),
        SCMP_SYS(memfd_create),
        // Threads, their locks, signals among them, and time.
        SCMP_SYS(futex),
        SCMP_SYS(set_robust_list),
        SCMP_SYS(get_robust_list),
        SCMP_SYS(rseq),
        SCMP_SYS(set_tid_address),
        SCMP_SYS(exit),
        SCMP_SYS(exit_group),
        SCMP_SYS(rt_sigaction),
        SCMP_SYS(rt_sigprocmask),
        SCMP_SYS(rt_sigreturn),
        SCMP_SYS(sigaltstack),
        SCMP_SYS(restart_syscall),
        SCMP_SYS(arch_prctl),
        SCMP_SYS(getpid),
        SCMP_SYS(gettid),
        SCMP_SYS(getppid),
        SCMP_SYS(getuid),
        SCMP_SYS(geteuid),
        SCMP_SYS(getgid),
        SCMP_SYS(getegid),
        SCMP_SYS(getresuid),
        SCMP_SYS(getresgid),
        SCMP_SYS(getgroups),
        SCMP_SYS(sched_yield),
        SCMP_SYS(sched_getaffinity),
        SCMP_SYS(sched_getparam),
        SCMP_SYS(sched_getscheduler),
        SCMP_SYS(sched_get_priority_min),
        SCMP_SYS(sched_get_priority_max),
        SCMP_SYS(getpriority),
        SCMP_SYS(nanosleep),
        SCMP_SYS(clock_nanosleep),
        SCMP_SYS(clock_gettime),
        SCMP_SYS(clock_getres),
        SCMP_SYS(gettimeofday),
        SCMP_SYS(time),
        SCMP_SYS(timerfd_create),
        SCMP_SYS(timerfd_settime),
        SCMP_SYS(timerfd_gettime),
        SCMP_SYS(getrandom),
        SCMP_SYS(uname),
        SCMP_SYS(sysinfo),
        SCMP_SYS(getrlimit),
        SCMP_SYS(getrusage),
        // Waiting on descriptors.
        SCMP_SYS(poll),
        SCMP_SYS(ppoll),
        SCMP_SYS(select),
        SCMP_SYS(pselect6),
        SCMP_SYS(epoll_create1),
        SCMP_SYS(epoll_ctl),
        SCMP_SYS(epoll_wait),
        SCMP_SYS(epoll_pwait),
        SCMP_SYS(epoll_pwait2),
        SCMP_SYS(eventfd2),
        SCMP_SYS(pipe2),
        SCMP_SYS(pipe),
        // Messages on the window's sockets and the sound server's.
        SCMP_SYS(sendmsg),
        SCMP_SYS(recvmsg),
        SCMP_SYS(sendto),
        SCMP_SYS(recvfrom),
        SCMP_SYS(sendmmsg),
        SCMP_SYS(recvmmsg),
        SCMP_SYS(shutdown),
        SCMP_SYS(getsockopt),
        SCMP_SYS(setsockopt),
        SCMP_SYS(getsockname),
        SCMP_SYS(getpeername),
        SCMP_SYS(connect),
    };
    bool ok = true;
    for (const int call : plain) {
        ok = ok && seccomp_rule_add(ctx, SCMP_ACT_ALLOW, call, 0) == 0;
    }
    const int self = static_cast<int>(::getpid());
    const long writing = O_WRONLY | O_RDWR | O_CREAT | O_TRUNC | O_APPEND | 020000000;  // O_TMPFILE
    const Rule limited[] = {
        // Files are opened for reading only; Landlock, where there, says which.
        {SCMP_SYS(open), 1, {SCMP_A1(SCMP_CMP_MASKED_EQ, writing, 0)}},
        {SCMP_SYS(openat), 1, {SCMP_A2(SCMP_CMP_MASKED_EQ, writing, 0)}},
        // Threads only: a process of its own would be a way around nothing, but is no use.
        {SCMP_SYS(clone), 1, {SCMP_A0(SCMP_CMP_MASKED_EQ, CLONE_THREAD, CLONE_THREAD)}},
        // Sockets of the Unix kind only, for the sound server: no network of any kind.
        {SCMP_SYS(socket), 1, {SCMP_A0(SCMP_CMP_EQ, AF_UNIX)}},
        {SCMP_SYS(socketpair), 1, {SCMP_A0(SCMP_CMP_EQ, AF_UNIX)}},
        // Signals to itself only, never to the window or anyone else.
        {SCMP_SYS(kill), 1, {SCMP_A0(SCMP_CMP_EQ, static_cast<scmp_datum_t>(self))}},
        {SCMP_SYS(tgkill), 1, {SCMP_A0(SCMP_CMP_EQ, static_cast<scmp_datum_t>(self))}},
        // Its own limits, read or lowered; the caps set here cannot be raised again.
        {SCMP_SYS(prlimit64), 1, {SCMP_A0(SCMP_CMP_EQ, 0)}},
        {SCMP_SYS(sched_setaffinity), 1, {SCMP_A0(SCMP_CMP_EQ, 0)}},
        // Thread names.
        {SCMP_SYS(prctl), 1, {SCMP_A0(SCMP_CMP_EQ, PR_SET_NAME)}},
        {SCMP_SYS(prctl), 1, {SCMP_A0(SCMP_CMP_EQ, PR_GET_NAME)}},
        // The ioctls that libraries ask of sockets, pipes and a terminal; never one that types
        // into a terminal (TIOCSTI) or changes it.
        {SCMP_SYS(ioctl), 1, {SCMP_A1(SCMP_CMP_EQ, FIONREAD)}},
        {SCMP_SYS(ioctl), 1, {SCMP_A1(SCMP_CMP_EQ, FIONBIO)}},
        {SCMP_SYS(ioctl), 1, {SCMP_A1(SCMP_CMP_EQ, FIOCLEX)}},
        {SCMP_SYS(ioctl), 1, {SCMP_A1(SCMP_CMP_EQ, TCGETS)}},
        {SCMP_SYS(ioctl), 1, {SCMP_A1(SCMP_CMP_EQ, TIOCGWINSZ)}},
    };
    for (const Rule& rule : limited) {
        ok = ok &&
             seccomp_rule_add_array(ctx, SCMP_ACT_ALLOW, rule.syscall, rule.count, rule.args) == 0;
    }
    // What only an attack would try ends the process at once: running a program, and
    // reading or changing another process.
    for (const int call : {SCMP_SYS(execve), SCMP_SYS(execveat), SCMP_SYS(ptrace),
                           SCMP_SYS(process_vm_readv), SCMP_SYS(process_vm_writev)}) {
        ok = ok && seccomp_rule_add(ctx, SCMP_ACT_KILL_PROCESS, call, 0) == 0;
    }
    // clone3 hides its flags in memory a filter cannot read: refused as unknown, so that the
    // C library falls back to clone, whose flags are checked above.
    ok = ok && seccomp_rule_add(ctx, SCMP_ACT_ERRNO(ENOSYS), SCMP_SYS(clone3), 0) == 0;
    ok = ok && seccomp_rule_add(ctx, SCMP_ACT_ERRNO(ENOSYS), SCMP_SYS(openat2), 0) == 0;
    const int loaded = ok ? seccomp_load(ctx) : -1;
    seccomp_release(ctx);
    if (loaded != 0) {
        *why = ok ? std::string("the kernel refused the filter: ") + std::strerror(-loaded)
                  : "the filter could not be built";
        return false;
    }
    return true;
}

}  // namespace

SandboxResult enterSandbox(const SandboxOptions& options) {
    SandboxResult result;
    // Never outlives the window: the window going for any reason ends the player too.
    ::prctl(PR_SET_PDEATHSIG, SIGKILL);
    // No program it could start would gain privileges (set-user-id and file capabilities
    // ignored); Landlock and seccomp require it of an unprivileged process.
    if (::prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) != 0) {
        result.failure = std::string("no-new-privileges: ") + std::strerror(errno);
        return result;
    }
    std::string why;
    const int abi = options.landlock ? landlockAbi() : -1;
    if (abi < 1) {
        result.missing.push_back(options.landlock ? "Landlock (not in this kernel)"
                                                  : "Landlock (left out)");
        std::string hidden;
        if (!hideHome(&hidden)) {
            result.missing.push_back("a namespace hiding HOME (" + hidden + ")");
        }
    } else {
        if (!enterLandlock(abi, &why)) {
            result.missing.push_back("Landlock (" + why + ")");
        } else if (abi < 6) {
            result.missing.push_back("Landlock's scopes for signals and abstract sockets (ABI " +
                                     std::to_string(abi) + ")");
        }
        // Where it works is no folder of the user's.
        if (::chdir("/") != 0) {
            result.missing.push_back("a working folder outside HOME");
        }
    }
    // A crash writes no core file where it works, and a decoder that runs away with memory
    // meets a wall long before the machine does. The sanitizers' shadow memory is larger
    // than any such cap.
    const rlimit noCore{0, 0};
    ::setrlimit(RLIMIT_CORE, &noCore);
#if !defined(__SANITIZE_ADDRESS__)
    const rlim_t space = rlim_t(4) << 30;
    const rlimit cap{space, space};
    if (::setrlimit(RLIMIT_AS, &cap) != 0) {
        result.missing.push_back("the cap on its address space");
    }
#endif
    if (!enterSeccomp(&why)) {
        result.failure = "seccomp: " + why;
        return result;
    }
    result.locked = true;
    return result;
}

}  // namespace vidrake::player
