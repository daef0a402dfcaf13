#include "sim/syslog_format.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "sim/bus.h"

namespace sim {
namespace {

struct FormatCase {
  const char* format;
  std::vector<intptr_t> args;
  const char* expected;
};

class SyslogFormatTest : public ::testing::TestWithParam<FormatCase> {};

TEST_P(SyslogFormatTest, ExpandsAsTheConsoleShowsIt) {
  const FormatCase& c = GetParam();
  EXPECT_EQ(FormatLog(c.format, c.args.data(), static_cast<uint32_t>(c.args.size()), nullptr), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Conversions, SyslogFormatTest,
    ::testing::Values(
        FormatCase{"Sample program starts (exinf = %d).", {1}, "Sample program starts (exinf = 1)."},
        FormatCase{"%d", {-5}, "-5"},
        FormatCase{"%05d", {-42}, "-0042"},
        FormatCase{"%-4d|", {7}, "7   |"},
        FormatCase{"%u", {-1}, "4294967295"},                   // 32-bit words, as on the target
        FormatCase{"%x", {static_cast<intptr_t>(0x100000001)}, "1"},
        FormatCase{"code=0x%04X, num_queue=%d", {0xab, 256}, "code=0x00AB, num_queue=256"},
        FormatCase{"%c%c", {'o', 'k'}, "ok"},
        FormatCase{"100%%", {}, "100%"},
        FormatCase{"%d %d", {3}, "3 0"},                         // a missing argument reads as 0
        FormatCase{"%ld", {9}, "9"},
        FormatCase{"trailing %", {}, "trailing "}));

TEST(SyslogFormat, PrintsStringsAndNull) {
  const intptr_t args[] = {reinterpret_cast<intptr_t>("iras_tex(tskid, 0x8000)"), 0};
  EXPECT_EQ(FormatLog("`%s' `%s'", args, 2, nullptr), "`iras_tex(tskid, 0x8000)' `(null)'");
}

TEST(SyslogFormat, APointerIntoBoardRamPrintsItsPhysicalAddress) {
  Bus bus;
  const intptr_t args[] = {reinterpret_cast<intptr_t>(bus.RamPointer(0x00FFF000u, 4))};
  EXPECT_EQ(FormatLog("p_excinf = %08p.", args, 1, &bus), "p_excinf = 00fff000.");
  const intptr_t low[] = {reinterpret_cast<intptr_t>(bus.RamPointer(0x80000010u, 4))};
  EXPECT_EQ(FormatLog("%08p", low, 1, &bus), "80000010");
}

}  // namespace
}  // namespace sim
