#include "sim/fence/LoopbackFence.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/un.h>
#include <unistd.h>

#include <QHostAddress>
#include <QTcpSocket>
#include <cstring>

namespace {

sockaddr_storage Address(int family, const char* text, socklen_t& length) {
    sockaddr_storage s{};
    s.ss_family = static_cast<sa_family_t>(family);
    length = sizeof s;
    if (family == AF_INET) {
        auto* a = reinterpret_cast<sockaddr_in*>(&s);
        inet_pton(AF_INET, text, &a->sin_addr);
        a->sin_port = htons(502);
        length = sizeof *a;
    } else if (family == AF_INET6) {
        auto* a = reinterpret_cast<sockaddr_in6*>(&s);
        inet_pton(AF_INET6, text, &a->sin6_addr);
        length = sizeof *a;
    }
    return s;
}

TEST(LoopbackFence, OnlyThisMachines127001MayBeReached) {
    const struct {
        int family;
        const char* address;
        bool truncated, allowed;
    } cases[] = {
        {AF_INET, "127.0.0.1", false, true},
        {AF_INET, "127.0.0.1", true, false},
        {AF_INET, "127.0.0.2", false, false},
        {AF_INET, "0.0.0.0", false, false},
        {AF_INET, "192.168.1.16", false, false},
        {AF_INET6, "::ffff:127.0.0.1", false, true},
        {AF_INET6, "::1", false, false},
        {AF_INET6, "::ffff:192.168.255.1", false, false},
        {AF_UNIX, "", false, true},
        {AF_UNSPEC, "", false, true},
    };
    for (const auto& c : cases) {
        socklen_t length = 0;
        const sockaddr_storage s = Address(c.family, c.address, length);
        if (c.truncated) length -= 1;
        EXPECT_EQ(nxfence::MayDial(reinterpret_cast<const sockaddr*>(&s), length), c.allowed)
            << c.family << " " << c.address << (c.truncated ? " truncated" : "");
    }
    EXPECT_FALSE(nxfence::MayDial(nullptr, 0));
    // A numeric address is read without asking anybody (its connection is
    // fenced); a name would go to a name server.
    for (const char* node :
         {static_cast<const char*>(nullptr), "127.0.0.1", "192.168.255.1", "::1"})
        EXPECT_TRUE(nxfence::MayLookUp(node)) << (node ? node : "none");
    for (const char* node : {"localhost", "nx4410", ""})
        EXPECT_FALSE(nxfence::MayLookUp(node)) << node;
}

// The fence stands in front of every socket of the program: our own, Qt's,
// and Qt's name lookups. The refused targets here stay on the machine even
// if the fence were missing (0.0.0.0 and ::1 are this machine, "localhost"
// is in the hosts file), so the test itself never reaches further.
TEST(LoopbackFenceDeathTest, StopsTheProgramAtAnyReachBeyond127001) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    const auto ownSocket = [](const char* text) {
        socklen_t length = 0;
        const int family = std::strchr(text, ':') ? AF_INET6 : AF_INET;
        const sockaddr_storage s = Address(family, text, length);
        const int fd = socket(family, SOCK_STREAM, 0);
        connect(fd, reinterpret_cast<const sockaddr*>(&s), length);
        close(fd);
    };
    EXPECT_DEATH(ownSocket("0.0.0.0"), "a connection to 0.0.0.0:502 refused; only 127.0.0.1");
    EXPECT_DEATH(ownSocket("::1"), "a connection to \\[::1\\]:0 refused");
    EXPECT_DEATH(
        {
            QTcpSocket s;
            s.connectToHost(QHostAddress(QStringLiteral("0.0.0.0")), 1);
            s.waitForConnected(1000);
        },
        "a connection to 0.0.0.0:1 refused");
    EXPECT_DEATH(
        {
            QTcpSocket s;
            s.connectToHost(QStringLiteral("localhost"), 1);
            s.waitForConnected(1000);
        },
        "a lookup of the name \"localhost\" refused");
}

}  // namespace
