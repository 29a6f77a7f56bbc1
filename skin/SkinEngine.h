// The skin engine: takes over a top-level window and the standard controls in it and paints
// them itself with GDI+ onto memory surfaces, with a caption strip of its own. One engine serves
// the whole process. It subclasses the windows with comctl32's subclass helper: the frame's
// procedure is handed the engine, a control's procedure the control's record (which leads to its
// window and the engine). Everything here runs on the UI thread.
#pragma once

#include "base/Gdi.h"

#include "skin/Gdip.h"
#include "skin/SkinGeometry.h"

#include <windows.h>
#include <commctrl.h>

#include <array>
#include <deque>
#include <list>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace velmora::skin {

class SkinEngine;
struct SkinnedWindow;

// The one subclass id the engine's procedures are installed under.
inline constexpr UINT_PTR kSubclassId = 0x534B;

// One of the engine's procedures installed on a window (comctl32's subclass helper) and taken off
// again when this ends, so no procedure of ours outlives the record it was handed. A window that
// is already gone has dropped it itself.
class WindowSubclass {
 public:
  WindowSubclass() = default;
  ~WindowSubclass() { Remove(); }
  WindowSubclass(const WindowSubclass&) = delete;
  WindowSubclass& operator=(const WindowSubclass&) = delete;

  // Puts `procedure` in front of the window's, handed `data`; returns the procedure the window
  // had before.
  WNDPROC Install(HWND hwnd, SUBCLASSPROC procedure, const void* data);
  void Remove() noexcept;

 private:
  HWND hwnd_ = nullptr;
  SUBCLASSPROC procedure_ = nullptr;
};

// The engine's own pictures, carried as resources of the executable.
enum class Glyph : int {
  Minimise,
  Maximise,
  Restore,
  Close,
  Menu,
  Help,
  CheckEmpty,
  CheckTicked,
  ArrowDown,
  ArrowUp,
  ArrowLeft,
  ArrowRight,
  kCount
};

struct CaptionButton {
  int width = 26, height = 18;
  Glyph picture = Glyph::Close;
  std::optional<Glyph> secondPicture;  // the maximise button's restore glyph
  int kind = kCloseButton;
  std::wstring tooltip;
  FloatRect rect;
};

// The class lists of skinned controls, in the order the painters are installed.
enum ControlList : int { kButtons, kEdits, kLists, kCombos, kSliders, kProgressBars, kUpDowns, kHeaders, kListCount };

// Which kind of control is the window's hot one (shared hover bookkeeping of the painters).
enum HotClass : int { kHotButton = 0, kHotEdit = 1, kHotList = 2, kHotCombo = 3, kHotOther = 4 };

struct ControlRecord {
  HWND hwnd = nullptr;
  SkinnedWindow* owner = nullptr;  // the skinned window whose tables hold this record
  WNDPROC previous = nullptr;      // the control's procedure before the engine's
  int kind = 0;                    // buttons: 0 push button, 4 radio button, 5 check box
  std::wstring caption;
  bool focused = false;
  bool isCheckBox = false, isRadio = false;
  int checkState = 0;
  std::wstring fontFace;
  float fontSize = 12;
  int fontStyle = 0;
  bool hot = false;
  bool buttonDown = false;  // edits: left button held; up-downs and headers: pressed
  int hotPart = 0;          // up-downs: 1 first half, 2 second half; headers: hot item + 1
  WindowSubclass subclass;  // the painter's procedure, handed this record
  // Edits: a brush handed out for colour messages and the bitmap it paints with; they go with
  // the edit (none in this program so far).
  UniqueBrush brush;
  UniqueBitmap brushBitmap;
};

struct TransparentControl {
  HWND hwnd = nullptr;
  SkinnedWindow* owner = nullptr;
  WNDPROC previous = nullptr;
  COLORREF key = 0;
  WindowSubclass subclass;  // the engine's procedure, handed this record
};

