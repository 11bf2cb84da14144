#include "link/ReplyDispatcher.h"

#include <gtest/gtest.h>

#include <QTimer>
#include <cstdlib>
#include <deque>
#include <random>

#include "config/NodeConfig.h"
#include "link/LiveValues.h"
#include "link/PendingRequest.h"
#include "link/RegisterMap.h"
#include "loopback_support.h"
#include "platform/EventWait.h"
#include "platform/dialogs.h"
#include "tests/support/ConfigRecords.h"
#include "tests/support/ScriptedDialogs.h"

namespace {

using Regs = std::vector<uint16_t>;

// Everything a reply may store: the read record and the six images.
struct Stored {
    NodeConfig record;
    LiveValuesSnapshot live;
    bool operator==(const Stored&) const = default;
};
Stored Snapshot() { return {ConfigReal[0], SnapshotLiveValues()}; }

class Dispatcher : public ::testing::Test {
  protected:
    void SetUp() override {
        ResetConfigRecordsForStartup();
        ResetLiveValues();
        ConfigReal[0].NetID = 1;
    }
    DispatchOutcome Run(const Bytes& reply, const std::string& startKey) {
        key = startKey;
        last = DispatchModbusReply(reply, key);
        return last.Outcome;
    }
    // The reply must leave the record, the images and the key as they were.
    void ExpectNoEffect(const Bytes& reply, const std::string& startKey, DispatchOutcome expected) {
        const Stored before = Snapshot();
        EXPECT_EQ(Run(reply, startKey), expected);
        EXPECT_EQ(key, startKey);
        EXPECT_TRUE(Snapshot() == before) << "a refused reply changed the record";
    }
    NodeConfig& n() { return ConfigReal[0]; }

