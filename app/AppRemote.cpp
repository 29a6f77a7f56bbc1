// The application's side of the remote control: what it may ask of the board, answered on the
// UI thread through the same functions a click, a hotkey, the stop and the volume buttons use,
// and the board's changes told to it.
#include "app/App.h"

#include "config/Catalogue.h"
#include "config/ConfigKeys.h"
#include "config/SlotVolume.h"
#include "hotkeys/HotkeyTable.h"
#include "playback/Microphone.h"
#include "playback/Monitor.h"
#include "ui/MainLayout.h"

namespace velmora::app {

namespace {

// A Windows colour (0x00BBGGRR) as 0xRRGGBB.
uint32_t Rgb(ui::Colour colour) { return ((colour & 0xFFu) << 16) | (colour & 0xFF00u) | ((colour >> 16) & 0xFFu); }

// What the remote control hears of a play on the click or the hotkey road.
remote::PlayOutcome Outcome(playback::PlayResult result) {
  switch (result) {
    case playback::PlayResult::Played:
      return remote::PlayOutcome::Played;
    case playback::PlayResult::NoFile:
      return remote::PlayOutcome::NoFile;
    case playback::PlayResult::Stopped:
      return remote::PlayOutcome::Stopped;
    case playback::PlayResult::Failed:
      break;
  }
  return remote::PlayOutcome::Failed;
}

}  // namespace

playback::PlayResult App::PlayFromBoard(config::EffectSlot slot) {
  const playback::PlayResult result = playback_.PlayEffect(slot.category, slot.index);
  // Nothing happened, or nothing plays: no event.
  if (result == playback::PlayResult::NoFile || result == playback::PlayResult::Failed) return result;
  if (result == playback::PlayResult::Stopped) {
    NotifyRemote(remote::BoardEvent::Stop);
    return result;
  }
  lastSlot_ = slot;
  lastHotkeyFile_.clear();
  NotifyRemote(remote::BoardEvent::Play);
  return result;
}

playback::PlayResult App::PlayFromHotkey(const std::wstring& path, int slotLevel) {
  const playback::PlayResult result = playback_.PlayHotkeyFile(path, slotLevel);
  if (result == playback::PlayResult::Failed) return result;
  if (result == playback::PlayResult::Stopped) {
    NotifyRemote(remote::BoardEvent::Stop);
    return result;
  }
  lastSlot_ = {};
  lastHotkeyFile_ = path;
  NotifyRemote(remote::BoardEvent::Play);
  return result;
}


void App::NotifyRemote(remote::BoardEvent event) {
  remote_.Notify(event, [this] { return State(); });
}

remote::RemoteStatus App::RestartRemote() { return remote_.Apply(store_); }

remote::BoardView App::Slots() {
  remote::BoardView view;
  for (int category = 1; category <= config::kCategoryCount; ++category)
    view.pages[static_cast<size_t>(category - 1)] = config::Category(category).folder;
  view.slots.reserve(config::kSlotCount);
  for (const ui::EffectButtonDesign& button : ui::EffectButtons()) {
    const config::CategoryInfo& category = config::Category(button.slot.category);
    const std::wstring key = config::SlotKey(button.slot.index);
    remote::SlotView slot;
    slot.category = button.slot.category;
    slot.index = button.slot.index;
    slot.caption = board_.Caption(button.slot);
    slot.hasFile = !store_.ReadValue(category.pathSection, key).empty();
    slot.hotkey = store_.ReadValue(category.hotkeySection, key);
    if (slot.hotkey == config::kNoHotkey) slot.hotkey.clear();
    slot.colour = Rgb(button.back);
    view.slots.push_back(std::move(slot));
  }
  return view;
}

remote::BoardState App::State() {
  if (!lastHotkeyFile_.empty()) {
    // The slot whose file a hotkey played, found once when first asked for.
    for (int ordinal = 0; ordinal < config::kSlotCount && lastSlot_.category == 0; ++ordinal) {
      const config::EffectSlot slot = config::SlotFromOrdinal(ordinal);
      if (store_.ReadValue(config::Category(slot.category).pathSection, config::SlotKey(slot.index)) == lastHotkeyFile_)
        lastSlot_ = slot;
    }
    lastHotkeyFile_.clear();
  }
  remote::BoardState state;
  state.playing = playback_.Sounding();
  state.lastCategory = lastSlot_.category;
  state.lastIndex = lastSlot_.index;
  state.volume = playback_.VolumeLevel();
  state.monitor = playback::ReadMonitorSetting(store_).on;
  state.microphone = playback::ReadMicSetting(store_).on;
  return state;
}

remote::PlayOutcome App::PlaySlot(int category, int index) {
  const config::EffectSlot slot{category, index};
  if (!config::IsValidSlot(slot)) return remote::PlayOutcome::NoSuchSlot;
  const playback::MessageBoxReporter::Quiet quiet(reporter_);  // the client hears of a failure
  return Outcome(PlayFromBoard(slot));
}

remote::PlayOutcome App::PlayHotkey(const std::wstring& name) {
  if (!hotkeys::IsHostHotkeyName(name)) return remote::PlayOutcome::NoSuchHotkey;
  // As HotkeyHost::DispatchHotkey reads it: at the moment of the press.
  const std::wstring path = store_.ReadValue(config::kHotkeyPathSection, name);
  if (path.empty() || path == config::kNoHotkey) return remote::PlayOutcome::NoFile;
  const playback::MessageBoxReporter::Quiet quiet(reporter_);  // the client hears of a failure
  return Outcome(PlayFromHotkey(path, config::ReadHotkeyLevel(store_, name)));
}

void App::SetVolumeLevel(int level) {
  playback_.ApplyVolume(level);
  NotifyRemote(remote::BoardEvent::Volume);
}

}  // namespace velmora::app
