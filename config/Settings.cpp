#include "config/Settings.h"

#include "config/ConfigKeys.h"
#include "config/ConfigStore.h"
#include "config/ProfileText.h"

#include <algorithm>

namespace velmora::config {

namespace {

struct DeviceKeys {
  const wchar_t* section;
  const wchar_t* switchKey;  // none for the output device, which is always on
  const wchar_t* deviceKey;
  const wchar_t* endpointKey;
  const wchar_t* volumeKey;  // none for the output device, whose level is the board's
};

const DeviceKeys& KeysOf(DeviceSection section) {
  static constexpr DeviceKeys kKeys[] = {
      {kDeviceSection, nullptr, kDeviceKey, kDeviceEndpointKey, nullptr},
      {kMonitorSection, kMonitorSwitchKey, kMonitorDeviceKey, kMonitorEndpointKey, kMonitorVolumeKey},
      {kMicSection, kMicSwitchKey, kMicDeviceKey, kMicEndpointKey, kMicVolumeKey},
  };
  return kKeys[static_cast<int>(section)];
}

std::string Ascii(const std::wstring& text) {
  std::string out;
  for (wchar_t c : text) out += c < 0x80 ? static_cast<char>(c) : '?';
  return out;
}

}  // namespace

HotkeySwitchSetting HotkeySwitchSetting::Read(const ConfigStore& store) {
  return {ParseSwitch(store.ReadValue(kHotkeySwitchSection, kHotkeySwitchKey))};
}

void HotkeySwitchSetting::Write(const ConfigStore& store, bool on) {
  store.WriteValue(kHotkeySwitchSection, kHotkeySwitchKey, SwitchText(on));
}

AutoRebuildSetting AutoRebuildSetting::Read(const ConfigStore& store) {
  return {ParseSwitch(store.ReadValue(kAutoRebuildSection, kAutoRebuildKey))};
}

void AutoRebuildSetting::Write(const ConfigStore& store, bool automatic) {
  store.WriteValue(kAutoRebuildSection, kAutoRebuildKey, SwitchText(automatic));
}

KeyboardSetting KeyboardSetting::Read(const ConfigStore& store) {
  const std::optional<std::wstring> stored = store.ReadOptional(kKeyboardSection, kKeyboardKey);
  return {ShownDigitKeys(stored), RegisteredDigitKeys(stored)};
}

void KeyboardSetting::Write(const ConfigStore& store, DigitKeys keys) {
  store.WriteValue(kKeyboardSection, kKeyboardKey, DigitKeysText(keys));
}

PressAgainSetting PressAgainSetting::Read(const ConfigStore& store) {
  return {IsOn(ParseSwitch(store.ReadValue(kPressAgainSection, kPressAgainKey)))};
}

void PressAgainSetting::Write(const ConfigStore& store, bool on) {
  store.WriteValue(kPressAgainSection, kPressAgainKey, SwitchText(on));
}

LevelingSetting LevelingSetting::Read(const ConfigStore& store) {
  return {IsOn(ParseSwitch(store.ReadValue(kLevelingSection, kLevelingSwitchKey)))};
}

void LevelingSetting::Write(const ConfigStore& store, bool on) {
  store.WriteValue(kLevelingSection, kLevelingSwitchKey, SwitchText(on));
}

BoardVolumeSetting BoardVolumeSetting::Read(const ConfigStore& store) {
  return {ParseBoardVolume(store.ReadValue(kVolumeSection, kVolumeKey))};
}

void BoardVolumeSetting::Write(const ConfigStore& store, int level) {
  store.WriteValue(kVolumeSection, kVolumeKey, ConfigNumberText(level));
}

OutputDeviceSetting OutputDeviceSetting::Read(const ConfigStore& store) {
  return {static_cast<int>(ParseConfigNumber(store.ReadValue(kDeviceSection, kDeviceKey))),
          store.ReadValue(kDeviceSection, kDeviceEndpointKey)};
}

void OutputDeviceSetting::WriteDevice(const ConfigStore& store, int device) {
  WriteDeviceNumber(store, DeviceSection::Output, device);
}

void OutputDeviceSetting::WriteEndpoint(const ConfigStore& store, const std::wstring& endpoint) {
  store.WriteValue(kDeviceSection, kDeviceEndpointKey, endpoint);
}

void WriteDeviceNumber(const ConfigStore& store, DeviceSection section, int device) {
  const DeviceKeys& keys = KeysOf(section);
  store.WriteValue(keys.section, keys.deviceKey, ConfigNumberText(device));
}

RouteSetting RouteSetting::Read(const ConfigStore& store, DeviceSection section) {
  const DeviceKeys& keys = KeysOf(section);
  RouteSetting setting;
  setting.on = IsOn(ParseSwitch(store.ReadValue(keys.section, keys.switchKey)));
  setting.device = ParseRouteDevice(store.ReadValue(keys.section, keys.deviceKey));
  setting.endpoint = store.ReadValue(keys.section, keys.endpointKey);
  setting.level = ParseRouteLevel(store.ReadValue(keys.section, keys.volumeKey));
  return setting;
}

void RouteSetting::WriteOn(const ConfigStore& store, DeviceSection section, bool on) {
  const DeviceKeys& keys = KeysOf(section);
  store.WriteValue(keys.section, keys.switchKey, SwitchText(on));
}

void RouteSetting::WriteDevice(const ConfigStore& store, DeviceSection section, int device,
                               const std::wstring& endpoint) {
  const DeviceKeys& keys = KeysOf(section);
  store.WriteValue(keys.section, keys.switchKey, kOn);
  store.WriteValue(keys.section, keys.deviceKey, ConfigNumberText(device));
  store.WriteValue(keys.section, keys.endpointKey, endpoint);
}

void RouteSetting::WriteLevel(const ConfigStore& store, DeviceSection section, int level) {
  const DeviceKeys& keys = KeysOf(section);
  store.WriteValue(keys.section, keys.volumeKey, ConfigNumberText(std::clamp(level, kMinLevel, kMaxLevel)));
}

MicSetting MicSetting::Read(const ConfigStore& store) {
  MicSetting setting;
  static_cast<RouteSetting&>(setting) = RouteSetting::Read(store, DeviceSection::Microphone);
  setting.toMonitor = IsOn(ParseSwitch(store.ReadValue(kMicSection, kMicToMonitorKey)));
  setting.duckingDb = ParseDuckingDb(store.ReadValue(kMicSection, kMicDuckingKey));
  return setting;
}

void MicSetting::WriteToMonitor(const ConfigStore& store, bool on) {
  store.WriteValue(kMicSection, kMicToMonitorKey, SwitchText(on));
}

void MicSetting::WriteDucking(const ConfigStore& store, int db) {
  store.WriteValue(kMicSection, kMicDuckingKey, ConfigNumberText(std::clamp(db, 0, kMaxMicDuckingDb)));
}

RemoteSetting RemoteSetting::Read(const ConfigStore& store) {
  RemoteSetting setting;
  setting.on = IsOn(ParseSwitch(store.ReadValue(kRemoteSection, kRemoteSwitchKey)));
  setting.port = ParsePort(store.ReadValue(kRemoteSection, kRemotePortKey));
  setting.lan = IsOn(ParseSwitch(store.ReadValue(kRemoteSection, kRemoteLanKey)));
  setting.token = Ascii(store.ReadValue(kRemoteSection, kRemoteTokenKey));
  return setting;
}

void RemoteSetting::WriteOn(const ConfigStore& store, bool on) {
  store.WriteValue(kRemoteSection, kRemoteSwitchKey, SwitchText(on));
}

void RemoteSetting::WritePort(const ConfigStore& store, int port) {
  store.WriteValue(kRemoteSection, kRemotePortKey, std::to_wstring(port));
}

void RemoteSetting::WriteLan(const ConfigStore& store, bool on) {
  store.WriteValue(kRemoteSection, kRemoteLanKey, SwitchText(on));
}

bool RemoteSetting::WriteToken(const ConfigStore& store, const std::string& token) {
  const std::wstring stored(token.begin(), token.end());
  store.WriteValue(kRemoteSection, kRemoteTokenKey, stored);
  return store.ReadValue(kRemoteSection, kRemoteTokenKey) == stored;
}

SlotTexts SlotTexts::Read(const ConfigStore& store, EffectSlot slot) {
  const CategoryInfo& c = Category(slot.category);
  const std::wstring key = SlotKey(slot.index);
  return {store.ReadValue(c.titleSection, key), store.ReadValue(c.pathSection, key),
          store.ReadValue(c.hotkeySection, key)};
}

std::wstring ReadSlotPath(const ConfigStore& store, EffectSlot slot) {
  return store.ReadValue(Category(slot.category).pathSection, SlotKey(slot.index));
}

std::wstring ReadSlotHotkey(const ConfigStore& store, int category, int index) {
  return store.ReadValue(Category(category).hotkeySection, SlotKey(index));
}

void WriteSlotCaption(const ConfigStore& store, EffectSlot slot, const std::wstring& caption) {
  store.WriteValue(Category(slot.category).titleSection, SlotKey(slot.index), caption);
}

void WriteSlotPath(const ConfigStore& store, EffectSlot slot, const std::wstring& path) {
  store.WriteValue(Category(slot.category).pathSection, SlotKey(slot.index), path);
}

void WriteSlotHotkey(const ConfigStore& store, EffectSlot slot, const std::wstring& name) {
  store.WriteValue(Category(slot.category).hotkeySection, SlotKey(slot.index), name);
}

std::wstring ReadHotkeyFile(const ConfigStore& store, const std::wstring& name) {
  return store.ReadValue(kHotkeyPathSection, name);
}

void WriteHotkeyFile(const ConfigStore& store, const std::wstring& name, const std::wstring& path) {
  store.WriteValue(kHotkeyPathSection, name, path);
}

bool IsNoHotkey(const std::wstring& text) { return text == kNoHotkey; }

}  // namespace velmora::config
