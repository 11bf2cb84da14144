#include "modflash/UnresolvedRequests.h"

#include <gtest/gtest.h>

#include "FakeResponder_support.h"

using namespace modflash;
using namespace modflash::test;

namespace {

bool Take(UnresolvedRequests& u, const Frame& reply) { return u.Take(reply.data(), reply.size()); }

}  // namespace

TEST(UnresolvedRequests, ALateReplyResolvesItsRequestAndEveryOneBeforeIt) {
    const Frame id = BuildReadInputRegister(RegIomModuleId);
    const Frame command = BuildCommandWrite(CmdNmt, 0, NmtToPreOp);
    const Frame mark3 = BuildOrderMark(kFnReadHoldingRegisters);
    const Frame mark1 = BuildOrderMark(kFnReadCoils);
    const Frame mark2 = BuildOrderMark(kFnReadDiscreteInputs);
    UnresolvedRequests u;
    u.Note(id);
    EXPECT_TRUE(u.Conflicts(BuildReadUpgradeStatus(0)));  // its exception reply looks alike
    EXPECT_FALSE(u.Conflicts(command));
    // Each mark takes a function nothing unresolved has, while there is one.
    u.Note(command);
    EXPECT_EQ(u.MarkFunction(), kFnReadHoldingRegisters);
    u.Note(mark3);
    EXPECT_EQ(u.MarkFunction(), kFnReadCoils);
    u.Note(mark1);
    u.Note(mark2);
    // Then the one whose earliest request is the latest: its reply settles most.
    EXPECT_EQ(u.MarkFunction(), kFnReadDiscreteInputs);
    u.Note(mark2);
    // A reply of another shape, or another write's, is no one's.
    EXPECT_FALSE(Take(u, FakeResponder::Reply(id, {4, 0, 0, 0, 0})));
    EXPECT_FALSE(Take(u, FakeResponder::Reply(BuildInitDownload(0, 300), {0x80, 0, 0, 5})));
    EXPECT_TRUE(u.Conflicts(id));
    // The first of the two equal marks' replies: everything before them is
    // settled, the second mark still owes its reply.
    EXPECT_TRUE(Take(u, FakeResponder::ExceptionReply(mark2, 2)));
    EXPECT_FALSE(u.Conflicts(id));
    EXPECT_FALSE(u.Conflicts(command));
    EXPECT_FALSE(u.Conflicts(mark3));
    EXPECT_TRUE(u.Conflicts(mark2));
    EXPECT_TRUE(Take(u, FakeResponder::Reply(mark2, {1, 0})));
    EXPECT_FALSE(u.Conflicts(mark2));
    EXPECT_FALSE(Take(u, FakeResponder::Reply(mark2, {1, 0})));
}
