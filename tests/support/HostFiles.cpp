#include "tests/support/HostFiles.h"

#include <filesystem>
#include <fstream>
#include <iterator>

namespace velmora::test {

std::string ReadHostFile(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

std::vector<std::string> HostFileNames(const std::string& folder) {
  std::vector<std::string> names;
  std::error_code error;
  for (const auto& entry : std::filesystem::directory_iterator(folder, error)) {
    if (entry.is_regular_file()) names.push_back(entry.path().filename().string());
  }
  return names;
}

}  // namespace velmora::test
