#include "sim/fence/LoopbackFence.h"

#include <arpa/inet.h>
#include <dlfcn.h>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace nxfence {

namespace {

constexpr uint32_t kLoopback = 0x7F000001;  // 127.0.0.1

void Report(const char* what) {
    char line[200];
    const int n =
        std::snprintf(line, sizeof line,
                      "loopback fence: %s refused; only 127.0.0.1 may be reached here\n", what);
    if (n > 0) (void)!write(STDERR_FILENO, line, static_cast<size_t>(n));
}

// Tests and benchmarks stop at once, so that a reach beyond the machine can
// never pass unseen; the run command's programs are told "unreachable" and
// report a failed connection as they would for any absent station.
#ifdef NX_FENCE_REFUSES
constexpr bool kStops = false;
#else
constexpr bool kStops = true;
#endif

}  // namespace

bool MayDial(const sockaddr* address, socklen_t length) {
    if (address == nullptr || length < static_cast<socklen_t>(sizeof(sa_family_t))) return false;
    switch (address->sa_family) {
        case AF_UNIX:
        case AF_UNSPEC:
            return true;
        case AF_INET: {
            if (length < static_cast<socklen_t>(sizeof(sockaddr_in))) return false;
            sockaddr_in a;
            std::memcpy(&a, address, sizeof a);
            return ntohl(a.sin_addr.s_addr) == kLoopback;
        }
        case AF_INET6: {
            if (length < static_cast<socklen_t>(sizeof(sockaddr_in6))) return false;
            sockaddr_in6 a;
            std::memcpy(&a, address, sizeof a);
            const unsigned char mapped[16] = {0, 0, 0,    0,    0,   0, 0, 0,
                                              0, 0, 0xFF, 0xFF, 127, 0, 0, 1};
            return std::memcmp(a.sin6_addr.s6_addr, mapped, sizeof mapped) == 0;
        }
        default:
            return false;
    }
}

bool MayLookUp(const char* node) {
    if (node == nullptr) return true;
    unsigned char buffer[sizeof(in6_addr)];
    return inet_pton(AF_INET, node, buffer) == 1 || inet_pton(AF_INET6, node, buffer) == 1;
}

}  // namespace nxfence

// The C library's entry points, found behind this definition.
extern "C" int connect(int fd, const sockaddr* address, socklen_t length) {
    using Connect = int (*)(int, const sockaddr*, socklen_t);
    static const auto next = reinterpret_cast<Connect>(dlsym(RTLD_NEXT, "connect"));
    if (!nxfence::MayDial(address, length)) {
        char what[120] = "a connection";
        char text[INET6_ADDRSTRLEN] = "?";
        if (address != nullptr && address->sa_family == AF_INET &&
            length >= static_cast<socklen_t>(sizeof(sockaddr_in))) {
            sockaddr_in a;
            std::memcpy(&a, address, sizeof a);
            inet_ntop(AF_INET, &a.sin_addr, text, sizeof text);
            std::snprintf(what, sizeof what, "a connection to %s:%u", text, ntohs(a.sin_port));
        } else if (address != nullptr && address->sa_family == AF_INET6 &&
                   length >= static_cast<socklen_t>(sizeof(sockaddr_in6))) {
            sockaddr_in6 a;
            std::memcpy(&a, address, sizeof a);
            inet_ntop(AF_INET6, &a.sin6_addr, text, sizeof text);
            std::snprintf(what, sizeof what, "a connection to [%s]:%u", text, ntohs(a.sin6_port));
        }
        nxfence::Report(what);
        if (nxfence::kStops) std::abort();
        errno = ENETUNREACH;
        return -1;
    }
    return next(fd, address, length);
}

extern "C" int getaddrinfo(const char* node, const char* service, const addrinfo* hints,
                           addrinfo** result) {
    using Lookup = int (*)(const char*, const char*, const addrinfo*, addrinfo**);
    static const auto next = reinterpret_cast<Lookup>(dlsym(RTLD_NEXT, "getaddrinfo"));
    if (!nxfence::MayLookUp(node)) {
        char what[120];
        std::snprintf(what, sizeof what, "a lookup of the name \"%.80s\"", node);
        nxfence::Report(what);
        if (nxfence::kStops) std::abort();
        return EAI_NONAME;
    }
    return next(node, service, hints, result);
}
