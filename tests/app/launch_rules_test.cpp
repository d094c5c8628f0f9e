#include "app/launch_rules.h"

#include <gtest/gtest.h>

TEST(ChannelFromPackageName, Table) {
  struct Case {
    const char* package;
    const char* channel;
  } cases[] = {
      {"setup_ab12cd", "ab12cd"},
      {"setup_Uab12", "ab12"},
      {"setup_abcdefghij", "abcdefgh"},
      {"setup", ""},
      {"setup_", ""},
      {"setup_Uabcdefgh", "abcdefgh"},
      {"setup_a_b", "a_b"},
      {"setup_U", ""},  // ends in "_U": an empty channel
      {"", ""},
      {"_x", "x"},
      {"LumacutSetup_u1", "u1"},  // only an upper-case U is skipped
  };
  for (const auto& c : cases) EXPECT_EQ(ChannelFromPackageName(c.package), c.channel) << c.package;
}

TEST(AppStoreChannel, SecondOfFourComponents) {
  struct Case {
    const char* version;
    const char* channel;
  } cases[] = {
      {"1.96.0.5", "tengxun0"}, {"1.97.0.5", "qihu3600"}, {"2.98.1.1", "jinshan0"},
      {"1.99.0.0", "huawei00"}, {"1.97.0", ""},           {"1.100.0.5", ""},
      {"1.95.0.5", ""},         {"1.97.0.5.6", ""},       {"", ""},
      {"1..97.0.5", "qihu3600"},  // empty pieces are dropped by the split
  };
  for (const auto& c : cases) EXPECT_EQ(AppStoreChannel(c.version), c.channel) << c.version;
}

TEST(DownloadTimeOf, LastWriteMinusCreation) {
  EXPECT_EQ(DownloadTimeOf(1733750000, 1733751234), 1234);
  EXPECT_EQ(DownloadTimeOf(1733750000, 1733750000), 0);
  EXPECT_EQ(DownloadTimeOf(1733750000, 1733740000), 0);
  EXPECT_EQ(DownloadTimeOf(0, (int64_t{1} << 32) + 5), 5) << "truncated to 32 bits";
}