struct FadeRecord {
  int button = 0;  // 1-based, 0 for none
  int step = 0;
};

struct SkinOptions {
  int captionHeight = kMinCaptionHeight;
  bool captionEnabled = true;
  bool resizable = true;
  bool helpButton = false;
  bool menuButton = false;
  bool captionText = true;
  bool glossyBand = false;
  Picture picture;  // encoded background picture; empty for none
  int backgroundMode = 0;
};

struct SkinnedWindow {
  SkinnedWindow() = default;
  SkinnedWindow(const SkinnedWindow&) = delete;
  SkinnedWindow& operator=(const SkinnedWindow&) = delete;

  HWND hwnd = nullptr;
  SkinEngine* engine = nullptr;  // the engine that skinned it
  int captionHeight = kMinCaptionHeight;
  bool helpButton = false, menuButton = false, minimiseBox = false, maximiseBox = false, closeButton = true;
  bool captionText = true, glossyBand = false;
  WNDPROC previous = nullptr;
  WindowSubclass subclass;  // the frame's procedure, handed the engine

  Picture picture;
  std::unique_ptr<Gdiplus::Bitmap> decodedPicture;  // the picture above, decoded once
  int backgroundMode = 0;
  Gdiplus::ARGB averageColour = 0;

  std::vector<CaptionButton> buttons;
  int blockX = 0, blockY = 0, blockWidth = 0, blockHeight = kCaptionBlockHeight;

  bool maximised = false, minimised = false;
  SIZE minTrack{200, 150}, maxTrack{};
  bool resizable = true, captionEnabled = true;

  COLORREF captionColour = 0xFFFFFF, outlineColour = 0x808080;
  std::wstring captionFace = L"宋体";
  float captionSize = 12;
  int captionStyle = 1;  // bold

  int hovered = 0;
  FadeRecord fadeIn, fadeOut;
  bool timerRunning = false, mouseInside = false;
  HWND tooltip = nullptr;

  bool fullRepaint = false;
  // The composed window, copied to the screen from here; made anew at each full repaint.
  ArgbSurface backBuffer;
  // Copies of the composed background, to restore what lies under a caption button or the title.
  std::array<ArgbSurface, 2> caches;

  // Deques: a control's procedure holds its record's address, which must not move as the
  // tables grow.
  std::array<std::deque<ControlRecord>, kListCount> controls;
  std::deque<TransparentControl> transparent;

  // The painters' hover bookkeeping: one hot control per window.
  HWND hotControl = nullptr;
  HWND candidateHot = nullptr;
  int hotClass = kHotButton;
  HWND hotEditParent = nullptr;
};

class SkinEngine {
 public:
  // Module start: GDI+, the application icon, the process-wide settings, the one engine.
  // False when GDI+ does not start; the program then runs with plain windows.
  static bool Start();
  // Module end: the icon destroyed and GDI+ shut down. Safe to call twice.
  static void End();
  static SkinEngine* Instance();

  // Process-wide settings.
  static constexpr COLORREF kThemeColour = 0xDDCA22;
  static constexpr BYTE kVeilAlpha = 160;
  COLORREF ThemeColour() const { return kThemeColour; }
  COLORREF FaceColour() const { return faceColour_; }
  bool SliderFrame() const { return true; }
  HICON AppIcon() const { return appIcon_.Get(); }

  // Skins a top-level window and its direct child controls. A window already skinned is left
  // as it is.
  void SkinWindow(HWND window, const SkinOptions& options = {});
  // Paints a control of a skinned window over its background, the key colour (the face colour
  // when absent) left out.
  void MakeTransparent(HWND control, std::optional<COLORREF> keyColour = {});

  // The window table: 1-based indexes, 0 for none.
  int WindowCount() const { return static_cast<int>(windows_.size()); }
  SkinnedWindow* WindowAt(int index);
  int IndexOf(HWND window) const;
  int FindOwnerWindow(HWND control) const;
  // The record of a skinned control of that list (found through its properties), or null.
  ControlRecord* RecordOf(HWND control, ControlList list);
  SkinnedWindow* OwnerOf(HWND control);

