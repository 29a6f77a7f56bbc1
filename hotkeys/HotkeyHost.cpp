#include "hotkeys/HotkeyHost.h"

#include "config/ConfigStore.h"
#include "config/Settings.h"
#include "config/SlotVolume.h"

#include <memory>

namespace velmora::hotkeys {

namespace {

int g_counter = kFirstIdentifier;  // one per process; never goes back

}  // namespace

std::optional<HotkeyPlay> LookUpHotkey(const config::ConfigStore& store, const std::wstring& name) {
  std::wstring path = config::ReadHotkeyFile(store, name);
  if (path.empty() || config::IsNoHotkey(path)) return std::nullopt;
  return HotkeyPlay{std::move(path), config::ReadHotkeyLevel(store, name)};
}

std::unique_ptr<HotkeyHost> HotkeyHost::Make(const config::ConfigStore& store, HotkeyActions& actions, HWND owner) {
  std::unique_ptr<HotkeyHost> host(new HotkeyHost(store, actions));
  RegisterClassOnce(kClassName, nullptr);
  // Hidden, borderless, 41 x 39, not on the taskbar.
  if (!host->Create(kClassName, L"", WS_POPUP, WS_EX_TOOLWINDOW, 0, 0, 41, 39, owner)) return nullptr;
  return host;
}

HotkeyHost* HotkeySwitch::Load(HWND owner) {
  if (HotkeyHost* host = Current()) return host;
  host_.reset();
  host_ = HotkeyHost::Make(store_, actions_, owner);
  return host_.get();
}

void HotkeySwitch::Unload() {
  if (!Loaded()) return;
  ::DestroyWindow(host_->Hwnd());  // its destruction releases the hotkeys
  host_.reset();
}

std::vector<std::wstring> HotkeySwitch::FailedKeys() const {
  const HotkeyHost* host = Current();
  return host ? host->FailedKeys() : std::vector<std::wstring>{};
}

std::vector<std::wstring> HotkeySwitch::FailedNames() const {
  const HotkeyHost* host = Current();
  return host ? host->FailedNames() : std::vector<std::wstring>{};
}

void HotkeyHost::RegisterAll() {
  registered_ = true;
  registrations_.clear();
  const config::DigitKeys digits = config::KeyboardSetting::Read(store_).registered;
  // When a second press stops the effect, a key held down must not stop and start it again at
  // the keyboard's repeat rate.
  const UINT noRepeat = config::PressAgainSetting::Read(store_).on ? MOD_NOREPEAT : 0;
  for (const HotkeyRow& row : HotkeyRows(digits)) {
    const int identifier = ++g_counter;  // a refused attempt still uses up its number
    const bool ok = ::RegisterHotKey(Hwnd(), identifier, row.modifiers | noRepeat, row.virtualKey) != FALSE;
    registrations_.push_back({row, ok ? identifier : 0});  // refused: nothing shown, the rest go on
  }
}

void HotkeyHost::UnregisterAll() {
  for (const Registration& registration : registrations_) {
    if (registration.identifier != 0) ::UnregisterHotKey(Hwnd(), registration.identifier);
  }
  registered_ = false;
}

std::vector<std::wstring> HotkeyHost::FailedNames() const {
  std::vector<std::wstring> names;
  for (const Registration& registration : registrations_) {
    if (registration.identifier == 0) names.push_back(registration.row.name);
  }
  return names;
}

std::vector<std::wstring> HotkeyHost::FailedKeys() const {
  std::vector<std::wstring> keys;
  for (const Registration& registration : registrations_) {
    if (registration.identifier == 0) keys.push_back(KeyText(registration.row));
  }
  return keys;
}

void HotkeyHost::DispatchHotkey(int identifier) {
  if (identifier == 0) return;
  for (const Registration& registration : registrations_) {
    if (registration.identifier != identifier) continue;
    if (registration.row.stops) {
      actions_.StopPlayback();
      return;
    }
    const std::optional<HotkeyPlay> play = LookUpHotkey(store_, registration.row.name);
    if (play) actions_.PlayFile(play->path, play->slotLevel);  // without one, whatever plays goes on
    return;
  }
}

LRESULT HotkeyHost::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) noexcept {
  switch (message) {
    case WM_CREATE:
      RegisterAll();
      return 0;
    case WM_HOTKEY:
      DispatchHotkey(static_cast<int>(wParam));
      return 0;
    case WM_DESTROY:
      UnregisterAll();
      return 0;
    default:
      return Window::HandleMessage(message, wParam, lParam);
  }
}

}  // namespace velmora::hotkeys
