#pragma once

#include <string_view>

namespace velmora::config {

// Creates "音效" and its five folders where nothing exists yet. Failures are ignored: a folder
// that cannot be made simply scans as empty.
void EnsureFolders(std::wstring_view programDirectory);

}  // namespace velmora::config
