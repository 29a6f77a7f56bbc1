#include "config/SettingValues.h"

#include "config/ConfigKeys.h"
#include "config/ProfileText.h"

#include <algorithm>

namespace velmora::config {

Switch ParseSwitch(std::wstring_view stored) {
  if (stored == kOn) return Switch::On;
  if (stored == kOff) return Switch::Off;
  return Switch::Unset;
}

const wchar_t* SwitchText(bool on) { return on ? kOn : kOff; }

DigitKeys ShownDigitKeys(const std::optional<std::wstring>& stored) {
  if (stored == kKeyboardMain) return DigitKeys::Main;
  if (stored == kKeyboardKeypad) return DigitKeys::Keypad;
  return DigitKeys::None;
}

DigitKeys RegisteredDigitKeys(const std::optional<std::wstring>& stored) {
  return stored ? ShownDigitKeys(stored) : DigitKeys::Main;
}

const wchar_t* DigitKeysText(DigitKeys keys) { return keys == DigitKeys::Keypad ? kKeyboardKeypad : kKeyboardMain; }

int ParseRouteLevel(std::wstring_view stored) {
  if (stored.empty()) return kMaxLevel;
  return static_cast<int>(std::clamp<long>(ParseConfigNumber(stored), kMinLevel, kMaxLevel));
}

int ParseBoardVolume(std::wstring_view stored) {
  return stored.empty() ? kMaxLevel : static_cast<int>(ParseConfigNumber(stored));
}

int ParseDuckingDb(std::wstring_view stored) {
  return static_cast<int>(std::clamp<long>(ParseConfigNumber(stored), 0, kMaxMicDuckingDb));
}

int ParseRouteDevice(std::wstring_view stored) {
  const long device = ParseConfigNumber(stored);
  return device >= 1 && device <= 1000 ? static_cast<int>(device) : 1;
}

int ParsePort(std::wstring_view stored) {
  if (stored.empty() || stored.size() > 5) return kDefaultPort;
  int port = 0;
  for (wchar_t c : stored) {
    if (c < L'0' || c > L'9') return kDefaultPort;
    port = port * 10 + (c - L'0');
  }
  return port >= 1 && port <= 65535 ? port : kDefaultPort;
}

bool IsWellFormedToken(std::string_view token) {
  return token.size() == 2 * kTokenBytes && std::all_of(token.begin(), token.end(), [](char c) {
           return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f');
         });
}

std::string TokenFromBytes(const uint8_t (&bytes)[kTokenBytes]) {
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string token;
  for (uint8_t b : bytes) {
    token += kDigits[b >> 4];
    token += kDigits[b & 15];
  }
  return token;
}

}  // namespace velmora::config
