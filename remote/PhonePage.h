// The phone page served at "/": the board's four pages of buttons, stop and volume, kept current
// over the WebSocket. Everything it needs is inside it; nothing is fetched from elsewhere.
#pragma once

#include <string>

namespace velmora::remote {

const std::string& PhonePageHtml();

}  // namespace velmora::remote
