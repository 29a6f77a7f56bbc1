// The remote control as the application holds it: the UI thread's link and the server, started,
// restarted and stopped as section 遥控 says.
#pragma once

#include "remote/RemoteActions.h"
#include "remote/RemoteSettings.h"
#include "remote/Server.h"
#include "remote/UiLink.h"

namespace velmora::config {
class ConfigStore;
}

namespace velmora::remote {

class RemoteControl {
 public:
  explicit RemoteControl(RemoteActions& actions) : link_(actions), server_(link_) {
    // An effect that plays to its end is a change the clients hear of too.
    link_.OnEnded([this](const BoardState& state) {
      if (server_.HasListeners()) server_.Notify(BoardEvent::Ended, state);
    });
  }

  // UI thread: starts the server with the stored setting (a running one is stopped first), or
  // only stops it when the setting is off. A port already taken is PortInUse, at once.
  RemoteStatus Apply(const config::ConfigStore& store);
  void Stop();
  RemoteStatus Status() const { return status_; }

  // UI thread, after the board changed: `state()` is asked only when a client listens.
  template <class StateFunction>
  void Notify(BoardEvent event, StateFunction&& state) {
    if (event == BoardEvent::Play && server_.Running()) link_.WatchForEnd();
    if (event == BoardEvent::Stop) link_.StopWatching();
    if (server_.HasListeners()) server_.Notify(event, state());
  }

 private:
  UiLink link_;
  Server server_;
  RemoteStatus status_ = RemoteStatus::Off;
};

}  // namespace velmora::remote