    std::string key;
    DispatchResult last;
};

Regs Sequence(int count, uint16_t first = 1, uint16_t step = 1) {
    Regs r;
    for (int i = 0; i < count; ++i) r.push_back(static_cast<uint16_t>(first + i * step));
    return r;
}

// ---- Unit id, function code, pending key ----------------------------------

TEST_F(Dispatcher, ReplyOfAnotherUnitIsRefusedWhateverTheKey) {
    for (const char* k : {"1", "2", "3", "4", "13", "33024", "32768"}) {
        const Stored before = Snapshot();
        EXPECT_EQ(Run(RegistersReply(2, FcReadHoldingRegisters, 0, Regs(128, 5)), k),
                  DispatchOutcome::Refused);
        EXPECT_EQ(key, KeyErrorReply) << k;
        EXPECT_TRUE(Snapshot() == before);
    }
}

TEST_F(Dispatcher, NoReplyIsAcceptedWhileTheNetIdIsInvalid) {
    n().NetID = 0;
    EXPECT_EQ(Run(RegistersReply(0, FcReadInputRegisters, 0, Regs(128, 5)), "1"),
              DispatchOutcome::Refused);
    n().NetID = 256;  // would wrap to unit 0 as one byte
    EXPECT_EQ(Run(RegistersReply(0, FcReadInputRegisters, 0, Regs(128, 5)), "1"),
              DispatchOutcome::Refused);
    EXPECT_EQ(AIValue(0), 0);
}

TEST_F(Dispatcher, ExceptionRepliesAndSingleWriteEchoesAreRefused) {
    const Stored before = Snapshot();
    EXPECT_EQ(Run(MakeReply(1, 0x83, {0x02}), "1"), DispatchOutcome::Refused);
    EXPECT_EQ(key, "-1");
    EXPECT_EQ(Run(MakeReply(1, FcWriteSingleCoil, {0, 0x25, 0xFF, 0}), "33792"),
              DispatchOutcome::Refused);
    EXPECT_EQ(key, "-1");
    EXPECT_EQ(Run(MakeReply(1, FcWriteSingleRegister, {0, 0x12, 0x2E, 0xE0}), "32768"),
              DispatchOutcome::Refused);
    EXPECT_EQ(key, "-1");
    EXPECT_EQ(Run(MakeReply(1, 0x07, {}), "4"), DispatchOutcome::Refused);
    EXPECT_TRUE(Snapshot() == before);
}

TEST_F(Dispatcher, ReplyWithoutAPendingRequestIsIgnored) {
    for (const char* k : {"", "0", "-1", "Controller", "007"}) {
        ExpectNoEffect(RegistersReply(1, FcReadInputRegisters, 0, Regs(128, 9)), k,
                       DispatchOutcome::Ignored);
        ExpectNoEffect(RegistersReply(9, FcReadInputRegisters, 0, Regs(128, 9)), k,
                       DispatchOutcome::Ignored);
        ExpectNoEffect(MakeReply(1, 0x83, {1}), k, DispatchOutcome::Ignored);
    }
}

// ---- Monitor images ---------------------------------------------------------

TEST_F(Dispatcher, BitImagesArePackedBitZeroFirst) {
    Bytes data{32};
    for (int i = 0; i < 32; ++i) data.push_back(static_cast<uint8_t>(i * 37 + 1));
    EXPECT_EQ(Run(MakeReply(1, FcReadDiscreteInputs, data), "1"), DispatchOutcome::Stored);
    EXPECT_EQ(key, "0");
    for (int i = 0; i < 32; ++i)
        for (int j = 0; j < 8; ++j)
            ASSERT_EQ(DIValue(8 * i + j), ((data[1 + i] >> j) & 1) != 0) << i << "/" << j;
    EXPECT_EQ(SnapshotLiveValues().DO, LiveValuesSnapshot{}.DO);

    EXPECT_EQ(Run(MakeReply(1, FcReadCoils, data), "1"), DispatchOutcome::Stored);
    EXPECT_EQ(SnapshotLiveValues().DO, SnapshotLiveValues().DI);
    // Byte 0 = 0x01: coil 0 on, coils 1..7 off; byte 1 = 0x26: coils 9, 10, 13.
    EXPECT_TRUE(DOValue(0));
    EXPECT_FALSE(DOValue(1));
    EXPECT_TRUE(DOValue(9) && DOValue(10) && DOValue(13) && !DOValue(8));
}

TEST_F(Dispatcher, BitImageRulesNeedKeyOneAndByteCount32) {
    Bytes data(33, 0xFF);
    data[0] = 31;
    ExpectNoEffect(MakeReply(1, FcReadCoils, data), "1", DispatchOutcome::Unmatched);
    data[0] = 32;
    ExpectNoEffect(MakeReply(1, FcReadCoils, data), "2", DispatchOutcome::Unmatched);
    // Byte count 32 but only 20 data bytes: nothing stored, the sender times out.
    ExpectNoEffect(MakeReply(1, FcReadCoils, Bytes(data.begin(), data.begin() + 21)), "1",
                   DispatchOutcome::Failed);
    EXPECT_EQ(last.ErrorNumber, rt::ErrSubscriptOutOfRange);
    EXPECT_EQ(last.Description, "Subscript out of range");
}

TEST_F(Dispatcher, RegisterImagesAreSigned16Bit) {
    Regs regs = Sequence(128, 0, 3);
    regs[0] = 0xFFFF;
    regs[1] = 0x8000;
    regs[127] = 0x7FFF;
    EXPECT_EQ(Run(RegistersReply(1, FcReadInputRegisters, 0, regs), "1"), DispatchOutcome::Stored);
    EXPECT_EQ(AIValue(0), -1);
    EXPECT_EQ(AIValue(1), -32768);
    EXPECT_EQ(AIValue(2), 6);
    EXPECT_EQ(AIValue(127), 32767);
    EXPECT_EQ(AOValue(0), 0);
    EXPECT_EQ(Run(RegistersReply(1, FcReadHoldingRegisters, 0, regs), "1"),
              DispatchOutcome::Stored);
    EXPECT_EQ(SnapshotLiveValues().AO, SnapshotLiveValues().AI);
    // Byte count must be 0; functions 3 and 4 with other keys match nothing.
    ExpectNoEffect(RegistersReply(1, FcReadInputRegisters, 2, regs), "1",
                   DispatchOutcome::Unmatched);
    ExpectNoEffect(RegistersReply(1, FcReadHoldingRegisters, 0, regs), "3",
                   DispatchOutcome::Unmatched);
    ExpectNoEffect(RegistersReply(1, FcReadHoldingRegisters, 0, regs), "33024",
                   DispatchOutcome::Unmatched);
}

TEST_F(Dispatcher, PairImagesAreSigned32BitHighWordFirst) {
    Regs regs(256, 0);
    regs[0] = 0xFFFF;
    regs[1] = 0xFFFE;
    regs[2] = 0x0001;
    regs[3] = 0x0002;
    regs[254] = 0x8000;
    regs[255] = 0x0000;
    EXPECT_EQ(Run(RegistersReply(1, FcReadInputRegisters, 0, regs), "2"), DispatchOutcome::Stored);
    EXPECT_EQ(PIValue(0), -2);
    EXPECT_EQ(PIValue(1), 65538);
    EXPECT_EQ(PIValue(127), INT32_MIN);
    EXPECT_EQ(Run(RegistersReply(1, FcReadHoldingRegisters, 0, regs), "2"),
              DispatchOutcome::Stored);
    EXPECT_EQ(POValue(0), -2);
    EXPECT_EQ(POValue(127), INT32_MIN);
}

TEST_F(Dispatcher, ShortPairImageStoresNothing) {
    // A 128-register reply under the 32-bit key: 265 bytes cover only half
    // of the image. Nothing of it is stored and the key stays.
    ExpectNoEffect(RegistersReply(1, FcReadHoldingRegisters, 0, Regs(128, 0x1111)), "2",
                   DispatchOutcome::Failed);
    EXPECT_EQ(last.Description, "Subscript out of range");
}

// ---- Status blocks ----------------------------------------------------------

TEST_F(Dispatcher, ModuleStatusFillsPresentSlotsOnly) {
    n().SlotPresent(1) = kTrue;
    n().SlotPresent(7) = kTrue;
    n().NMTState(2) = 16;
    const Regs regs = Sequence(120, 0x100);  // register i holds 0x100 + i
    const auto reg = [&](uint16_t address) { return static_cast<int>(regs[address - 0x240]); };
    EXPECT_EQ(Run(RegistersReply(1, FcReadInputRegisters, regs), "3"), DispatchOutcome::Stored);
    for (int s : {1, 7}) {
        EXPECT_EQ(n().NMTState(s), reg(0x250 + s));
        EXPECT_EQ(n().DuplexStatus(s), reg(0x258 + s));
        EXPECT_EQ(n().UnderLowLimit(s), reg(0x268 + s));
        EXPECT_EQ(n().UnderLowLowLimit(s), reg(0x270 + s));
        EXPECT_EQ(n().ExceedHighLimit(s), reg(0x278 + s));
        EXPECT_EQ(n().ExceedHighHighLimit(s), reg(0x280 + s));
        EXPECT_EQ(n().ChBrokenStatus(s), reg(0x288 + 2 * s) * 65536 + reg(0x289 + 2 * s));
        EXPECT_EQ(n().LightEmcy(s), reg(0x298 + 2 * s) * 65536 + reg(0x299 + 2 * s));
        EXPECT_EQ(n().HeavyEmcy(s), reg(0x2A8 + 2 * s) * 65536 + reg(0x2A9 + 2 * s));
    }
    EXPECT_EQ(n().NMTState(2), 16);
    EXPECT_EQ(n().DuplexStatus(0), 0);
    EXPECT_EQ(n().HeavyEmcy(6), 0);
    ExpectNoEffect(RegistersReply(1, FcReadInputRegisters, Regs(119, 1)), "3",
                   DispatchOutcome::Unmatched);
}

TEST_F(Dispatcher, ControllerStatusAndTheKeepAlive) {
    Regs regs(42, 0);
    regs[0] = 0x21;
    regs[1] = 16;
    regs[2] = 0xFFFF;
    regs[3] = 3;
    regs[4] = 0x8000;  // light fault, high word
    regs[5] = 0x0001;
    regs[6] = 0x0000;
    regs[7] = 0x00FF;
    regs[8] = 0x00A5;
    regs[0x29] = 3600;
    EXPECT_EQ(Run(RegistersReply(1, FcReadInputRegisters, regs), "4"), DispatchOutcome::Stored);
    EXPECT_EQ(n().McuStatus, 0x21);
    EXPECT_EQ(n().OtherMcuStatus, 16);
    EXPECT_EQ(n().CanStatus, -1);
    EXPECT_EQ(n().PwmStatus, 3);
    EXPECT_EQ(n().LightFault, static_cast<int32_t>(0x80000001u));
    EXPECT_EQ(n().HeavyFault, 0xFF);
    EXPECT_EQ(n().DipSwitch, 0xA5);
    EXPECT_EQ(n().TcpTimeout, 3600);
    // The keep-alive's reply: 9 registers, byte count 18, completes nothing.
    ExpectNoEffect(RegistersReply(1, FcReadInputRegisters, Regs(9, 1)), "4",
                   DispatchOutcome::Unmatched);
}

// ---- HART reply area ----------------------------------------------------------

Bytes HartReplyBytes(Regs head, size_t totalBytes) {
    Regs regs = std::move(head);
    regs.resize((totalBytes - 9) / 2, 0);
    return RegistersReply(1, FcReadInputRegisters, 0, regs);
}

TEST_F(Dispatcher, HartReplyExchangesTheBytesOfEachRegister) {
    n().Hart(3).Data(3) = 0x99;
    const Bytes reply = HartReplyBytes({2, 5, 3, 0, 0, 0x4241, 0x0043, 0x4445}, 521);
    ASSERT_EQ(reply.size(), 521u);
    EXPECT_EQ(Run(reply, "13"), DispatchOutcome::Stored);
    const HartReply& h = n().Hart(3);
    EXPECT_EQ(h.ProcessStatus, 2);
    EXPECT_EQ(h.ErrorCode, 5);
    EXPECT_EQ(h.DataLength, 3);
    EXPECT_EQ(h.Data(0), 0x41);
    EXPECT_EQ(h.Data(1), 0x42);
    EXPECT_EQ(h.Data(2), 0x43);
    EXPECT_EQ(h.Data(3), 0x99);  // beyond DataLength: kept
    EXPECT_EQ(n().Hart(2), HartReply{});
}

TEST_F(Dispatcher, HartReplyBounds) {
    // Shorter than 501 bytes, another byte count, or key 18: nothing matches.
    ExpectNoEffect(HartReplyBytes({2, 0, 3}, 499), "10", DispatchOutcome::Unmatched);
    ExpectNoEffect(RegistersReply(1, FcReadInputRegisters, 2, Regs(256, 0)), "10",
                   DispatchOutcome::Unmatched);
    ExpectNoEffect(HartReplyBytes({2, 0, 3}, 521), "18", DispatchOutcome::Unmatched);
    // A 521-byte reply carries 502 data bytes: 502 fit, 503 do not.
    EXPECT_EQ(Run(HartReplyBytes({2, 0, 502}, 521), "17"), DispatchOutcome::Stored);
    EXPECT_EQ(n().Hart(7).DataLength, 502);
    ExpectNoEffect(HartReplyBytes({1, 0, 503}, 521), "16", DispatchOutcome::Failed);
    ExpectNoEffect(HartReplyBytes({1, 0, 32767}, 521), "16", DispatchOutcome::Failed);
    // A status that does not fit its field.
    ExpectNoEffect(HartReplyBytes({0x8000, 0, 3}, 521), "11", DispatchOutcome::Failed);
    EXPECT_EQ(last.Description, "Overflow");
}

TEST_F(Dispatcher, HartDataNeverRunsPastItsField) {
    // A reply longer than any the station sends: the 513-byte field decides.
    Regs head{2, 0, 513};
    Bytes reply = HartReplyBytes(head, 9 + 2 * 600);
    for (size_t i = 19; i < reply.size(); ++i) reply[i] = static_cast<uint8_t>(i);
    EXPECT_EQ(Run(reply, "10"), DispatchOutcome::Stored);
    EXPECT_EQ(n().Hart(0).Data(512), reply[20 + 512]);
    EXPECT_EQ(n().Hart(0).Data(511), reply[18 + 511]);
    head[2] = 514;
    ExpectNoEffect(HartReplyBytes(head, 9 + 2 * 600), "10", DispatchOutcome::Failed);
}

// ---- Configuration blocks --------------------------------------------------------

// Every configuration block: a reply of its byte count is stored and
// completes the key; one byte count more, or a reply one byte short of its
// data, changes nothing.
TEST_F(Dispatcher, EveryConfigurationBlockHasItsRule) {
    int checked = 0;
    for (const RegisterBlock* b : AllRegisterBlocks()) {
        if (b->Key != nullptr || b->Function != FcReadInputRegisters || b == &RegSlotReplyArea)
            continue;
        SCOPED_TRACE(b->Name);
        const int slot = b->PerSlot ? 5 : 0;
        const std::string k = KeyConfigRead(static_cast<uint16_t>(b->Start + slot));
        const int count = b->ByteCount == kByteCountUpTo32 ? 16 : b->ByteCount / 2;
        const Regs regs = Sequence(count, 1);  // small values fit every encoding
        SetUp();
        const Stored before = Snapshot();
        EXPECT_EQ(Run(RegistersReply(1, FcReadInputRegisters, regs), k), DispatchOutcome::Stored);
        EXPECT_EQ(key, "0");
        EXPECT_FALSE(Snapshot() == before) << "stored nothing";

        SetUp();
        if (b->ByteCount != kByteCountUpTo32) {
            ExpectNoEffect(RegistersReply(1, FcReadInputRegisters,
                                          static_cast<uint8_t>(2 * count + 2), Sequence(count + 1)),
                           k, DispatchOutcome::Unmatched);
        } else {
            ExpectNoEffect(RegistersReply(1, FcReadInputRegisters, 34, Sequence(17)), k,
                           DispatchOutcome::Unmatched);
        }
        Bytes shortReply = RegistersReply(1, FcReadInputRegisters, regs);
        shortReply.pop_back();
        shortReply[5] -= 1;
        ExpectNoEffect(shortReply, k, DispatchOutcome::Failed);
        ++checked;
    }
    EXPECT_EQ(checked, 31);
}

TEST_F(Dispatcher, ControllerLevelBlocks) {
    EXPECT_EQ(Run(RegistersReply(1, 4, {201, 150}), "32800"), DispatchOutcome::Stored);
    EXPECT_EQ(n().McuVersion, 201);
    EXPECT_EQ(n().McuLibVersion, 150);
    EXPECT_EQ(Run(RegistersReply(1, 4, {4097, 0}), "32768"), DispatchOutcome::Stored);
    EXPECT_EQ(n().McuName(0), "GW-7010");
    EXPECT_EQ(n().McuName(1), "");
    EXPECT_EQ(Run(RegistersReply(1, 4, {24577, 24577}), "32784"), DispatchOutcome::Stored);
    EXPECT_EQ(n().PowerName(1), "KP-220");
    EXPECT_EQ(n().PowerName(2), "");

    EXPECT_EQ(Run(RegistersReply(1, 4, {49, 0, 16, 999, 1, 0, 0, 0}), "33024"),
              DispatchOutcome::Stored);
    EXPECT_EQ(n().Module(0), "KB-540");
    EXPECT_EQ(n().Module(2), "KB-570");
    EXPECT_EQ(n().Module(3), "");  // unknown ID
    EXPECT_EQ(n().Module(4), "KB-560");
    const int16_t present[] = {-1, 0, -1, 0, -1, 0, 0, 0};
    for (int s = 0; s < 8; ++s) EXPECT_EQ(n().SlotPresent(s), present[s]) << s;

    // Found and configured: both known and different marks the slot.
    EXPECT_EQ(Run(RegistersReply(1, 4, {49, 0, 1, 0, 1, 0, 0, 0}), "33040"),
              DispatchOutcome::Stored);
    EXPECT_EQ(n().PredefModule(0), "KB-540");
    EXPECT_EQ(n().DownloadPending(0), 0);   // equal
    EXPECT_EQ(n().DownloadPending(1), 0);   // neither
    EXPECT_EQ(n().DownloadPending(2), -1);  // KB-570 found, KB-560 configured
    EXPECT_EQ(n().DownloadPending(4), 0);   // equal
    EXPECT_EQ(Run(RegistersReply(1, 4, {0, 0, 0, 0, 0, 0, 0, 0}), "33040"),
              DispatchOutcome::Stored);
    EXPECT_EQ(n().DownloadPending(2), 0);  // found, none configured

    EXPECT_EQ(Run(RegistersReply(1, 4, {0x0103, 0x0000, 0x01FF, 0, 0, 0, 0, 0x00AA}), "33088"),
              DispatchOutcome::Stored);
    EXPECT_EQ(n().RedundancyToSlot(0), 1);
    EXPECT_EQ(n().RedundancyInfo(0), 3);
    EXPECT_EQ(n().RedundancyInfo(2), 255);
    EXPECT_EQ(n().RedundancyInfo(7), 0xAA);

    EXPECT_EQ(Run(RegistersReply(1, 4, Sequence(8, 10)), "33072"), DispatchOutcome::Stored);
    EXPECT_EQ(n().Version(7), 17);
    EXPECT_EQ(Run(RegistersReply(1, 4, Sequence(8, 1)), "33104"), DispatchOutcome::Stored);
    EXPECT_EQ(n().BreakLineFunc(3), 4);
}

TEST_F(Dispatcher, ValueOutOfItsFieldStoresNothingOfTheReply) {
    // The sixth NMT state does not fit a 16-bit field: the five before it
    // are not stored either.
    Regs nmt{32, 32, 16, 64, 4, 0x8000, 32, 32};
    ExpectNoEffect(RegistersReply(1, 4, nmt), "33056", DispatchOutcome::Failed);
    EXPECT_EQ(last.ErrorNumber, rt::ErrOverflow);
    ExpectNoEffect(RegistersReply(1, 4, {201, 0xFFFF}), "32800", DispatchOutcome::Failed);
    ExpectNoEffect(RegistersReply(1, 4, {0x8000, 7}), "34560", DispatchOutcome::Failed);
    ExpectNoEffect(RegistersReply(1, 4, {0x0102, 0x9000}), "33888", DispatchOutcome::Failed);
    // Pulse-output fault modes are bytes.
    ExpectNoEffect(RegistersReply(1, 4, {1, 2, 0x0100}), "34112", DispatchOutcome::Failed);
    EXPECT_EQ(Run(RegistersReply(1, 4, {1, 2, 0x00FF}), "34112"), DispatchOutcome::Stored);
    EXPECT_EQ(n().SafeValueMode(0, 2), 255);
}

// The configuration chain as the station's map gives it: each key (the
// block's start, per-slot blocks for slots 0..7) with the byte count its
// reply must carry (0 = any count up to 32). Keys beside a block match
// nothing.
TEST_F(Dispatcher, ConfigurationChainKeysAndByteCounts) {
    struct Row {
        long base;
        bool perSlot;
        int byteCount;
    };
    const Row rows[] = {
        {32768, false, 4},  {32784, false, 4},  {32800, false, 4},  {33024, false, 16},
        {33040, false, 16}, {33056, false, 16}, {33072, false, 16}, {33088, false, 16},
        {33104, false, 16}, {33280, true, 4},   {33296, true, 4},   {33312, true, 2},
        {33536, true, 0},   {33552, true, 0},   {33568, true, 0},   {33792, true, 0},
        {33808, true, 0},   {33824, true, 0},   {33840, true, 0},   {33856, true, 0},
        {33872, true, 2},   {33888, true, 4},   {34048, true, 0},   {34064, true, 0},
        {34080, true, 0},   {34096, true, 0},   {34112, true, 0},   {34128, true, 0},
        {34304, true, 12},  {34560, true, 4},   {34576, true, 4},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.base);
        const int accepted = row.byteCount == 0 ? 32 : row.byteCount;
        const Regs regs = Sequence(accepted / 2, 1);
        for (long k : {row.base, row.base + (row.perSlot ? 7 : 0)}) {
            SetUp();
            EXPECT_EQ(Run(RegistersReply(1, 4, regs), std::to_string(k)), DispatchOutcome::Stored);
            EXPECT_EQ(key, "0");
        }
        SetUp();
        const std::string beside = std::to_string(row.base + (row.perSlot ? 8 : 1));
        ExpectNoEffect(RegistersReply(1, 4, regs), beside, DispatchOutcome::Unmatched);
        const std::string k = std::to_string(row.base);
        if (row.byteCount == 0) {
            // Any count up to 32 is taken, 34 is not.
            EXPECT_EQ(Run(RegistersReply(1, 4, Sequence(1, 5)), k), DispatchOutcome::Stored);
            ExpectNoEffect(RegistersReply(1, 4, Sequence(17, 1)), k, DispatchOutcome::Unmatched);
        } else {
            ExpectNoEffect(RegistersReply(1, 4, Sequence(accepted / 2 - 1, 1)), k,
                           DispatchOutcome::Unmatched);
            ExpectNoEffect(RegistersReply(1, 4, Sequence(accepted / 2 + 1, 1)), k,
                           DispatchOutcome::Unmatched);
        }
    }
}

