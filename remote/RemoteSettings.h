// Section 遥控 of the configuration (config/ConfigKeys.h). Read and written on the UI thread
// only, like every other section.
#pragma once

#include <string>

namespace velmora::config {
class ConfigStore;
}

namespace velmora::remote {

// What the remote control does, as the settings window shows it.
enum class RemoteStatus { Off, Listening, PortInUse, Failed };
inline constexpr wchar_t kPortInUseText[] = L"遥控端口已被占用";
inline constexpr wchar_t kRemoteFailedText[] = L"遥控开启失败";
inline constexpr wchar_t kCodeNotStoredText[] = L"新访问码未能保存，原访问码仍然有效";

struct RemoteSetting {
  bool on = false;
  int port = 0;
  bool lan = false;
  std::string token;  // as stored; see PrepareRemoteSetting
};

// The stored setting with odd values made sound: a switch other than "真" is off, an odd port
// is 39393.
RemoteSetting ReadRemoteSetting(const config::ConfigStore& store);

// The setting to start the server with: when it is on and the stored token is missing or not
// 32 lowercase hex digits, a new one is made and stored. False when the system's random number
// generator failed (the server must not start with a guessable token).
bool PrepareRemoteSetting(const config::ConfigStore& store, RemoteSetting& setting);

// Switches the control on or off (开关); switching on makes the token when there is none.
bool SetRemoteOn(const config::ConfigStore& store, bool on);

// Stores the port (1..65535; false and nothing stored for anything else) and the LAN switch.
bool SetRemotePort(const config::ConfigStore& store, int port);
void SetRemoteLan(const config::ConfigStore& store, bool on);

// A new token from the system's cryptographic generator, stored; empty when either failed (the
// stored token, if any, is then still the one in force).
std::string RenewToken(const config::ConfigStore& store);

}  // namespace velmora::remote
