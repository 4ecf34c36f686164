// Preloaded into a program under test: a name lookup of any host under "hang.test" never
// returns, as with a name server that never answers. Other names resolve as usual.
#include <dlfcn.h>
#include <netdb.h>
#include <unistd.h>

#include <cstring>

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
    return real(node, service, hints, res);
}
