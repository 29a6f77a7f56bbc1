// The vendor's addresses behind the board's three links and the marquee's shop text. These are
// placeholders of our own on the reserved example domain, and the only place they are written.
#pragma once

namespace velmora::ui {

inline constexpr wchar_t kContactNumber[] = L"10000000";
// The messenger's own link scheme, opening a chat with the contact number.
inline constexpr wchar_t kContactUrl[] = L"tencent://message/?uin=10000000&Site=example.com&Menu=yes";
inline constexpr wchar_t kWebsiteUrl[] = L"https://www.example.com/velmora/";
inline constexpr wchar_t kShopUrl[] = L"https://shop.example.com/velmora/";

}  // namespace velmora::ui