  // A w × h surface holding what the owner's back buffer shows behind `rect` of the control
  // (client coordinates of the control; window coordinates when `windowRect`).
  HDC ComposeBackground(HWND control, const RECT& rect, bool windowRect = false);
  void ReleaseSurface(HDC surface);
  size_t SurfaceCount() const { return surfaces_.size(); }

  Gdiplus::Bitmap* GlyphPicture(Glyph glyph);

  // The frame (FrameProcedure and what it calls).
  void RepaintFrame(int index, bool toScreen);
  void BlitFrame(int index);
  void LayoutCaptionButtons(int index);
  int HitTestCaptionButton(int index, int x, int y);
  void DrawCaptionButton(int index, int button, bool fromBuffer, bool pressed, int alpha);
  void DrawCaption(int index, bool keepBackground, const std::wstring* text);
  void CaptionButtonAction(int index, int button);
  void BeginResizeOrDrag(int index, POINT point, const RECT& client);
  void UpdateResizeCursor(int index, POINT point, const RECT& client);
  int FindMaximiseButton(int index);
  int PressedCaptionButton() const { return pressedButton_; }

  // Passes a message to the procedure a control or window had before the engine.
  static LRESULT CallPrevious(WNDPROC previous, HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);

  ~SkinEngine();
  SkinEngine(const SkinEngine&) = delete;
  SkinEngine& operator=(const SkinEngine&) = delete;

