// The HART console's model: typed bytes, the check byte and the send log's
// lines.
#include "hart/HartFrame.h"

#include <gtest/gtest.h>

namespace {

using Bytes = std::vector<uint8_t>;

struct ParseCase {
    const char* text;
    std::optional<Bytes> bytes;
};

TEST(HartFrameTest, ParsesBlankSeparatedHexBytesAndRefusesEverythingElse) {
    const ParseCase cases[] = {
        {"FF 02 80", Bytes{0xFF, 0x02, 0x80}},
        {"   0a  f ", Bytes{0x0A, 0x0F}},
        {"", std::nullopt},
        {"    ", std::nullopt},
        {"FG", std::nullopt},
        {"100", std::nullopt},
        {"1,2", std::nullopt},
        {"0x1", std::nullopt},
        {"-1", std::nullopt},
    };
    for (const ParseCase& c : cases) EXPECT_EQ(hart::ParseHartBytes(c.text), c.bytes) << c.text;
}

TEST(HartFrameTest, CheckByteRunsFromTheDelimiterAfterThePreambles) {
    const std::pair<Bytes, uint8_t> cases[] = {
        {{0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x02, 0x80, 0x00, 0x00, 0x82}, 0x00},
        {{0xFF, 0x02, 0x80}, 0x82},
        {{0x02, 0x80}, 0x00},              // no preamble: nothing counts
        {{0xFF, 0xFF}, 0x00},              // no delimiter
        {{0xFF, 0x02, 0xFF, 0x03}, 0xFE},  // an FF after the start counts
        {{0x11, 0xFF, 0x06, 0x01}, 0x07},  // bytes before the preamble do not
    };
    for (const auto& [bytes, x] : cases) EXPECT_EQ(hart::HartCheckByte(bytes), x);
}

TEST(HartFrameTest, SendLogBreaksEveryThirteenBytesAfterTheHeaderLine) {
    for (size_t n : {10u, 11u}) {
        const Bytes data(n, 0xAB);
        const ModbusFrame frame = hart::BuildMailboxHartRequest(1, 0, 0, data);
        const std::vector<std::string> lines = hart::SendLogLines(frame, n);
        const std::string indent(n % 2 ? 35 : 33, ' ');
        ASSERT_EQ(lines.size(), 3u) << n;
        EXPECT_EQ(lines[0].substr(0, 18),
                  "00 00 00 00 00 " + std::string(n % 2 ? "1D" : "1B") + " ");
        EXPECT_EQ(lines[0].substr(18, 5), " --> ");
        EXPECT_EQ(lines[0].size(), 6 * 3 + 5 + 13 * 3u);                          // bytes 0-18
        EXPECT_EQ(lines[1], indent + "00 00 00 00 AB AB AB AB AB AB AB AB AB ");  // bytes 19-31
        EXPECT_EQ(lines[2].size(), indent.size() + 3 * (frame.size() - 32));
    }
}

}  // namespace
