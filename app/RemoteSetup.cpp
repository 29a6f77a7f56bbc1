#include "app/RemoteSetup.h"

#include <windows.h>
#include <bcrypt.h>

namespace velmora::app {

namespace {

bool RandomToken(std::string& token) {
  uint8_t bytes[config::kTokenBytes];
  if (!BCRYPT_SUCCESS(::BCryptGenRandom(nullptr, bytes, sizeof bytes, BCRYPT_USE_SYSTEM_PREFERRED_RNG))) return false;
  token = config::TokenFromBytes(bytes);
  ::SecureZeroMemory(bytes, sizeof bytes);
  return true;
}

}  // namespace

bool PrepareRemoteSetting(const config::ConfigStore& store, config::RemoteSetting& setting) {
  setting = config::RemoteSetting::Read(store);
  if (!setting.on || config::IsWellFormedToken(setting.token)) return true;
  setting.token = RenewToken(store);
  return !setting.token.empty();
}

bool SetRemoteOn(const config::ConfigStore& store, bool on) {
  config::RemoteSetting::WriteOn(store, on);
  config::RemoteSetting setting;
  return !on || PrepareRemoteSetting(store, setting);
}

std::string RenewToken(const config::ConfigStore& store) {
  std::string token;
  if (!RandomToken(token)) return {};
  // A configuration that cannot be written keeps the old code: it must not look renewed.
  if (!config::RemoteSetting::WriteToken(store, token)) return {};
  return token;
}

remote::RemoteStatus ApplyRemoteSetting(remote::RemoteControl& control, const config::ConfigStore& store) {
  control.Stop();
  config::RemoteSetting setting;
  if (!PrepareRemoteSetting(store, setting)) return control.Fail();
  if (!setting.on) return remote::RemoteStatus::Off;
  return control.Start(remote::ServerSettings{setting.port, setting.lan, setting.token});
}

}  // namespace velmora::app
