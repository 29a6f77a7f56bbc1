// Every input a fuzzer ever kept (tests/fuzz/regressions/<kind>/) goes through that target's whole
// check again. The targets are linked in here each under its kind's name (VELMORA_FUZZ_TARGET); a
// broken promise aborts, as it does under the fuzzer.
#include "tests/fuzz/FuzzCheck.h"
#include "tests/support/HostFiles.h"

#include <gtest/gtest.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

VELMORA_FUZZ_TARGET(wav);
VELMORA_FUZZ_TARGET(vorbis);
VELMORA_FUZZ_TARGET(remote);
VELMORA_FUZZ_TARGET(stream);
VELMORA_FUZZ_TARGET(loudness);
VELMORA_FUZZ_TARGET(config);
VELMORA_FUZZ_TARGET(drop);

TEST(FuzzRegressions, EveryKeptInputPassesItsTargetAgain) {
  const struct {
    const char* kind;
    int (*target)(const uint8_t*, size_t);
  } kTargets[] = {{"wav", VelmoraFuzz_wav},       {"vorbis", VelmoraFuzz_vorbis},     {"remote", VelmoraFuzz_remote},
                  {"stream", VelmoraFuzz_stream}, {"loudness", VelmoraFuzz_loudness}, {"config", VelmoraFuzz_config},
                  {"drop", VelmoraFuzz_drop}};
  for (const auto& [kind, target] : kTargets) {
    const std::string folder = std::string(VELMORA_FUZZ_REGRESSIONS_UNIX) + "/" + kind;
    const std::vector<std::string> names = velmora::test::HostFileNames(folder);
    EXPECT_FALSE(names.empty()) << "nothing kept in " << folder;
    for (const std::string& name : names) {
      SCOPED_TRACE(std::string(kind) + "/" + name);
      const std::string bytes = velmora::test::ReadHostFile(folder + "/" + name);
      EXPECT_EQ(target(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()), 0);
    }
  }
}
