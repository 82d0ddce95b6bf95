// The checks on each name and time that zor create stores: what Windows or the self-extractor would
// refuse or silently change, and DOS times at the ends of their range.
#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <string>

#include "cli/input_tree.h"

namespace zor {
namespace {

TEST(CheckName, AcceptsOrdinaryNames) {
  for (const char* name : {"a", "readme.txt", ".hidden", "a b", "caf\xC3\xA9", "con2", "comx", "lpt0", "..a",
                           "#[]{}&!", "nul-device"}) {
    EXPECT_EQ(CheckName(name), "") << name;
  }
}

TEST(CheckName, RefusesWhatWindowsOrTheExtractorWouldNotTake) {
  struct Case {
    const char* name;
    const char* reason;
  };
  static const Case kCases[] = {
      {"..", "dots and spaces only"},  {". .", "dots and spaces only"}, {"...", "dots and spaces only"},
      {"a:b", "\":\""},                {"a<b", "\"<\""},                {"a>b", "\">\""},
      {"a\"b", "\"\"\""},              {"a|b", "\"|\""},                {"a?b", "\"?\""},
      {"a*b", "\"*\""},                {"a\\b", "\"\\\""},              {"a\x01", "control character"},
      {"a\x1F", "control character"},  {"name.", "ends in a dot"},      {"name ", "ends in a dot or a space"},
      {"CON", "device"},               {"nul.txt", "device"},           {"Com1.log", "device"},
      {"LPT9", "device"},              {"aux .x", "device"},            {"\xFF", "not UTF-8"},
  };
  for (const Case& c : kCases) {
    std::string reason = CheckName(c.name);
    EXPECT_NE(reason.find(c.reason), std::string::npos) << c.name << ": " << reason;
  }
}

TEST(DosTime, LocalTimeInTwoSecondStepsAndClampedToTheDosYears) {
  const char* saved = std::getenv("TZ");
  std::string tz = saved ? saved : "";
  setenv("TZ", "CET-1", 1);  // one hour east of UTC, no summer time
  tzset();
  bool clamped = false;
  DosTime t = ToDosTime(981173107, clamped);  // 2001-02-03 04:05:07 UTC = 05:05:07 local
  EXPECT_EQ(t.date, (21 << 9) | (2 << 5) | 3);
  EXPECT_EQ(t.time, (5 << 11) | (5 << 5) | 3);
  EXPECT_FALSE(clamped);
  t = ToDosTime(315529200, clamped);  // 1980-01-01 00:00:00 local: the first DOS time
  EXPECT_EQ(t.date, (0 << 9) | (1 << 5) | 1);
  EXPECT_EQ(t.time, 0);
  EXPECT_FALSE(clamped);
  t = ToDosTime(315529199, clamped);  // one second earlier
  EXPECT_EQ(t.date, (0 << 9) | (1 << 5) | 1);
  EXPECT_TRUE(clamped);
  clamped = false;
  t = ToDosTime(-1, clamped);
  EXPECT_TRUE(clamped);
  clamped = false;
  t = ToDosTime(4354815600, clamped);  // 2108-01-01 00:00 local
  EXPECT_EQ(t.date, (127 << 9) | (12 << 5) | 31);
  EXPECT_EQ(t.time, (23 << 11) | (59 << 5) | 29);
  EXPECT_TRUE(clamped);
  if (saved) setenv("TZ", tz.c_str(), 1);
  else unsetenv("TZ");
  tzset();
}

}  // namespace
}  // namespace zor
