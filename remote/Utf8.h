// UTF-16 to UTF-8 for what the remote control sends out. Only hotkey names come in, and those
// are checked to be ASCII, so nothing converts the other way.
#pragma once

#include <string>
#include <string_view>

namespace velmora::remote {

// Unpaired surrogates become U+FFFD, so the text is always valid UTF-8.
std::string ToUtf8(std::wstring_view text);

}  // namespace velmora::remote