TEST_F(Dispatcher, ByteCountAndKeyMismatches) {
    ExpectNoEffect(RegistersReply(1, 4, Sequence(7)), "33040", DispatchOutcome::Unmatched);
    ExpectNoEffect(RegistersReply(1, 4, Sequence(8)), "33200", DispatchOutcome::Unmatched);
    ExpectNoEffect(RegistersReply(1, 4, Sequence(3)), "36864", DispatchOutcome::Unmatched);
    ExpectNoEffect(RegistersReply(1, 4, Sequence(2)), "34568", DispatchOutcome::Unmatched);
}

TEST_F(Dispatcher, ChannelListsFillTheChannelsTheByteCountCovers) {
    for (int c = 0; c < 17; ++c) n().RangeCode(1, c) = 77;
    EXPECT_EQ(Run(RegistersReply(1, 4, {0xFFFF, 48, 0x8000}), "33793"), DispatchOutcome::Stored);
    EXPECT_EQ(n().RangeCode(1, 0), -1);
    EXPECT_EQ(n().RangeCode(1, 1), 48);
    EXPECT_EQ(n().RangeCode(1, 2), -32768);
    for (int c = 3; c < 17; ++c) EXPECT_EQ(n().RangeCode(1, c), 77) << c;
    // An odd byte count covers the whole registers only.
    EXPECT_EQ(Run(RegistersReply(1, 4, 5, {9, 9, 9}), "33793"), DispatchOutcome::Stored);
    EXPECT_EQ(n().RangeCode(1, 1), 9);
    EXPECT_EQ(n().RangeCode(1, 2), -32768);
    // Byte count 0: no channel, but the request is complete.
    EXPECT_EQ(Run(RegistersReply(1, 4, 0, {}), "33793"), DispatchOutcome::Stored);
    ExpectNoEffect(RegistersReply(1, 4, Sequence(17)), "33793", DispatchOutcome::Unmatched);
}

