// Preloaded into a program under test, a name service of its own: a lookup of any host under
// "hang.test" never returns, as with a name server that never answers; each lookup of a host
// under "loop.test" is told on standard error and finds 127.0.0.1. Other names resolve as usual.
#include <dlfcn.h>
#include <netdb.h>
#include <unistd.h>

#include <cstring>
#include <string>

extern "C" int getaddrinfo(const char* node, const char* service, const addrinfo* hints,
                           addrinfo** res) {
    if (node && std::strstr(node, "hang.test")) {
        static const char kHeld[] = "lookup held\n";
        (void)!write(STDERR_FILENO, kHeld, sizeof kHeld - 1);
        for (;;) {
            pause();
        }
    }
    using Real = int (*)(const char*, const char*, const addrinfo*, addrinfo**);
    static const auto real = reinterpret_cast<Real>(dlsym(RTLD_NEXT, "getaddrinfo"));
    if (node && std::strstr(node, "loop.test")) {
        const std::string told = std::string("lookup ") + node + '\n';
        (void)!write(STDERR_FILENO, told.data(), told.size());
        return real("127.0.0.1", service, hints, res);
    }
    return real(node, service, hints, res);
}
