// The single-instance lock on the real file system.
#include "app/InstanceLock.h"
#include "tests/support/TempProgramDir.h"

#include <gtest/gtest.h>
#include <windows.h>

using velmora::UniqueFile;
using velmora::app::AcquireInstanceLock;

TEST(InstanceLock, OnlyAnotherInstanceHoldingItKeepsTheProgramFromStarting) {
  velmora::test::TempProgramDir dir(L"锁");
  const std::wstring lock = dir / L"zubo";
  {
    UniqueFile held;
    ASSERT_TRUE(AcquireInstanceLock(dir.Path(), held));
    EXPECT_TRUE(held.Valid());
    WIN32_FILE_ATTRIBUTE_DATA data{};
    ASSERT_TRUE(::GetFileAttributesExW(lock.c_str(), GetFileExInfoStandard, &data));
    EXPECT_EQ(data.dwFileAttributes & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_ARCHIVE),
              static_cast<DWORD>(FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_ARCHIVE));
    EXPECT_EQ(data.nFileSizeLow, 1u) << "one zero byte";
    UniqueFile second;
    EXPECT_FALSE(AcquireInstanceLock(dir.Path(), second)) << "a second instance while the first runs";
  }
  {
    UniqueFile again;  // left behind by an instance that has ended
    EXPECT_TRUE(AcquireInstanceLock(dir.Path(), again));
    EXPECT_TRUE(again.Valid());
  }
  // Read-only, as when copied out of an archive: the program starts, and still holds the lock.
  ASSERT_TRUE(::SetFileAttributesW(lock.c_str(), FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN));
  {
    UniqueFile held;
    EXPECT_TRUE(AcquireInstanceLock(dir.Path(), held));
    EXPECT_TRUE(held.Valid());
    UniqueFile second;
    EXPECT_FALSE(AcquireInstanceLock(dir.Path(), second));
  }
  ::SetFileAttributesW(lock.c_str(), FILE_ATTRIBUTE_NORMAL);
}
