// The registry read. tools/test-windows adds the values with `wine reg add`
// (see the "registry" group there) before SettingsFromRegistry runs; the
// SettingsWithoutKey group runs in a prefix where the key was never made.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "platform/settings.h"

namespace kestrune {
namespace {

std::string repeated(size_t length) {
  std::string text;
  while (text.size() < length) text += "abcdefghij";
  return text.substr(0, length);
}

TEST(SettingsFromRegistry, ReadsTheServerAddress) {
  char ipno[40];
  std::memset(ipno, 'x', sizeof ipno);
  EXPECT_EQ(0, readServerSetting("ipno", ipno, sizeof ipno));
  EXPECT_STREQ("127.6.0.9", ipno);
}

TEST(SettingsFromRegistry, ThirtyNineCharactersFitTheFortyByteBuffer) {
  char value[40];
  EXPECT_EQ(0, readServerSetting("v39", value, sizeof value));
  EXPECT_EQ(repeated(39), value);
}

TEST(SettingsFromRegistry, FortyCharactersDoNotFitAndLeaveTheBufferAlone) {
  char value[40] = "unchanged";
  EXPECT_EQ(-1, readServerSetting("v40", value, sizeof value));
  EXPECT_STREQ("unchanged", value);
  // The same value is readable with room for it and its terminator.
  char larger[41];
  EXPECT_EQ(0, readServerSetting("v40", larger, sizeof larger));
  EXPECT_EQ(repeated(40), larger);
}

TEST(SettingsFromRegistry, MissingValueNumberAndEmptyText) {
  char value[40] = "unchanged";
  EXPECT_EQ(-1, readServerSetting("nosuchvalue", value, sizeof value));
  EXPECT_STREQ("unchanged", value);
  // A number is no address: refused, not read as four raw bytes.
  EXPECT_EQ(-1, readServerSetting("number", value, sizeof value));
  EXPECT_STREQ("unchanged", value);
  EXPECT_EQ(0, readServerSetting("empty", value, sizeof value));
  EXPECT_STREQ("", value);
}

TEST(SettingsWithoutKey, EveryValueGivesMinusTwo) {
  char value[40] = "unchanged";
  EXPECT_EQ(-2, readServerSetting("ipno", value, sizeof value));
  EXPECT_EQ(-2, readServerSetting("ftphost", value, sizeof value));
  EXPECT_STREQ("unchanged", value);
}

}  // namespace
}  // namespace kestrune
