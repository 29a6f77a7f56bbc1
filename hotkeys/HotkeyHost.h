// The hidden window that owns the global hotkeys while they are switched on. There is never
// more than one: asking for it while it exists gives the one there is.
#pragma once

#include "base/Window.h"
#include "hotkeys/HotkeyTable.h"

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

class HotkeyHost final : public Window {
 public:
  static constexpr wchar_t kClassName[] = L"VelmoraHotkeyHost";

  // Creates the host (registering every hotkey) unless one is loaded; returns the loaded one.
  static HotkeyHost* Load(const config::ConfigStore& store, HotkeyActions& actions, HWND owner);
  // Destroys the host (releasing its hotkeys) when one is loaded.
  static void Unload();
  // True from the start of the registrations until they have been released.
  static bool HostLoaded();
  static HotkeyHost* Current();

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

 protected:
  LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) noexcept override;

 private:
  HotkeyHost(const config::ConfigStore& store, HotkeyActions& actions) : store_(store), actions_(actions) {}
  void RegisterAll();
  void UnregisterAll();

  const config::ConfigStore& store_;
  HotkeyActions& actions_;
  std::vector<Registration> registrations_;
};

}  // namespace velmora::hotkeys
