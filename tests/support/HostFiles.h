// The Linux side's files by their own paths, for the native tests (the Wine tests reach them
// through Files.h and Wine's Z: drive).
#pragma once

#include <string>
#include <vector>

namespace velmora::test {

// The file's bytes; empty when it cannot be read.
std::string ReadHostFile(const std::string& path);

// The names of the files (not folders) in `folder`, in no particular order; none when it is missing.
std::vector<std::string> HostFileNames(const std::string& folder);

}  // namespace velmora::test
