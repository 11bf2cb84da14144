#include "modflash/FlashSocket.h"

#include <gtest/gtest.h>

#include "FakeResponder_support.h"
#include "platform/ticks.h"

using namespace modflash;
using namespace modflash::test;

namespace {
// A local port with nothing listening on it.
uint16_t ClosedPort() {
    uint16_t port = 0;
    {
        FakeResponder r([](const Frame&) { return FakeAnswer{}; });
        port = r.Port();
    }
    return port;
}
}  // namespace

TEST(FlashSocket, RefusedAndInvalidAddressesDoNotConnect) {
    FlashSocket s;
    ASSERT_TRUE(s.Create());
    EXPECT_FALSE(s.Create());  // one socket at a time
    EXPECT_FALSE(s.Connect("127.0.0.1", ClosedPort(), 1000));
    s.Close();
    ASSERT_TRUE(s.Create());
    EXPECT_FALSE(s.Connect("127.0.0", 502, 1000));
    EXPECT_FALSE(s.Connect("", 502, 1000));
}

TEST(FlashSocket, ReceiveWaitsItsTimeAndNoLonger) {
    FakeResponder r([](const Frame&) { return FakeAnswer{}; });
    FlashSocket s;
    ASSERT_TRUE(s.Create());
    ASSERT_TRUE(s.Connect("127.0.0.1", r.Port(), 1000));
    uint8_t buf[64];
    const uint32_t t0 = rt::GetTickCount();
    EXPECT_EQ(s.ReceiveFrame(buf, sizeof buf, t0 + 150), 0u);
    const uint32_t took = rt::GetTickCount() - t0;
    EXPECT_GE(took, 149u);
    EXPECT_LT(took, 1500u);
}

TEST(FlashSocket, ClosedPeerEndsTheWaitAtOnce) {
    FakeResponder r([](const Frame&) {
        FakeAnswer a;
        a.close = true;
        return a;
    });
    FlashSocket s;
    ASSERT_TRUE(s.Create());
    ASSERT_TRUE(s.Connect("127.0.0.1", r.Port(), 1000));
    const Frame rq = BuildReadInputRegister(0x0240);
    ASSERT_TRUE(s.Send(rq.data(), rq.size(), rt::GetTickCount() + 1000));
    uint8_t buf[64];
    const uint32_t t0 = rt::GetTickCount();
    EXPECT_EQ(s.ReceiveFrame(buf, sizeof buf, t0 + 3000), 0u);
    EXPECT_LT(rt::GetTickCount() - t0, 2000u);
    // The peer stays gone: the next wait ends at once as well.
    const uint32_t t1 = rt::GetTickCount();
    EXPECT_EQ(s.ReceiveFrame(buf, sizeof buf, t1 + 3000), 0u);
    EXPECT_LT(rt::GetTickCount() - t1, 2000u);
    // Sending on a closed connection fails without ending the program.
    for (int i = 0; i < 5; ++i) s.Send(rq.data(), rq.size(), rt::GetTickCount() + 50);
    EXPECT_FALSE(s.Send(rq.data(), rq.size(), rt::GetTickCount() + 50) &&
                 s.ReceiveFrame(buf, sizeof buf, rt::GetTickCount() + 50) > 0);
}
