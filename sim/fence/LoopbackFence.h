// The loopback fence: the tests, the benchmarks and the run command reach
// only this machine's 127.0.0.1. Linked into a program (or preloaded), it
// stands in front of the C library's connect and getaddrinfo, so that every
// socket of the process passes it, Qt's as well as our own.
#pragma once

#include <sys/socket.h>

namespace nxfence {

// Whether a connection to this address may be made: IPv4 127.0.0.1 (also
// written as an IPv6-mapped address), a local (Unix) socket, or no address
// family at all (which only dissolves an association).
bool MayDial(const sockaddr* address, socklen_t length);

// Whether this name may be looked up: none at all (a service-only lookup) or
// a numeric address, which is read without asking anybody. A host name
// would be sent to a name server.
bool MayLookUp(const char* node);

}  // namespace nxfence
