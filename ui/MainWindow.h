// The effect board: a borderless 724 x 478 window whose controls are drawn by our own code from
// the tables in MainLayout.h. Everything is painted into one back buffer, so nothing flickers
// while the marquee moves.
#pragma once

#include "base/Handles.h"
#include "config/Captions.h"
#include "playback/Playback.h"
#include "ui/MainLayout.h"
#include "ui/Marquee.h"
#include "ui/controls/ControlPaint.h"
#include "ui/controls/PaintedWindow.h"

#include <shellapi.h>

#include <array>
#include <string>
#include <vector>

namespace velmora::ui {

// What the board's controls ask the rest of the program to do.
class BoardActions {
 public:
  virtual ~BoardActions() = default;
  virtual void PlayEffect(config::EffectSlot slot) = 0;
  // Right button pressed on an effect button: the effect editor opens here.
  virtual void EditEffect(config::EffectSlot slot) = 0;
  // Files or folders dropped from Explorer on an effect button of the page shown (full long
  // paths, in the order the shell lists them).
  virtual void DropFiles(config::EffectSlot slot, std::vector<std::wstring> paths) = 0;
  virtual void StopPlayback() = 0;
  virtual void StepVolume(int delta) = 0;
  virtual void OpenOutputSettings() = 0;
  // Hands a link to the shell's "open" verb; nothing is reported when no handler opens it.
  virtual void OpenLink(const wchar_t* url) = 0;
  // The board is being destroyed (closed by 关闭, Esc or the program's end).
  virtual void BoardDestroyed() {}
  // Messages the board does not handle itself (the tray icon's reports, menu commands,
  // activation): true when handled, with the result in `result`.
  virtual bool BoardMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) {
    (void)message, (void)wParam, (void)lParam, (void)result;
    return false;
  }
};

class MainWindow final : public PaintedWindow, public config::CaptionHolder, public playback::VolumeLevelHolder {
 public:
  static constexpr UINT_PTR kSlideInTimer = 1;   // 时钟1
  static constexpr UINT_PTR kSlideOutTimer = 2;  // 时钟2
  static constexpr UINT_PTR kRestTimer = 3;      // the 2.5 s rest, a timer rather than a wait

  explicit MainWindow(BoardActions& actions);
  ~MainWindow() override;

  // Creates the window, centred and hidden; the marquee starts.
  bool Create();

  // config::CaptionHolder: the 100 effect buttons' captions.
  void SetCaption(config::EffectSlot slot, const std::wstring& caption) override;
  std::wstring Caption(config::EffectSlot slot) const override;

  // playback::VolumeLevelHolder: the hidden slider 滑块条1 (range 1..100) holds the level.
  int Level() const override;
  void SetLevel(int level) override;

  int CurrentPage() const { return page_; }
  Colour TitleBack(int page) const;
  const Marquee& MarqueeState() const { return marquee_; }
  const DpiScale& Scale() const { return scale_; }
  // The control at a client point (device pixels), for tests and hit-testing; -1 = none.
  int ControlAt(int x, int y, config::EffectSlot* slot) const;
  std::wstring StopTooltip() const { return stopTooltip_; }

 protected:
  LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) noexcept override;

 private:
  // A hit: one of the window's controls, or an effect button of the current page.
  struct Hit {
    int control = -1;  // MainControl, or kEffectButtonHit
    int button = -1;   // index into EffectButtons()
    bool operator==(const Hit&) const = default;
  };
  static constexpr int kEffectButtonHit = 1000;

  Hit HitTest(int x, int y) const;
  RECT HitRect(const Hit& hit) const;
  void Invalidate(const Hit& hit);
  void Paint(HDC dc) override;
  Colours ColoursFor(const Hit& hit, const ControlDesign& design) const;

  void OnMouseMove(int x, int y);
  void OnLeftDown(int x, int y);
  void OnLeftUp(int x, int y);
  void OnRightDown(int x, int y);
  void AcceptDroppedFiles();
  void OnDropFiles(HDROP drop);
  void OnClicked(const Hit& hit);
  void SelectPage(MainControl title);
  void OnTimer(UINT_PTR id);
  void SetPointerShape();  // a hand over a link
  void OnDpiChanged(UINT dpi, const RECT& suggested);
  void OnDestroy();
  void ApplyDpi(UINT dpi);
  void CreateSlider();
  void CreateTooltip();

  BoardActions& actions_;
  DpiScale scale_;
  FontCache fonts_;
  Marquee marquee_;
  int page_ = 0;
  std::array<Colour, 4> titleBacks_{};
  std::array<std::wstring, kEffectButtonCount> captions_;
  Hit hover_;
  Hit pressed_;
  Hit focused_;
  bool trackingLeave_ = false;
  HWND slider_ = nullptr;
  HWND tooltip_ = nullptr;
  std::wstring stopTooltip_;
  UniqueIcon icon_;
};

}  // namespace velmora::ui
