#include "hotkeys/HotkeyHost.h"

#include "config/ConfigKeys.h"
#include "config/ConfigStore.h"
#include "config/SlotVolume.h"

#include <memory>

namespace velmora::hotkeys {

namespace {

int g_counter = kFirstIdentifier;  // one per process; never goes back
bool g_loaded = false;
std::unique_ptr<HotkeyHost> g_host;

}  // namespace

HotkeyHost* HotkeyHost::Load(const config::ConfigStore& store, HotkeyActions& actions, HWND owner) {
  if (g_host && g_host->Hwnd()) return g_host.get();
  g_host.reset(new HotkeyHost(store, actions));
  RegisterClassOnce(kClassName, nullptr);
  // Hidden, borderless, 41 x 39, not on the taskbar.
  if (!g_host->Create(kClassName, L"", WS_POPUP, WS_EX_TOOLWINDOW, 0, 0, 41, 39, owner)) {
    g_host.reset();
    return nullptr;
  }
  return g_host.get();
}

void HotkeyHost::Unload() {
  if (!g_loaded || !g_host) return;
  ::DestroyWindow(g_host->Hwnd());  // its destruction releases the hotkeys
  g_host.reset();
}

bool HotkeyHost::HostLoaded() { return g_loaded; }

HotkeyHost* HotkeyHost::Current() { return g_host && g_host->Hwnd() ? g_host.get() : nullptr; }

void HotkeyHost::RegisterAll() {
  g_loaded = true;
  registrations_.clear();
  const std::wstring keyboard = store_.ReadValue(config::kKeyboardSection, config::kKeyboardKey, config::kKeyboardMain);
  // When a second press stops the effect, a key held down must not stop and start it again at
  // the keyboard's repeat rate.
  const UINT noRepeat = store_.ReadValue(config::kPressAgainSection, config::kPressAgainKey) == config::kOn ? MOD_NOREPEAT : 0;
  for (const HotkeyRow& row : HotkeyRows(keyboard)) {
    const int identifier = ++g_counter;  // a refused attempt still uses up its number
    const bool ok = ::RegisterHotKey(Hwnd(), identifier, row.modifiers | noRepeat, row.virtualKey) != FALSE;
    registrations_.push_back({row, ok ? identifier : 0});  // refused: nothing shown, the rest go on
  }
}

void HotkeyHost::UnregisterAll() {
  for (const Registration& registration : registrations_) {
    if (registration.identifier != 0) ::UnregisterHotKey(Hwnd(), registration.identifier);
  }
  g_loaded = false;
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
    // Read at every press: an assignment made a moment ago works now.
    const std::wstring path = store_.ReadValue(config::kHotkeyPathSection, registration.row.name);
    if (path.empty() || path == config::kNoHotkey) return;  // whatever plays goes on
    actions_.PlayFile(path, config::ReadHotkeyLevel(store_, registration.row.name));
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