TEST_F(Dispatcher, SlotBlocksGoToTheirFields) {
    EXPECT_EQ(Run(RegistersReply(1, 4, {0xFFFF, 0x8001}), "33283"), DispatchOutcome::Stored);
    EXPECT_EQ(n().DO_PowerONValue_High(3), 65535);
    EXPECT_EQ(n().DO_PowerONValue_Low(3), 32769);
    EXPECT_EQ(Run(RegistersReply(1, 4, {5, 6}), "33303"), DispatchOutcome::Stored);
    EXPECT_EQ(n().DO_SafeValue_High(7), 5);
    EXPECT_EQ(n().DO_SafeValue_Low(7), 6);
    EXPECT_EQ(Run(RegistersReply(1, 4, {0x0201}), "33312"), DispatchOutcome::Stored);
    EXPECT_EQ(n().PowerOnValueMode(0, 0), 2);
    EXPECT_EQ(n().SafeValueMode(0, 0), 1);

    EXPECT_EQ(Run(RegistersReply(1, 4, {0xFF9C, 100}), "33538"), DispatchOutcome::Stored);
    EXPECT_EQ(n().PowerOnValue(2, 0), -100);
    EXPECT_EQ(Run(RegistersReply(1, 4, {1, 2}), "33554"), DispatchOutcome::Stored);
    EXPECT_EQ(n().SafeValue(2, 1), 2);
    EXPECT_EQ(Run(RegistersReply(1, 4, {0x0304, 0x0506}), "33570"), DispatchOutcome::Stored);
    EXPECT_EQ(n().PowerOnValueMode(2, 1), 5);
    EXPECT_EQ(n().SafeValueMode(2, 1), 6);

    EXPECT_EQ(Run(RegistersReply(1, 4, {0xD8F0}), "33812"), DispatchOutcome::Stored);
    EXPECT_EQ(n().UserDefLRange(4, 0), -10000);
    EXPECT_EQ(Run(RegistersReply(1, 4, {10000}), "33828"), DispatchOutcome::Stored);
    EXPECT_EQ(n().UserDefHRange(4, 0), 10000);
    EXPECT_EQ(Run(RegistersReply(1, 4, {0xFFFE}), "33844"), DispatchOutcome::Stored);
    EXPECT_EQ(n().LowAlarmVal(4, 0), -2);
    EXPECT_EQ(Run(RegistersReply(1, 4, {3}), "33860"), DispatchOutcome::Stored);
    EXPECT_EQ(n().HighAlarmVal(4, 0), 3);
    EXPECT_EQ(Run(RegistersReply(1, 4, {0x8001}), "33876"), DispatchOutcome::Stored);
    EXPECT_EQ(n().AlarmMode(4), 32769);
    EXPECT_EQ(Run(RegistersReply(1, 4, {0x0102, 60}), "33892"), DispatchOutcome::Stored);
    EXPECT_EQ(n().AIFilterModeHigh(4), 1);
    EXPECT_EQ(n().AIDigitalFilterMode(4), 2);
    EXPECT_EQ(n().MainsFrequency(4), 60);

    EXPECT_EQ(Run(RegistersReply(1, 4, {30000}), "34054"), DispatchOutcome::Stored);
    EXPECT_EQ(n().PO(6).RefTime(0), 30000);
    EXPECT_EQ(Run(RegistersReply(1, 4, {0xFFFF}), "34070"), DispatchOutcome::Stored);
    EXPECT_EQ(n().PO(6).OffsetTime(0), 65535);  // not sign-extended
    EXPECT_EQ(Run(RegistersReply(1, 4, {0, 7}), "34086"), DispatchOutcome::Stored);
    EXPECT_EQ(n().PO(6).CyclicSteps(1), 7);
    EXPECT_EQ(Run(RegistersReply(1, 4, {0, 8}), "34102"), DispatchOutcome::Stored);
    EXPECT_EQ(n().PO(6).DutySteps(1), 8);
    EXPECT_EQ(Run(RegistersReply(1, 4, {0, 0xFFFF}), "34134"), DispatchOutcome::Stored);
    EXPECT_EQ(n().PO(6).PWMCount(1), -1);

    EXPECT_EQ(Run(RegistersReply(1, 4, {0x0203, 0xFFFF, 0xFFFF, 0xFFF6, 0x0001, 0x0000}), "34305"),
              DispatchOutcome::Stored);
    EXPECT_EQ(n().PI(1).FreqMode, 2);
    EXPECT_EQ(n().PI(1).LPFMode, 3);
    EXPECT_EQ(n().PI(1).EdgeTrig, 65535);
    EXPECT_EQ(n().PI(1).FilterInterval, -10.0);
    EXPECT_EQ(n().PI(1).Impendance, 65536.0);

    EXPECT_EQ(Run(RegistersReply(1, 4, {1, 0xFFF6}), "34562"), DispatchOutcome::Stored);
    EXPECT_EQ(key, "0");
    EXPECT_EQ(n().CJCSetting(2), 1);
    EXPECT_EQ(n().CJCValue(2), -10);
    EXPECT_EQ(n().CJCSetting(1), 0);
    EXPECT_EQ(Run(RegistersReply(1, 4, {0x00FF, 0x1234}), "34583"), DispatchOutcome::Stored);
    EXPECT_EQ(n().CHBreakLineMode(7), 0x00FF1234);
}

