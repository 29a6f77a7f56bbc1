// The remote control as the application holds it: the UI thread's link and the server, started,
// restarted and stopped as the application's setting says.
#pragma once

#include "remote/RemoteActions.h"
#include "remote/Server.h"
#include "remote/UiLink.h"

namespace velmora::remote {

// What the remote control does.
enum class RemoteStatus { Off, Listening, PortInUse, Failed };

class RemoteControl {
 public:
  explicit RemoteControl(RemoteActions& actions) : link_(actions), server_(link_) {
    // An effect that plays to its end is a change the clients hear of too.
    link_.OnEnded([this](const BoardState& state) {
      if (server_.HasListeners()) server_.Notify(BoardEvent::Ended, state);
    });
  }

  // UI thread: starts the server with `settings` (a running one is stopped first). A port
  // already taken is PortInUse, at once.
  RemoteStatus Start(const ServerSettings& settings);
  // A failure to get the server ready (no code could be made): Failed, with nothing running.
  RemoteStatus Fail();
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