 private:
  SkinEngine() = default;
  static LRESULT CALLBACK FrameProcedure(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR id,
                                         DWORD_PTR engine) noexcept;
  static LRESULT CALLBACK TransparentProcedure(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR id,
                                               DWORD_PTR record) noexcept;
  LRESULT Transparent(TransparentControl& control, HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
  void PaintThroughSurface(HWND hwnd, COLORREF key);
  LRESULT PaintLifted(HWND hwnd, COLORREF key, UINT message, WPARAM wParam, LPARAM lParam);
  // The frame's messages (Frame.cpp), one handler each.
  LRESULT Frame(int index, HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
  void OnSize(SkinnedWindow& w);
  void OnSetText(int index, SkinnedWindow& w, LPARAM text);
  void OnPaint(int index, SkinnedWindow& w);
  void OnShowWindow(int index, SkinnedWindow& w, WPARAM shown);
  void OnSysCommand(SkinnedWindow& w, WPARAM command);
  void OnGetMinMaxInfo(SkinnedWindow& w, MINMAXINFO& info);
  void OnWindowPosChanged(int index, SkinnedWindow& w);
  void OnDrawItem(const DRAWITEMSTRUCT* item);
  void OnNotify(const NMHDR* header);
  void OnMouseMove(int index, SkinnedWindow& w, POINT point);
  void OnMouseLeave(int index, SkinnedWindow& w);
  void OnLeftButtonDown(int index, SkinnedWindow& w, POINT point);
  void OnLeftButtonUp(int index, SkinnedWindow& w);
  void OnDoubleClick(int index, SkinnedWindow& w, int y);
  void OnNcDestroy(int index, HWND hwnd);
  // The caption buttons' hover and fade (CaptionButtons.cpp).
  void TrackCaptionHover(int index, SkinnedWindow& w, POINT point);
  void EndCaptionHover(int index, SkinnedWindow& w);
  void StepCaptionFade(int index, SkinnedWindow& w);

  void InstallPainters(int index);
  void CleanUpWindow(int index);
  void Renumber();
  void DrawBackground(SkinnedWindow& w, Gdiplus::Graphics& g, int width, int height);
  void DrawBorder(Gdiplus::Graphics& g, int width, int height);
  void DrawSeparators(SkinnedWindow& w, Gdiplus::Graphics& g, int button);
  void RestoreFromCache(SkinnedWindow& w, int x, int y, int width, int height);
  void CopyToScreen(SkinnedWindow& w, int x, int y, int width, int height);

  std::unique_ptr<GdiplusSession> gdiplus_;
  UniqueIcon appIcon_;
  COLORREF faceColour_ = 0;
  bool firstResize_ = true;
  bool composing_ = false;  // inside RepaintFrame: draw into the back buffer only
  int pressedButton_ = 0;
  std::vector<std::unique_ptr<SkinnedWindow>> windows_;
  std::list<ArgbSurface> surfaces_;  // handed out by ComposeBackground until ReleaseSurface
  std::array<std::unique_ptr<Gdiplus::Bitmap>, static_cast<size_t>(Glyph::kCount)> glyphs_;
};

// A surface from ComposeBackground, handed back to the engine at the end of the scope.
class BackgroundSurface {
 public:
  BackgroundSurface(SkinEngine& engine, HWND control, const RECT& rect, bool windowRect = false)
      : engine_(engine), dc_(engine.ComposeBackground(control, rect, windowRect)) {}
  ~BackgroundSurface() {
    if (dc_) engine_.ReleaseSurface(dc_);
  }
  BackgroundSurface(const BackgroundSurface&) = delete;
  BackgroundSurface& operator=(const BackgroundSurface&) = delete;

  HDC Dc() const noexcept { return dc_; }
  explicit operator bool() const noexcept { return dc_ != nullptr; }

 private:
  SkinEngine& engine_;
  HDC dc_;
};

// Module start and end for the life of a scope (program entry, a test run).
class SkinModule {
 public:
  SkinModule() { SkinEngine::Start(); }
  ~SkinModule() { SkinEngine::End(); }
  SkinModule(const SkinModule&) = delete;
  SkinModule& operator=(const SkinModule&) = delete;
};

// Window properties, under the names the engine has always used.
namespace property {
inline constexpr wchar_t kIndex[] = L"Hw_lbID";      // window: its index; control: its list position
inline constexpr wchar_t kOwner[] = L"Hw_FuID";      // control: its window's index
inline constexpr wchar_t kPrevious[] = L"Hw_hProc";  // the procedure before the engine's
inline constexpr wchar_t kTransIndex[] = L"Kj_lbID";
inline constexpr wchar_t kTransOwner[] = L"Kj_FuID";
inline constexpr wchar_t kTransPrevious[] = L"Kj_hProc";
inline constexpr wchar_t kTextColour[] = L"Kj_Ztys";
inline constexpr wchar_t kBrush[] = L"Kj_dxjb";
inline constexpr wchar_t kBrushBitmap[] = L"Kj_wtjb";
inline constexpr wchar_t kKeptBitmap[] = L"Ck_Ycjdx";
inline constexpr wchar_t kBackBitmap[] = L"Ck_wtjbdx";
inline constexpr wchar_t kContainer[] = L"Mb_zpf";
}  // namespace property

// Where a painter's procedure starts: the record its subclass was installed with, the skinned
// window holding it and the engine.
struct PainterTarget {
  ControlRecord& record;
  SkinnedWindow& owner;
  SkinEngine& engine;
};
PainterTarget PainterTargetOf(DWORD_PTR record);

// The painters' shared hover bookkeeping on WM_MOUSEMOVE: asks for WM_MOUSELEAVE, makes the
// control the window's candidate, and is true when it has just become the window's hot control
// (of that class; for edit boxes also under that parent).
bool BecomeHot(SkinnedWindow& owner, HWND control, int hotClass);
// The pointer left `control`: it is no longer the hot one, unless another control already took
// over (a leave can come after the next control's first move, and must not undo it).
void LeaveHot(SkinnedWindow& owner, HWND control);

intptr_t GetIntProp(HWND hwnd, const wchar_t* name);
void SetIntProp(HWND hwnd, const wchar_t* name, intptr_t value);

}  // namespace velmora::skin