// ---- Command echoes ------------------------------------------------------------

TEST_F(Dispatcher, CommandEchoesCompleteOnlyTheirOwnKey) {
    const Bytes echo8000 = MakeReply(1, FcWriteMultipleRegisters, {0x80, 0x00, 0x00, 0x03});
    const Bytes echo9000 = MakeReply(1, FcWriteMultipleRegisters, {0x90, 0x00, 0x00, 0x03});
    EXPECT_EQ(Run(echo8000, "32768"), DispatchOutcome::Stored);
    EXPECT_EQ(key, "0");
    EXPECT_EQ(Run(echo9000, "36864"), DispatchOutcome::Stored);
    ExpectNoEffect(echo8000, "36864", DispatchOutcome::Unmatched);
    ExpectNoEffect(echo9000, "32768", DispatchOutcome::Unmatched);
    // The echo of the HART mailbox write leaves the key "1".
    ExpectNoEffect(MakeReply(1, FcWriteMultipleRegisters, {0x02, 0x00, 0x00, 0x06}), "1",
                   DispatchOutcome::Unmatched);
    // An echo cut after its first address byte.
    ExpectNoEffect(MakeReply(1, FcWriteMultipleRegisters, {0x80}), "32768",
                   DispatchOutcome::Failed);
}

// ---- The stream ------------------------------------------------------------------

// A byte queue with the socket control's reading operations.
struct FakeQueue {
    std::deque<uint8_t> bytes;
    size_t BytesReceived() const { return bytes.size(); }
    size_t PeekInto(uint8_t* out, size_t n) const {
        n = std::min(n, bytes.size());
        std::copy_n(bytes.begin(), n, out);
        return n;
    }
    std::vector<uint8_t> GetData(size_t n) {
        std::vector<uint8_t> out(std::min(n, bytes.size()));
        PeekInto(out.data(), out.size());
        bytes.erase(bytes.begin(), bytes.begin() + static_cast<long>(out.size()));
        return out;
    }
    void DiscardData() { bytes.clear(); }
    void SendData(const ModbusFrame&) { ++requests; }
    int requests = 0;
};

struct StreamResult {
    Stored stored;
    std::string key;
    std::vector<DispatchOutcome> outcomes;
    size_t leftQueued = 0;
    bool operator==(const StreamResult&) const = default;
};

// Feeds the pieces one arrival after the other, dispatching the reply each
// arrival completes under the current key.
StreamResult Feed(const std::vector<Bytes>& pieces, std::string key) {
    ResetConfigRecordsForStartup();
    ResetLiveValues();
    ConfigReal[0].NetID = 1;
    ConfigReal[0].SlotPresent(2) = kTrue;
    FakeQueue q;
    StreamResult r;
    for (const Bytes& piece : pieces) {
        q.bytes.insert(q.bytes.end(), piece.begin(), piece.end());
        TakeArrivalReplies(q, [&](const Bytes& reply) {
            r.outcomes.push_back(DispatchModbusReply(reply, key).Outcome);
        });
    }
    r.stored = Snapshot();
    r.key = key;
    r.leftQueued = q.bytes.size();
    return r;
}

struct StreamSample {
    const char* name;
    Bytes reply;
    const char* key;
};

