// What the remote control may ask of the board, and what it hears back. The application
// implements RemoteActions; every call comes on the UI thread, handed over by a message, so the
// implementation acts exactly as a click, a hotkey, the stop button or the volume buttons do.
// Pure data: no Windows headers.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace velmora::remote {

struct SlotView {
  int category = 0;  // 1..4
  int index = 0;     // 1..the category's slot count
  std::wstring caption;
  bool hasFile = false;
  std::wstring hotkey;  // empty: none
  uint32_t colour = 0;  // the button's background, 0xRRGGBB
};

struct BoardView {
  std::array<std::wstring, 4> pages;  // the category names, page 1 first
  std::vector<SlotView> slots;        // board order
};

struct BoardState {
  bool playing = false;
  int lastCategory = 0;  // the slot played last; 0 = none (or a hotkey file of no slot)
  int lastIndex = 0;
  int volume = 0;  // 1..100
  bool monitor = false;
  bool microphone = false;
};

enum class PlayOutcome {
  Played,
  NoFile,  // an empty slot or an unassigned hotkey: nothing happens, as with a click
  Failed,  // the file did not open (the client is told; a remote play opens no message box)
  Stopped,  // pressed again while that effect sounded, with 再按停止 on: it stopped
  NoSuchSlot,
  NoSuchHotkey,
};

inline constexpr int kVolumeMin = 1;
inline constexpr int kVolumeMax = 100;

class RemoteActions {
 public:
  virtual ~RemoteActions() = default;
  virtual BoardView Slots() = 0;
  virtual BoardState State() = 0;
  // The click road.
  virtual PlayOutcome PlaySlot(int category, int index) = 0;
  // The hotkey road: the file stored for that hotkey name.
  virtual PlayOutcome PlayHotkey(const std::wstring& name) = 0;
  virtual void StopPlayback() = 0;
  virtual void StepVolume(int delta) = 0;
  // 1..100, applied and stored as the volume buttons store it.
  virtual void SetVolumeLevel(int level) = 0;
};

// What changed on the board, pushed to the WebSocket clients. Ended: the effect played to its end.
enum class BoardEvent { Play, Stop, Ended, Volume, Captions };

}  // namespace velmora::remote
