// vidrake-player: the window's movie player, a process of its own that the window starts at
// the first play. It locks itself down before it does anything else (player/sandbox.h), then
// plays what the window hands over on the socket it finds as descriptor 3.
#include "player/player_engine.h"
#include "player/sandbox.h"

#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

namespace {

constexpr int kControl = 3;

constexpr char kHelp[] =
    "Usage: vidrake-player [--silent]\n"
    "The movie player of vidrake, started by it; not to be run by hand.\n"
    "  --silent                decode sound but play it nowhere\n"
    "  --sandbox-test=FILE     lock down, then try to read FILE, make a network socket,\n"
    "                          create a file beside FILE and run a program; say what happened\n"
    "  --no-landlock           lock down as where the kernel has no Landlock\n";

void tryOne(const char* what, int result) {
    std::printf("%s: %s\n", what, result >= 0 ? "allowed" : std::strerror(errno));
}

// What a hostile movie would try first; the last, running a program, ends the process.
int sandboxTest(const std::string& file) {
    tryOne("read", ::open(file.c_str(), O_RDONLY | O_CLOEXEC));
    tryOne("socket", ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
    tryOne("socket6", ::socket(AF_INET6, SOCK_STREAM | SOCK_CLOEXEC, 0));
    tryOne("create", ::open((file + ".new").c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0600));
    std::fflush(stdout);
    char* const argv[] = {const_cast<char*>("/bin/true"), nullptr};
    tryOne("execve", ::execve("/bin/true", argv, nullptr));
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    bool silent = false;
    bool landlock = true;
    std::string test;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--silent") {
            silent = true;
        } else if (arg == "--no-landlock") {
            landlock = false;
        } else if (arg.rfind("--sandbox-test=", 0) == 0) {
            test = arg.substr(15);
        } else {
            std::fputs(kHelp, arg == "--help" ? stdout : stderr);
            return arg == "--help" ? 0 : 2;
        }
    }
    int type = 0;
    socklen_t length = sizeof type;
    if (test.empty() && ::getsockopt(kControl, SOL_SOCKET, SO_TYPE, &type, &length) != 0) {
        std::fputs("vidrake-player: no socket from the window on descriptor 3\n", stderr);
        std::fputs(kHelp, stderr);
        return 2;
    }
    // Only what the window meant to hand over stays open.
    ::close_range(test.empty() ? kControl + 1 : kControl, ~0U, 0);
    const vidrake::player::SandboxResult sandbox = vidrake::player::enterSandbox({landlock});
    for (const std::string& layer : sandbox.missing) {
        std::fprintf(stderr, "vidrake-player: playing without %s\n", layer.c_str());
    }
    if (!sandbox.locked) {
        // Never unlocked: seccomp and no-new-privileges are not optional.
        std::fprintf(stderr, "vidrake-player: cannot lock itself down: %s\n",
                     sandbox.failure.c_str());
        return 1;
    }
    if (!test.empty()) {
        return sandboxTest(test);
    }
    const int status = vidrake::player::runPlayer(kControl, silent);
    // Straight out: what the C library or a sanitizer would still do at exit may be refused.
    std::fflush(stderr);
    ::_exit(status);
}
