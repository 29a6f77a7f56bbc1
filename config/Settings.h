// The settings of zuboinf.ini as data: one type per section, with its one read and the writes
// its controls make. The section and key names stay in config/ConfigKeys.h, the rules for odd
// values in config/SettingValues.h; nobody else spells them. Nothing is cached: every Read goes
// to the file, so a click or a hotkey always sees what is stored now. A write touches only its
// own key, and a value read as something "made sound" is never written back that way.
#pragma once

#include "config/Catalogue.h"
#include "config/SettingValues.h"

#include <optional>
#include <string>

namespace velmora::config {

class ConfigStore;

// [rj] 热键开关: the global hotkeys.
struct HotkeySwitchSetting {
  Switch enabled = Switch::Unset;
  static HotkeySwitchSetting Read(const ConfigStore& store);
  static void Write(const ConfigStore& store, bool on);
};

// [更新] 开关: rebuild at every start, or only when the program moved.
struct AutoRebuildSetting {
  Switch automatic = Switch::Unset;
  static AutoRebuildSetting Read(const ConfigStore& store);
  static void Write(const ConfigStore& store, bool automatic);
};

// [键盘] INFO: where the digit hotkeys are.
struct KeyboardSetting {
  DigitKeys shown = DigitKeys::None;       // what the settings window checks
  DigitKeys registered = DigitKeys::Main;  // what the hotkeys register
  static KeyboardSetting Read(const ConfigStore& store);
  static void Write(const ConfigStore& store, DigitKeys keys);  // Main or Keypad
};

// [再按停止] 开关: a second press of the sounding effect stops it (missing or odd: off).
struct PressAgainSetting {
  bool on = false;
  static PressAgainSetting Read(const ConfigStore& store);
  static void Write(const ConfigStore& store, bool on);
};

// [均衡] 开关: even loudness (missing or odd: off).
struct LevelingSetting {
  bool on = false;
  static LevelingSetting Read(const ConfigStore& store);
  static void Write(const ConfigStore& store, bool on);
};

// [idv] v: the board's volume.
struct BoardVolumeSetting {
  int level = kMaxLevel;  // as ParseBoardVolume reads it
  static BoardVolumeSetting Read(const ConfigStore& store);
  static void Write(const ConfigStore& store, int level);
};

// The three sections that store a device: the output device [id], the monitor [监听] and the
// microphone [麦克风]. Each keeps the number as the lists show it and, beside it, the endpoint
// ID chosen last, which wins when the numbers moved.
enum class DeviceSection { Output, Monitor, Microphone };

// [id] id and endpoint: the output device.
struct OutputDeviceSetting {
  int device = 0;  // as stored: the number's reading, 0 when missing
  std::wstring endpoint;
  static OutputDeviceSetting Read(const ConfigStore& store);
  static void WriteDevice(const ConfigStore& store, int device);
  static void WriteEndpoint(const ConfigStore& store, const std::wstring& endpoint);
};

// The device number of any of the three sections, rewritten when its endpoint moved.
void WriteDeviceNumber(const ConfigStore& store, DeviceSection section, int device);

// [监听] and [麦克风]: 开关 (missing or odd: off), id (ParseRouteDevice), endpoint, v
// (ParseRouteLevel).
struct RouteSetting {
  bool on = false;
  int device = 1;
  std::wstring endpoint;
  int level = kMaxLevel;
  static RouteSetting Read(const ConfigStore& store, DeviceSection section);
  static void WriteOn(const ConfigStore& store, DeviceSection section, bool on);
  // A pick from a list: 开关 on, id and endpoint.
  static void WriteDevice(const ConfigStore& store, DeviceSection section, int device, const std::wstring& endpoint);
  static void WriteLevel(const ConfigStore& store, DeviceSection section, int level);
};

// [麦克风] beside the route: 监听 (the voice to the monitor too; missing or odd: no) and 闪避.
struct MicSetting : RouteSetting {
  bool toMonitor = false;
  int duckingDb = 0;
  static MicSetting Read(const ConfigStore& store);
  static void WriteToMonitor(const ConfigStore& store, bool on);
  static void WriteDucking(const ConfigStore& store, int db);
};

// [遥控]: 开关, 端口, 局域网 (switches: missing or odd is off), 令牌.
struct RemoteSetting {
  bool on = false;
  int port = kDefaultPort;
  bool lan = false;
  std::string token;  // as stored, non-ASCII characters as '?'; may be malformed
  static RemoteSetting Read(const ConfigStore& store);
  static void WriteOn(const ConfigStore& store, bool on);
  static void WritePort(const ConfigStore& store, int port);
  static void WriteLan(const ConfigStore& store, bool on);
  // False when the file did not take it (read back differently): the old code is still in force.
  static bool WriteToken(const ConfigStore& store, const std::string& token);
};

// One effect slot's texts: caption, sound file and hotkey name, in its category's sections.
struct SlotTexts {
  std::wstring caption;
  std::wstring path;
  std::wstring hotkey;
  static SlotTexts Read(const ConfigStore& store, EffectSlot slot);
};
std::wstring ReadSlotPath(const ConfigStore& store, EffectSlot slot);
std::wstring ReadSlotHotkey(const ConfigStore& store, int category, int index);
void WriteSlotCaption(const ConfigStore& store, EffectSlot slot, const std::wstring& caption);
void WriteSlotPath(const ConfigStore& store, EffectSlot slot, const std::wstring& path);
void WriteSlotHotkey(const ConfigStore& store, EffectSlot slot, const std::wstring& name);

// [快捷键]: hotkey name -> the file it plays ("无" or empty: none).
std::wstring ReadHotkeyFile(const ConfigStore& store, const std::wstring& name);
void WriteHotkeyFile(const ConfigStore& store, const std::wstring& name, const std::wstring& path);
// Whether a hotkey name or a [快捷键] value means "nothing" (kNoHotkey).
bool IsNoHotkey(const std::wstring& text);

}  // namespace velmora::config
