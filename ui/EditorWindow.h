// The effect editor: one slot's caption, sound file, hotkey and its own volume. Not modal; one
// editor at a time, and a right-click on another effect button while it is open switches it to
// that slot.
#pragma once

#include "config/Catalogue.h"
#include "ui/controls/ControlPaint.h"
#include "ui/controls/ScaledWindow.h"

#include <array>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace velmora::config {
class ConfigStore;
}
namespace velmora::hotkeys {
class ConflictReporter;
}

namespace velmora::ui {

class EditorHost;

class EditorWindow final : public ScaledWindow {
 public:
  static constexpr wchar_t kClassName[] = L"VelmoraEditor";
  static constexpr wchar_t kTitle[] = L"音效设置";
  enum ControlId : int {
    kCaptionEdit = 101,
    kHotkeyCombo,
    kSaveButton,
    kPathEdit,
    kChooseButton,
    kLabel1,
    kLabel2,
    kLabel3,
    kVolumeLabel,  // "音效音量:" and the level
    kVolume        // trackbar 1..100, the slot's own volume
  };
  // In the hotkey list, a name the system refused to register (another program holds the key)
  // shows this after it; the item's text, which is what gets stored, stays the bare name.
  static constexpr wchar_t kRefusedMark[] = L"（被占用）";

  // Where the skin engine takes the window and its three labels over; true when it did. Without
  // a skin the editor paints a plain look of its own.
  using SkinHook = std::function<bool(HWND window, const std::array<HWND, 4>& labels)>;
  // The hotkey names the system refused, asked each time the list is drawn.
  using RefusedNames = std::function<std::vector<std::wstring>()>;
  // What the list shows for item `item`: the name, marked when it was refused.
  std::wstring ListItemLabel(int item) const;

  config::EffectSlot Slot() const { return slot_; }
  const std::wstring& PreviousHotkeyName() const { return previousHotkey_; }
  HWND Control(ControlId id) const { return ::GetDlgItem(Hwnd(), id); }

  void SaveEffectSlot();
  // Shows the open-file dialog; a chosen file sets the path and the caption.
  void ChooseSoundFile();
  // What a chosen file does to the fields (the dialog's part done).
  void UseChosenFile(const std::wstring& path);

 protected:
  LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) noexcept override;

 private:
  friend class EditorHost;
  EditorWindow(const EditorHost& host, const config::ConfigStore& store, hotkeys::ConflictReporter& reporter)
      : host_(host), store_(store), reporter_(reporter) {}
  bool Create(HWND owner);
  void CreateControls();
  void OnCreate();
  bool OnCommand(int id, int code);  // true when the command was the editor's
  void CheckPickedHotkey();
  void Fill();
  std::wstring Text(ControlId id) const;
  int VolumeLevel() const;
  void ShowVolumeLevel();
  void DrawListItem(const DRAWITEMSTRUCT& item) const;
  void Paint(HDC dc) override;
  RECT CloseRect() const;
  LRESULT HitTest(LPARAM lParam) const;

  const EditorHost& host_;
  const config::ConfigStore& store_;
  hotkeys::ConflictReporter& reporter_;
  std::function<void()> saved_;
  config::EffectSlot slot_{};
  std::wstring previousHotkey_;
  UniqueBrush background_;
  ButtonHover closeHover_;
  bool skinned_ = false;  // the skin paints the window and its caption buttons close it
  int busy_ = 0;          // handlers of this window on the stack
};

// The one effect editor: its owner opens it, or switches the open one to another slot. An editor
// closed while one of its handlers still runs (a message box of its own is open) is kept until
// that handler has returned.
class EditorHost {
 public:
  EditorHost() = default;
  ~EditorHost();
  EditorHost(const EditorHost&) = delete;
  EditorHost& operator=(const EditorHost&) = delete;

  void SetSkinHook(EditorWindow::SkinHook hook) { skinHook_ = std::move(hook); }
  void SetRefusedNames(EditorWindow::RefusedNames names) { refusedNames_ = std::move(names); }

  // Opens the editor for `slot` (owned by `owner`), or switches the open one to it.
  // `saved` runs after a save (the board reloads its captions).
  EditorWindow* Open(config::EffectSlot slot, const config::ConfigStore& store, HWND owner,
                     hotkeys::ConflictReporter& reporter, std::function<void()> saved);
  EditorWindow* Current() const;
  // Something other than the editor (files dropped on the board) rewrote these slots. An open
  // editor showing one of them is filled again from the configuration, as when it is switched to
  // a slot, so that its 注册热键 cannot later write the old fields over the new file. Closing it
  // would lose the same unsaved typing and take the window from under the user's pointer.
  void SlotsRewritten(const std::vector<config::EffectSlot>& slots);

 private:
  friend class EditorWindow;
  std::unique_ptr<EditorWindow> editor_;
  std::vector<std::unique_ptr<EditorWindow>> retired_;
  EditorWindow::SkinHook skinHook_;
  EditorWindow::RefusedNames refusedNames_;
};

}  // namespace velmora::ui
