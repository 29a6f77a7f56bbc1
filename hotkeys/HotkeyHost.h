// The hidden window that owns the global hotkeys while they are switched on, and the switch that
// owns it. There is never more than one host: asking for it while it exists gives the one there
// is.
#pragma once

#include "base/Window.h"
#include "hotkeys/HotkeyTable.h"

#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace velmora::config {
class ConfigStore;
}

namespace velmora::hotkeys {

// What a hotkey does.
class HotkeyActions {
 public:
  virtual ~HotkeyActions() = default;
  // The hotkey road: the file at `slotLevel` (1..100) of full volume, the level of the slot the
  // hotkey was assigned from.
  virtual void PlayFile(const std::wstring& path, int slotLevel) = 0;
  virtual void StopPlayback() = 0;
};

// What a hotkey name plays as stored now: its file and the level of the slot it was assigned
// from; nothing when the name plays no file. Read at every press, so an assignment made a moment
// ago works now; the remote control's hotkey request takes the same road.
struct HotkeyPlay {
  std::wstring path;
  int slotLevel = 100;
};
std::optional<HotkeyPlay> LookUpHotkey(const config::ConfigStore& store, const std::wstring& name);

class HotkeyHost final : public Window {
 public:
  static constexpr wchar_t kClassName[] = L"VelmoraHotkeyHost";

  struct Registration {
    HotkeyRow row;
    int identifier = 0;  // 0 when the platform refused the key
  };
  const std::vector<Registration>& Registrations() const { return registrations_; }
  // Names the platform refused (held by another program), for showing to the user later.
  std::vector<std::wstring> FailedNames() const;
  // The same as the user presses them: "F5", "1", "Alt+Q".
  std::vector<std::wstring> FailedKeys() const;
  // What a WM_HOTKEY with this identifier does.
  void DispatchHotkey(int identifier);
  // True from the start of the registrations until they have been released.
  bool Registered() const { return registered_; }

 protected:
  LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) noexcept override;

 private:
  friend class HotkeySwitch;
  HotkeyHost(const config::ConfigStore& store, HotkeyActions& actions) : store_(store), actions_(actions) {}
  // The window made and its hotkeys registered; null when the window could not be made.
  static std::unique_ptr<HotkeyHost> Make(const config::ConfigStore& store, HotkeyActions& actions, HWND owner);
  void RegisterAll();
  void UnregisterAll();

  const config::ConfigStore& store_;
  HotkeyActions& actions_;
  std::vector<Registration> registrations_;
  bool registered_ = false;
};

// The hotkeys switched on and off: the one owner of the host window.
class HotkeySwitch {
 public:
  HotkeySwitch(const config::ConfigStore& store, HotkeyActions& actions) : store_(store), actions_(actions) {}
  ~HotkeySwitch() { Unload(); }
  HotkeySwitch(const HotkeySwitch&) = delete;
  HotkeySwitch& operator=(const HotkeySwitch&) = delete;

  // Creates the host (registering every hotkey) unless one is loaded; returns the loaded one.
  HotkeyHost* Load(HWND owner);
  // Destroys the host (releasing its hotkeys) when one is loaded.
  void Unload();
  bool Loaded() const { return host_ && host_->Registered(); }
  HotkeyHost* Current() const { return host_ && host_->Hwnd() ? host_.get() : nullptr; }
  // The refused keys and names of the loaded host ("F5", "Alt+Q" / "F5", "Q"); none while off.
  std::vector<std::wstring> FailedKeys() const;
  std::vector<std::wstring> FailedNames() const;

 private:
  const config::ConfigStore& store_;
  HotkeyActions& actions_;
  std::unique_ptr<HotkeyHost> host_;
};

}  // namespace velmora::hotkeys