std::vector<StreamSample> StreamSamples() {
    Bytes bits{32};
    for (int i = 0; i < 32; ++i) bits.push_back(static_cast<uint8_t>(0xA5 ^ i));
    Regs hart = Sequence(256, 0x0101, 0x0203);
    hart[0] = 2;
    hart[1] = 0;
    hart[2] = 401;
    return {
        {"coils", MakeReply(1, FcReadCoils, bits), "1"},
        {"pulse outputs, 256 registers, byte count 0",
         RegistersReply(1, FcReadHoldingRegisters, 0, Sequence(256, 0x7FF0, 0x1111)), "2"},
        {"module status", RegistersReply(1, FcReadInputRegisters, Sequence(120, 3, 5)), "3"},
        {"HART reply area", RegistersReply(1, FcReadInputRegisters, 0, hart), "12"},
        {"range codes", RegistersReply(1, FcReadInputRegisters, Sequence(16, 40)), "33797"},
        {"command echo", MakeReply(1, FcWriteMultipleRegisters, {0x80, 0, 0, 5}), "32768"},
        {"exception", MakeReply(1, 0x84, {0x02}), "33024"},
        {"shortest reply: an exception of another function", MakeReply(1, 0x90, {0x04}), "4"},
    };
}

TEST(ReplyStream, EverySplitGivesTheSameResult) {
    const Bytes next = RegistersReply(1, FcReadInputRegisters, 0, Regs(128, 0x1234));
    for (const StreamSample& s : StreamSamples()) {
        SCOPED_TRACE(s.name);
        const StreamResult whole = Feed({s.reply}, s.key);
        ASSERT_EQ(whole.outcomes.size(), 1u);
        EXPECT_NE(whole.outcomes[0], DispatchOutcome::Failed);
        EXPECT_EQ(whole.leftQueued, 0u);
        for (size_t cut = 1; cut < s.reply.size(); ++cut) {
            const Bytes a(s.reply.begin(), s.reply.begin() + static_cast<long>(cut));
            const Bytes b(s.reply.begin() + static_cast<long>(cut), s.reply.end());
            ASSERT_TRUE(Feed({a, b}, s.key) == whole) << "split at " << cut;
        }
        std::vector<Bytes> single;
        for (uint8_t byte : s.reply) single.push_back({byte});
        EXPECT_TRUE(Feed(single, s.key) == whole) << "one byte at a time";

        // Bytes after the reply in the same arrival change nothing it did:
        // too few to judge, they stay queued for the next arrival.
        for (const Bytes& tail : {Bytes{0xDE, 0xAD}, Bytes{0, 0, 0, 0, 0}}) {
            Bytes joined = s.reply;
            joined.insert(joined.end(), tail.begin(), tail.end());
            StreamResult r = Feed({joined}, s.key);
            EXPECT_EQ(r.leftQueued, tail.size());
            r.leftQueued = 0;
            EXPECT_TRUE(r == whole) << "followed by " << tail.size();
        }
        // Another reply in the same arrival gets its own turn.
        Bytes joined = s.reply;
        joined.insert(joined.end(), next.begin(), next.end());
        const StreamResult both = Feed({joined}, s.key);
        ASSERT_EQ(both.outcomes.size(), 2u);
        EXPECT_EQ(both.outcomes[0], whole.outcomes[0]);
        // In an arrival of its own the next reply is dispatched too: under a
        // key still pending it may match, under "0"/"-1" it is ignored.
        const StreamResult apart = Feed({s.reply, next}, s.key);
        ASSERT_EQ(apart.outcomes.size(), 2u);
        if (whole.key == "0" || whole.key == "-1") {
            EXPECT_EQ(apart.outcomes[1], DispatchOutcome::Ignored);
            EXPECT_TRUE(apart.stored == whole.stored);
        }
    }
}

TEST(ReplyStream, HeadersThatCannotBeRepliesAreDropped) {
    const Bytes good = RegistersReply(1, FcReadInputRegisters, Sequence(16, 40));
    auto withHeader = [&](uint8_t p0, uint8_t p1, uint8_t l0, uint8_t l1) {
        Bytes b = good;
        b[2] = p0;
        b[3] = p1;
        b[4] = l0;
        b[5] = l1;
        return b;
    };
    for (const Bytes& bad : {withHeader(0, 1, 0, 35), withHeader(0x80, 0, 0, 35),
                             withHeader(0, 0, 0, 1), withHeader(0, 0, 0, 0),
                             withHeader(0, 0, 0x02, 0x04), withHeader(0xFF, 0xFF, 0xFF, 0xFF)}) {
        const StreamResult r = Feed({bad}, "33797");
        EXPECT_TRUE(r.outcomes.empty());
        EXPECT_LT(r.leftQueued, 7u);  // stepped over up to the last few bytes
        EXPECT_EQ(r.key, "33797");
        // The framing finds the reply that follows.
        const StreamResult after = Feed({bad, good}, "33797");
        ASSERT_EQ(after.outcomes.size(), 1u);
        EXPECT_EQ(after.outcomes[0], DispatchOutcome::Stored);
    }
    // A unit id that no station has.
    for (uint8_t unit : {0, 248, 255}) {
        Bytes bad = good;
        bad[6] = unit;
        EXPECT_TRUE(Feed({bad}, "33797").outcomes.empty()) << int{unit};
    }
    // The largest length a reply can have (256 registers) is taken whole.
    const StreamResult big = Feed({RegistersReply(1, FcReadInputRegisters, 0, Regs(256, 1))}, "2");
    ASSERT_EQ(big.outcomes.size(), 1u);
    EXPECT_EQ(big.outcomes[0], DispatchOutcome::Stored);
    // An incomplete reply waits for the rest, whatever its byte count says.
    const StreamResult half = Feed({Bytes(good.begin(), good.begin() + 20)}, "33797");
    EXPECT_TRUE(half.outcomes.empty());
    EXPECT_EQ(half.leftQueued, 20u);
}

// ---- Fuzz ---------------------------------------------------------------------------

long FuzzCount() {
    const char* env = std::getenv("NX_FUZZ_FRAMES");
    return env ? std::atol(env) : 300000;
}

