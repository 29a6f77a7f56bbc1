// Test main for executables that decode through Media Foundation. Under Wine, the GStreamer
// back end sometimes crashes the process while it is being torn down after main returns (the
// host process dies with SIGSEGV after every test has passed). The results are complete by
// then, so the process ends here without running library teardown.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdio>

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  const int result = RUN_ALL_TESTS();
  std::fflush(stdout);
  std::fflush(stderr);
  ::TerminateProcess(::GetCurrentProcess(), static_cast<UINT>(result));
  return result;
}
