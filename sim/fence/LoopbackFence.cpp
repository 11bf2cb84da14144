#include "sim/fence/LoopbackFence.h"

#include <arpa/inet.h>
#include <dlfcn.h>
#include <netdb.h>
#include <netinet/in.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace nxfence {

namespace {

constexpr uint32_t kLoopback = 0x7F000001;  // 127.0.0.1

// Reads the address as the family's own structure; false when it is shorter.
template <class Address>
bool Read(const sockaddr* address, socklen_t length, Address& out) {
    if (length < static_cast<socklen_t>(sizeof out)) return false;
    std::memcpy(&out, address, sizeof out);
    return true;
}

// Says what was refused on standard error. Tests and benchmarks then stop at
// once, so that a reach beyond the machine can never pass unseen; the run
// command's programs get the refusal and report a failed connection as they
// would for any absent station.
void Refuse(const char* what) {
    char line[200];
    const int n =
        std::snprintf(line, sizeof line,
                      "loopback fence: %s refused; only 127.0.0.1 may be reached here\n", what);
    if (n > 0) (void)!write(STDERR_FILENO, line, static_cast<size_t>(n));
#ifndef NX_FENCE_REFUSES
    std::abort();
#endif
}

// "a connection to 192.168.1.16:502", "a connection to [::1]:0".
void DescribeConnection(const sockaddr* address, socklen_t length, char* out, size_t size) {
    char text[INET6_ADDRSTRLEN] = "?";
    unsigned port = 0;
    bool v6 = false;
    sockaddr_in a4{};
    sockaddr_in6 a6{};
    if (address != nullptr && address->sa_family == AF_INET && Read(address, length, a4)) {
        inet_ntop(AF_INET, &a4.sin_addr, text, sizeof text);
        port = ntohs(a4.sin_port);
    } else if (address != nullptr && address->sa_family == AF_INET6 && Read(address, length, a6)) {
        inet_ntop(AF_INET6, &a6.sin6_addr, text, sizeof text);
        port = ntohs(a6.sin6_port);
        v6 = true;
    }
    std::snprintf(out, size, v6 ? "a connection to [%s]:%u" : "a connection to %s:%u", text, port);
}

}  // namespace

bool MayDial(const sockaddr* address, socklen_t length) {
    if (address == nullptr || length < static_cast<socklen_t>(sizeof(sa_family_t))) return false;
    switch (address->sa_family) {
        case AF_UNIX:
        case AF_UNSPEC:
            return true;
        case AF_INET: {
            sockaddr_in a{};
            return Read(address, length, a) && ntohl(a.sin_addr.s_addr) == kLoopback;
        }
        case AF_INET6: {
            sockaddr_in6 a{};
            const unsigned char mapped[16] = {0, 0, 0,    0,    0,   0, 0, 0,
                                              0, 0, 0xFF, 0xFF, 127, 0, 0, 1};
            return Read(address, length, a) &&
                   std::memcmp(a.sin6_addr.s6_addr, mapped, sizeof mapped) == 0;
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

// The C library's own entry points are the next definitions behind these.
extern "C" int connect(int fd, const sockaddr* address, socklen_t length) {
    using Connect = int (*)(int, const sockaddr*, socklen_t);
    static const auto next = reinterpret_cast<Connect>(dlsym(RTLD_NEXT, "connect"));
    if (nxfence::MayDial(address, length)) return next(fd, address, length);
    char what[120];
    nxfence::DescribeConnection(address, length, what, sizeof what);
    nxfence::Refuse(what);
    errno = ENETUNREACH;
    return -1;
}

extern "C" int getaddrinfo(const char* node, const char* service, const addrinfo* hints,
                           addrinfo** result) {
    using Lookup = int (*)(const char*, const char*, const addrinfo*, addrinfo**);
    static const auto next = reinterpret_cast<Lookup>(dlsym(RTLD_NEXT, "getaddrinfo"));
    if (nxfence::MayLookUp(node)) return next(node, service, hints, result);
    char what[120];
    std::snprintf(what, sizeof what, "a lookup of the name \"%.80s\"", node);
    nxfence::Refuse(what);
    return EAI_NONAME;
}
