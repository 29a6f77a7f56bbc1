#include "app/RemoteLink.h"

#include "app/RemoteSetup.h"
#include "config/Settings.h"
#include "remote/Lan.h"
#include "ui/MainLayout.h"

namespace velmora::app {

namespace {

// A Windows colour (0x00BBGGRR) as 0xRRGGBB.
uint32_t Rgb(ui::Colour colour) { return ((colour & 0xFFu) << 16) | (colour & 0xFF00u) | ((colour >> 16) & 0xFFu); }

ui::RemoteView ViewOf(remote::RemoteStatus status, const config::ConfigStore& store) {
  ui::RemoteView view;
  switch (status) {
    case remote::RemoteStatus::Off:
      view.state = ui::RemoteState::Off;
      break;
    case remote::RemoteStatus::PortInUse:
      view.state = ui::RemoteState::PortInUse;
      break;
    case remote::RemoteStatus::Failed:
      view.state = ui::RemoteState::Failed;
      break;
    case remote::RemoteStatus::Listening:
      view.state = ui::RemoteState::Listening;
      if (config::RemoteSetting::Read(store).lan) view.lanAddress = remote::FirstLanAddress();
      break;
  }
  return view;
}

}  // namespace

RemoteLink::RemoteLink(PlayRoads& roads, const playback::Playback& playback, const ui::MainWindow& board,
                       const config::ConfigStore& store)
    : roads_(roads), playback_(playback), board_(board), store_(store) {
  roads_.SetNotify([this](remote::BoardEvent event) { Notify(event); });
}

ui::RemoteView RemoteLink::Restart() { return ViewOf(ApplyRemoteSetting(control_, store_), store_); }

ui::RemoteView RemoteLink::Current() const { return ViewOf(control_.Status(), store_); }

void RemoteLink::Notify(remote::BoardEvent event) {
  control_.Notify(event, [this] { return State(); });
}

remote::BoardView RemoteLink::Slots() {
  remote::BoardView view;
  for (int category = 1; category <= config::kCategoryCount; ++category)
    view.pages[static_cast<size_t>(category - 1)] = config::Category(category).folder;
  view.slots.reserve(config::kSlotCount);
  for (const ui::EffectButtonDesign& button : ui::EffectButtons()) {
    remote::SlotView slot;
    slot.category = button.slot.category;
    slot.index = button.slot.index;
    slot.caption = board_.Caption(button.slot);
    slot.hasFile = !config::ReadSlotPath(store_, button.slot).empty();
    slot.hotkey = config::ReadSlotHotkey(store_, button.slot.category, button.slot.index);
    if (config::IsNoHotkey(slot.hotkey)) slot.hotkey.clear();
    slot.colour = Rgb(button.back);
    view.slots.push_back(std::move(slot));
  }
  return view;
}

remote::BoardState RemoteLink::State() {
  const config::EffectSlot last = roads_.LastSlot();
  remote::BoardState state;
  state.playing = playback_.Sounding();
  state.lastCategory = last.category;
  state.lastIndex = last.index;
  state.volume = playback_.VolumeLevel();
  state.monitor = config::RouteSetting::Read(store_, config::DeviceSection::Monitor).on;
  state.microphone = config::RouteSetting::Read(store_, config::DeviceSection::Microphone).on;
  return state;
}

remote::PlayOutcome RemoteLink::PlaySlot(int category, int index) { return roads_.PlaySlotForRemote(category, index); }

remote::PlayOutcome RemoteLink::PlayHotkey(const std::wstring& name) { return roads_.PlayHotkeyForRemote(name); }

}  // namespace velmora::app
