#include "link/SingleWrites.h"

#include <gtest/gtest.h>

#include <QTimer>

#include "config/NodeConfig.h"
#include "link/Connection.h"
#include "link/Download.h"
#include "link/PendingRequest.h"
#include "platform/WinsockControl.h"
#include "sequence_support.h"

namespace {

using nxsim::Channel;
using nxsim::FaultKind;
using nxsim::FaultRule;

class SingleWrites : public LinkSequenceTest {
  protected:
    void SetUp() override {
        LinkSequenceTest::SetUp();
        StartStation();
    }
    // The frames the stand-in received on the Modbus channel once the
    // writes had time to arrive.
    std::vector<std::string> Frames(size_t expected) {
        WaitFor(
            [&] { return static_cast<size_t>(sim.received(Channel::Modbus).size()) >= expected; },
            2000);
        PumpFor(30);
        std::vector<std::string> out;
        for (const auto& e : sim.received(Channel::Modbus)) out.push_back(HexBytes(e.bytes));
        return out;
    }
};

TEST_F(SingleWrites, CoilWritesAreByteExact) {
    ConnectOk();
    nxlink::ModbusSetDOValue(37, 255);
    ASSERT_TRUE(WaitFor([&] { return sim.coil(37); }, 2000));
    nxlink::ModbusSetDOValue(37, 0);
    EXPECT_EQ(Frames(2), (std::vector<std::string>{"00 00 00 00 00 06 01 05 00 25 FF 00",
                                                   "00 00 00 00 00 06 01 05 00 25 00 00"}));
    EXPECT_FALSE(sim.coil(37));
    EXPECT_TRUE(Messages().empty());
}

TEST_F(SingleWrites, AnalogWriteSendsTheCountOfTheRange) {
    ConnectOk();
    nxlink::ModbusSetAOValue(5, 24.0f, 48);
    nxlink::ModbusSetAOValue(6, 30.0f, 48);  // clamped to the range
    nxlink::ModbusSetAOValue(7, -3.0f, 48);  // below the range: count 0
    nxlink::ModbusSetAOValue(8, 12.0f, 48);
    EXPECT_EQ(Frames(4),
              (std::vector<std::string>{
                  "00 00 00 00 00 06 01 06 00 05 2E E0", "00 00 00 00 00 06 01 06 00 06 2E E0",
                  "00 00 00 00 00 06 01 06 00 07 00 00", "00 00 00 00 00 06 01 06 00 08 17 70"}));
    EXPECT_EQ(sim.holdingRegister(5), 12000);
    EXPECT_EQ(sim.holdingRegister(8), 6000);
    EXPECT_TRUE(Messages().empty());
}

TEST_F(SingleWrites, ExactHalfCountsGoOutRoundedToEven) {
    ConnectOk();
    const struct {
        float value;
        int16_t code;
        int16_t count;
    } cases[] = {
        {12.5f, 49, 5312},     // 7812.5 - 2500
        {3.125f, 52, 5312},    // 7812.5 - 2500
        {-5.9375f, 53, -938},  // 62.5 - 1000
    };
    int16_t address = 5;
    for (const auto& c : cases) nxlink::ModbusSetAOValue(address++, c.value, c.code);
    Frames(std::size(cases));
    address = 5;
    for (const auto& c : cases)
        EXPECT_EQ(sim.holdingRegister(address++), c.count) << c.value << " code " << c.code;
}

TEST_F(SingleWrites, RangeWithoutOutputConversionIsNotWritten) {
    ConnectOk();
    for (int16_t code : {0, 7, 47, 54, 256}) {
        nxlink::ModbusSetAOValue(5, 10.0f, code);
    }
    PumpFor(100);
    EXPECT_TRUE(ModbusRequests(sim).empty()) << "no count 0 in place of the value";
    ASSERT_EQ(Messages().size(), 5u);
    for (const auto& shown : dialogs.shown) {
        EXPECT_EQ(shown.title, "Error");
        EXPECT_NE(shown.prompt.find("cannot be written"), std::string::npos) << shown.prompt;
    }
}

TEST_F(SingleWrites, NothingIsSentOrShownWhileDisconnected) {
    nxlink::ModbusSetDOValue(37, 255);
    nxlink::ModbusSetAOValue(5, 24.0f, 48);
    nxlink::ModbusSetAOValue(5, 24.0f, 3);
    ConnectOk();
    nxlink::mnuDisconnect_Click();
    nxlink::ModbusSetDOValue(37, 255);
    PumpFor(100);
    EXPECT_TRUE(ModbusRequests(sim).empty());
    EXPECT_TRUE(Messages().empty());
    EXPECT_FALSE(sim.coil(37));
}

TEST_F(SingleWrites, NetIdThatIsNoUnitIdIsReportedNotSent) {
    ConnectOk();
    for (int16_t id : {0, 248, 300, -1}) {
        ConfigReal[0].NetID = id;
        nxlink::ModbusSetDOValue(37, 255);
        nxlink::ModbusSetAOValue(5, 1.0f, 48);
    }
    PumpFor(100);
    EXPECT_TRUE(ModbusRequests(sim).empty());
    ASSERT_EQ(Messages().size(), 8u);
    for (const auto& shown : dialogs.shown) EXPECT_EQ(shown.title, "Error");
    EXPECT_EQ(nxlink::WskTCP502().State(), rt::sckConnected);
}

// A write's echo answers the write only: the key of a request that waits
// meanwhile stays, and that request still gets its own reply.
TEST_F(SingleWrites, EchoOfAWriteLeavesTheKeyOfTheWaitingRequest) {
    ConnectOk();
    rt::WinsockControl& ws = nxlink::WskTCP502();
    ws.SetTag("33024");
    nxlink::ModbusSetDOValue(3, 255);
    EXPECT_EQ(ws.Tag(), "33024") << "the write sets no key of its own";
    ASSERT_TRUE(WaitFor([&] { return sim.coil(3) && ws.BytesReceived() == 0; }, 2000));
    PumpFor(100);
    EXPECT_EQ(ws.Tag(), "33024");
}

TEST_F(SingleWrites, EchoDuringADownloadLeavesTheWaitingCommandToItsTimeout) {
    ConnectOk();
    UploadOk();
    ConfigSetting[0].DownloadPending(1) = kTrue;
    // The station never answers slot 1's opening command; a coil write
    // clicked during that wait goes out once the command was given up, and
    // its echo is no answer to it.
    FaultRule f;
    f.channel = Channel::Modbus;
    f.function = 16;
    f.addressFirst = 0x8000;
    f.command = 1;
    f.slot = 1;
    f.kind = FaultKind::NoReply;
    sim.addFault(f);
    QTimer::singleShot(50, [] { nxlink::ModbusSetDOValue(40, 255); });
    int16_t node = 0;
    nxlink::DownloadConfiguration(node);
    EXPECT_EQ(Messages(), std::vector<std::string>{"Response Timeout on slot 1"});
    EXPECT_EQ(ConfigSetting[0].DownloadPending(1), kTrue);
    // The write went out once the unanswered command was given up.
    EXPECT_TRUE(WaitFor([&] { return sim.coil(40); }, 3000));
}

}  // namespace