TEST(ReplyFuzz, RandomAndMutatedRepliesNeverStoreWhenRefused) {
    std::mt19937 rng(12345);
    auto pick = [&](size_t n) { return static_cast<size_t>(rng() % n); };
    std::vector<std::string> keys{"",   "0",  "-1", "1",     "2",     "3",     "4",     "9",  "10",
                                  "13", "17", "18", "32768", "36864", "33105", "36863", "abc"};
    std::vector<Bytes> templates;
    for (const StreamSample& s : StreamSamples()) templates.push_back(s.reply);
    for (const RegisterBlock* b : AllRegisterBlocks()) {
        if (b->Function != FcReadInputRegisters || b->Key != nullptr || b == &RegSlotReplyArea)
            continue;
        keys.push_back(KeyConfigRead(static_cast<uint16_t>(b->Start + (b->PerSlot ? 3 : 0))));
        const int count = b->ByteCount == kByteCountUpTo32 ? 16 : b->ByteCount / 2;
        templates.push_back(RegistersReply(1, 4, Sequence(count, 1, 37)));
    }
    templates.push_back(RegistersReply(1, 4, Sequence(42, 0, 0x0401)));
    templates.push_back(RegistersReply(1, 3, 0, Sequence(128, 0, 0x0203)));

    ResetConfigRecordsForStartup();
    ResetLiveValues();
    ConfigReal[0].NetID = 1;
    for (int s = 0; s < 8; s += 2) ConfigReal[0].SlotPresent(s) = kTrue;

    const long total = FuzzCount();
    long stored = 0, refused = 0, failed = 0;
    // What the record and the images hold before each frame; taken anew
    // only after a frame that was stored.
    NodeConfig record = ConfigReal[0];
    LiveValuesSnapshot live = SnapshotLiveValues();
    for (long i = 0; i < total; ++i) {
        Bytes f;
        if (i % 8 == 0) {
            f.resize(pick(530));
            for (auto& b : f) b = static_cast<uint8_t>(rng());
        } else {
            f = templates[pick(templates.size())];
            const int mutations = static_cast<int>(pick(4));
            for (int m = 0; m < mutations; ++m) {
                switch (pick(6)) {
                    case 0:  // flip a byte
                        if (!f.empty()) f[pick(f.size())] ^= static_cast<uint8_t>(1 + pick(255));
                        break;
                    case 1:  // cut the end
                        f.resize(pick(f.size() + 1));
                        break;
                    case 2:  // another byte count
                        if (f.size() > 8) f[8] = static_cast<uint8_t>(rng());
                        break;
                    case 3:  // another function code
                        if (f.size() > 7) f[7] = static_cast<uint8_t>(pick(20));
                        break;
                    case 4:  // a large register value
                        if (f.size() > 10) f[9 + 2 * pick((f.size() - 9) / 2)] |= 0x80;
                        break;
                    default:  // more bytes
                        f.resize(f.size() + pick(40), static_cast<uint8_t>(rng()));
                        break;
                }
            }
        }
        std::string key = keys[pick(keys.size())];
        const std::string keyBefore = key;
        const DispatchResult r = DispatchModbusReply(f, key);
        switch (r.Outcome) {
            case DispatchOutcome::Stored:
                ++stored;
                ASSERT_EQ(key, "0");
                record = ConfigReal[0];
                live = SnapshotLiveValues();
                continue;
            case DispatchOutcome::Refused:
                ++refused;
                ASSERT_EQ(key, "-1");
                break;
            case DispatchOutcome::Failed:
                ++failed;
                ASSERT_FALSE(r.Description.empty());
                ASSERT_EQ(key, keyBefore);
                break;
            default:
                ASSERT_EQ(key, keyBefore);
                break;
        }
        ASSERT_TRUE(ConfigReal[0] == record) << "frame " << i << " changed the record";
        ASSERT_TRUE(SnapshotLiveValues() == live) << "frame " << i << " changed the images";
    }
    // The mutations reach every outcome.
    EXPECT_GT(stored, total / 50);
    EXPECT_GT(refused, total / 50);
    EXPECT_GT(failed, total / 200);
}

TEST(ReplyFuzz, RandomStreamIsCutWithinTheBuffer) {
    std::mt19937 rng(777);
    FakeQueue q;
    const long total = FuzzCount() * 4;
    long cut = 0;
    std::string key = "1";
    ConfigReal[0].NetID = 1;
    for (long fed = 0; fed < total;) {
        const size_t n = 1 + rng() % 600;
        for (size_t i = 0; i < n; ++i) {
            // Mostly zeros, so that plausible headers come up often.
            q.bytes.push_back(rng() % 3 == 0 ? static_cast<uint8_t>(rng()) : 0);
        }
        fed += static_cast<long>(n);
        while (auto reply = TakeNextReply(q)) {
            ASSERT_GE(reply->size(), 8u);
            ASSERT_LE(reply->size(), 521u);
            ASSERT_EQ(reply->size(), 6u + (static_cast<size_t>((*reply)[4]) << 8 | (*reply)[5]));
            DispatchModbusReply(*reply, key);
            key = "1";
            ++cut;
        }
    }
    EXPECT_GT(cut, 0);
}

// A station that answers every request, now and then in pieces, and strews
// junk after a reply in the same arrival, before it, and in arrivals of its
// own between the replies. Junk that cannot begin a reply is stepped over;
// junk that looks like a header may hold the framing until the request is
// given up, when the queue is dropped. A reply with nothing in front of it
// is always taken whole, and no frame that junk made is taken as a reply
// that stores.
TEST(ReplyFuzz, JunkAroundRepliesCostsAtMostTheRequestItPrecedes) {
    std::mt19937 rng(4242);
    auto pick = [&](size_t n) { return static_cast<size_t>(rng() % n); };
    const std::vector<StreamSample> samples = StreamSamples();
    std::vector<StreamResult> clean;
    for (const StreamSample& s : samples) clean.push_back(Feed({s.reply}, s.key));
    auto junk = [&] {
        Bytes j;
        switch (pick(4)) {
            case 0:
                j = {0xDE, 0xAD};
                break;
            case 1:  // mostly zeros, so that plausible headers come up often
                j.resize(1 + pick(14));
                for (auto& b : j) b = pick(3) == 0 ? static_cast<uint8_t>(rng()) : 0;
                break;
            case 2:  // a reply cut short or with a byte changed
                j = samples[pick(samples.size())].reply;
                j.resize(1 + pick(j.size()));
                j[pick(j.size())] ^= static_cast<uint8_t>(1 + pick(255));
                break;
            default:
                j.resize(1 + pick(40));
                for (auto& b : j) b = static_cast<uint8_t>(rng());
                break;
        }
        return j;
    };

    FakeQueue q;
    long cleanRounds = 0, junkRounds = 0, junkRoundsTaken = 0;
    const long rounds = FuzzCount() / 10;
    for (long round = 0; round < rounds; ++round) {
        const size_t which = pick(samples.size());
        const StreamSample& s = samples[which];
        std::string key = s.key;
        const bool queueEmpty = q.bytes.empty();
        std::vector<Bytes> arrivals;
        const size_t pieces = 1 + pick(3);
        for (size_t p = 0, at = 0; p < pieces; ++p) {
            const size_t end =
                p + 1 == pieces ? s.reply.size() : at + pick(s.reply.size() - at + 1);
            arrivals.emplace_back(s.reply.begin() + static_cast<long>(at),
                                  s.reply.begin() + static_cast<long>(end));
            at = end;
        }
        // 0: clean; 1: junk after the reply, same arrival; 2: junk in front
        // of it, same arrival; 3: junk arrivals of their own before it.
        const size_t mode = pick(4);
        if (mode == 1) {
            const Bytes j = junk();
            arrivals.back().insert(arrivals.back().end(), j.begin(), j.end());
        } else if (mode == 2) {
            const Bytes j = junk();
            arrivals.front().insert(arrivals.front().begin(), j.begin(), j.end());
        } else if (mode == 3) {
            for (size_t k = 1 + pick(2); k > 0; --k) arrivals.insert(arrivals.begin(), junk());
        }
        if (pick(3) == 0)  // arrivals of their own after the reply
            for (size_t k = 1 + pick(2); k > 0; --k) arrivals.push_back(junk());

        bool taken = false;
        for (Bytes& a : arrivals) {
            if (a.empty()) continue;
            q.bytes.insert(q.bytes.end(), a.begin(), a.end());
            TakeArrivalReplies(q, [&](const Bytes& reply) {
                ASSERT_EQ(reply.size(), 6u + (static_cast<size_t>(reply[4]) << 8 | reply[5]));
                if (taken) return;  // the request was answered: the rest answers nothing
                if (reply == s.reply) {
                    ASSERT_EQ(DispatchModbusReply(reply, key).Outcome, clean[which].outcomes[0]);
                    taken = true;
                }
            });
        }
        SCOPED_TRACE("round " + std::to_string(round) + ", " + s.name);
        if (queueEmpty && mode <= 1) {
            ASSERT_TRUE(taken);
            ++cleanRounds;
        } else {
            ++junkRounds;
            junkRoundsTaken += taken ? 1 : 0;
        }
        if (!taken) q.bytes.clear();  // given up: the queue goes
    }
    EXPECT_GT(cleanRounds, rounds / 5);
    // Most junk is stepped over.
    EXPECT_GT(junkRoundsTaken, junkRounds * 3 / 4);
}

