#include "config/ConfigStore.h"
#include "tests/support/TempProgramDir.h"

#include <gtest/gtest.h>

using namespace velmora::config;

TEST(ConfigStore, RoundTrip) {
  velmora::test::TempProgramDir dir;
  ConfigStore store(dir.Path());
  EXPECT_TRUE(store.WriteValue(L"常用路径", L"1", L"C:\\音效\\掌声.mp3"));
  EXPECT_EQ(store.ReadValue(L"常用路径", L"1"), L"C:\\音效\\掌声.mp3");
}
