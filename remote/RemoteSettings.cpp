#include "remote/RemoteSettings.h"

#include "config/ConfigKeys.h"
#include "config/ConfigStore.h"
#include "remote/Rules.h"

#include <windows.h>
#include <bcrypt.h>

namespace velmora::remote {

namespace {

std::string Ascii(const std::wstring& text) {
  std::string out;
  for (wchar_t c : text) out += c < 0x80 ? static_cast<char>(c) : '?';
  return out;
}

bool RandomToken(std::string& token) {
  uint8_t bytes[kTokenBytes];
  if (!BCRYPT_SUCCESS(::BCryptGenRandom(nullptr, bytes, sizeof bytes, BCRYPT_USE_SYSTEM_PREFERRED_RNG))) return false;
  token = TokenFromBytes(bytes);
  ::SecureZeroMemory(bytes, sizeof bytes);
  return true;
}

}  // namespace

RemoteSetting ReadRemoteSetting(const config::ConfigStore& store) {
  RemoteSetting setting;
  setting.on = store.ReadValue(config::kRemoteSection, config::kRemoteSwitchKey) == config::kOn;
  setting.port = ParsePort(store.ReadValue(config::kRemoteSection, config::kRemotePortKey));
  setting.lan = store.ReadValue(config::kRemoteSection, config::kRemoteLanKey) == config::kOn;
  setting.token = Ascii(store.ReadValue(config::kRemoteSection, config::kRemoteTokenKey));
  return setting;
}

bool PrepareRemoteSetting(const config::ConfigStore& store, RemoteSetting& setting) {
  setting = ReadRemoteSetting(store);
  if (!setting.on || IsWellFormedToken(setting.token)) return true;
  setting.token = RenewToken(store);
  return !setting.token.empty();
}

bool SetRemoteOn(const config::ConfigStore& store, bool on) {
  store.WriteValue(config::kRemoteSection, config::kRemoteSwitchKey, on ? config::kOn : config::kOff);
  RemoteSetting setting;
  return !on || PrepareRemoteSetting(store, setting);
}

bool SetRemotePort(const config::ConfigStore& store, int port) {
  if (port < 1 || port > 65535) return false;
  store.WriteValue(config::kRemoteSection, config::kRemotePortKey, std::to_wstring(port));
  return true;
}

void SetRemoteLan(const config::ConfigStore& store, bool on) {
  store.WriteValue(config::kRemoteSection, config::kRemoteLanKey, on ? config::kOn : config::kOff);
}

std::string RenewToken(const config::ConfigStore& store) {
  std::string token;
  if (!RandomToken(token)) return {};
  const std::wstring stored(token.begin(), token.end());
  store.WriteValue(config::kRemoteSection, config::kRemoteTokenKey, stored);
  // A configuration that cannot be written keeps the old code: it must not look renewed.
  if (store.ReadValue(config::kRemoteSection, config::kRemoteTokenKey) != stored) return {};
  return token;
}

}  // namespace velmora::remote