// ---- Through the socket ----------------------------------------------------------

class DataArrival : public Dispatcher {
  protected:
    void SetUp() override {
        Dispatcher::SetUp();
        nxlink::ResetModbusGate(ws);
        rt::SetDialogs(&dialogs);
        ConnectModbusReplyHandler(ws);
        // Runs after the handler of each arrival: what it left behind.
        QObject::connect(&ws, &rt::WinsockControl::DataArrival, &ws, [this](qint64) {
            ++arrivals;
            dialogsWhileHandling += static_cast<int>(dialogs.shown.size());
        });
        peer.Accept(ws);
    }
    void TearDown() override {
        ws.Close();
        nxlink::ResetModbusGate(ws);
        rt::SetDialogs(nullptr);
    }
    rt::ScriptedDialogs dialogs;
    rt::WinsockControl ws;
    LoopbackPeer peer;
    int arrivals = 0;
    int dialogsWhileHandling = 0;
};

TEST_F(DataArrival, ReplySplitOverTwoArrivalsIsDispatchedOnce) {
    const Bytes reply = RegistersReply(1, FcReadInputRegisters, 0, Sequence(256, 1, 3));
    SendKeyedRequest(ws, KeyMonitorImage32, BuildReadRequest(1, FcReadInputRegisters, 0x80, 256));
    peer.Send(Bytes(reply.begin(), reply.begin() + 200));
    ASSERT_TRUE(PumpUntil([&] { return ws.BytesReceived() == 200; }));
    EXPECT_EQ(ws.Tag(), KeyMonitorImage32);
    peer.Send(Bytes(reply.begin() + 200, reply.end()));
    ASSERT_TRUE(PumpUntil([&] { return ws.Tag() == KeyDone; }));
    EXPECT_EQ(PIValue(1), 7 * 65536 + 10);
    EXPECT_EQ(ws.BytesReceived(), 0u);
}

TEST_F(DataArrival, ErrorMessageIsShownFromTheEventLoopNotFromTheHandler) {
    SendKeyedRequest(ws, KeyConfigRead(RegCfgVersions.Start),
                     BuildReadRequest(1, FcReadInputRegisters, RegCfgVersions.Start, 2));
    peer.Send(RegistersReply(1, FcReadInputRegisters, {201, 0xFFFF}));
    ASSERT_TRUE(PumpUntil([&] { return !dialogs.shown.empty(); }));
    EXPECT_EQ(arrivals, 1);
    EXPECT_EQ(dialogsWhileHandling, 0);
    ASSERT_EQ(dialogs.shown.size(), 1u);
    EXPECT_EQ(dialogs.shown[0].prompt, "Overflow");
    EXPECT_EQ(dialogs.shown[0].title, "Error");
    EXPECT_EQ(dialogs.shown[0].style, rt::vbCritical);
    EXPECT_EQ(ws.Tag(), "32800");
    EXPECT_EQ(n().McuVersion, 0);
}

TEST_F(DataArrival, ReplyWithoutARequestShowsNothing) {
    ws.SetTag("");
    peer.Send(RegistersReply(1, FcReadInputRegisters, {201, 0xFFFF}));
    ASSERT_TRUE(PumpUntil([&] { return arrivals == 1; }));
    peer.Send(MakeReply(1, FcWriteSingleCoil, {0, 1, 0xFF, 0}));
    ASSERT_TRUE(PumpUntil([&] { return arrivals == 2; }));
    rt::DoEvents();
    EXPECT_TRUE(dialogs.shown.empty());
    EXPECT_EQ(ws.Tag(), "");
}

// One request, then one arrival: the reply that answers it is stored
// wherever it stands in the arrival; what answers nothing is dropped without
// a word, and bytes that cannot begin a reply are stepped over.
TEST_F(DataArrival, EachReplyIsTakenByTheRequestItAnswers) {
    const ModbusFrame ai = BuildReadRequest(1, FcReadInputRegisters, 0, 128);
    const ModbusFrame pi = BuildReadRequest(1, FcReadInputRegisters, 0x80, 256);
    const ModbusFrame dout = BuildReadRequest(1, FcReadCoils, 0, 256);
    const ModbusFrame mcu = BuildReadRequest(1, FcReadInputRegisters, RegMcuStatus.Start, 42);
    const Bytes aiReply = RegistersReply(1, FcReadInputRegisters, 0, Regs(128, 9));
    const Bytes piReply = RegistersReply(1, FcReadInputRegisters, 0, Regs(256, 5));
    Bytes bits{32};
    bits.resize(33, 0xFF);
    const Bytes diReply = MakeReply(1, FcReadDiscreteInputs, bits);
    const Bytes doReply = MakeReply(1, FcReadCoils, bits);
    const Bytes coilEcho = MakeReply(1, FcWriteSingleCoil, {0x00, 0x20, 0xFF, 0x00});
    const auto join = [](std::initializer_list<Bytes> parts) {
        Bytes all;
        for (const Bytes& p : parts) all.insert(all.end(), p.begin(), p.end());
        return all;
    };
    struct Case {
        const char* name;
        const char* key;
        ModbusFrame request;
        Bytes arrival;
        const char* keyAfter;
        std::function<bool()> stored;
    };
    const Case cases[] = {
        {"a late AI reply, then the PI reply", "2", pi, join({aiReply, piReply}), "0",
         [] { return AIValue(0) == 0 && PIValue(0) == 5 * 65536 + 5; }},
        {"a DI reply does not answer the DO read", "1", dout, diReply, "1",
         [] { return !DIValue(0) && !DOValue(0); }},
        {"a write's echo leaves the status read waiting", "4", mcu, coilEcho, "4",
         [] { return true; }},
        {"junk, then the reply", "1", ai, join({{0xDE, 0xAD, 0, 1}, aiReply}), "0",
         [] { return AIValue(0) == 9; }},
        {"the reply twice: the copy answers nothing", "1", dout, join({doReply, doReply}), "0",
         [] { return DOValue(0) && !DIValue(0); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ResetLiveValues();
        nxlink::ResetModbusGate(ws);
        SendKeyedRequest(ws, c.key, c.request);
        const int before = arrivals;
        peer.Send(c.arrival);
        ASSERT_TRUE(PumpUntil([&] { return arrivals > before && ws.BytesReceived() == 0; }));
        rt::DoEvents();
        EXPECT_EQ(ws.Tag(), c.keyAfter);
        EXPECT_TRUE(c.stored());
    }
    EXPECT_TRUE(dialogs.shown.empty());
}

}  // namespace
