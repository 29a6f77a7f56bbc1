// The hand-over from the server thread to the UI thread: a hidden message-only window of the UI
// thread takes each job as a posted message, carries it out through RemoteActions and hands the
// answer back. Neither side ever waits for the other.
#pragma once

#include "base/Window.h"
#include "remote/Protocol.h"

#include <atomic>
#include <functional>
#include <memory>

namespace velmora::remote {

// One command on its way to the UI thread. Finish runs there, with the answer; it only posts
// the answer on to the server thread.
class UiJob {
 public:
  explicit UiJob(Command command) : command_(std::move(command)) {}
  virtual ~UiJob() = default;
  const Command& GetCommand() const { return command_; }
  // False once the server that sent it has stopped: the job is then dropped unanswered.
  virtual bool Wanted() const = 0;
  virtual void Finish(Answer answer) = 0;

 private:
  Command command_;
};

class UiLink final : public Window {
 public:
  static constexpr wchar_t kClassName[] = L"VelmoraRemote";

  explicit UiLink(RemoteActions& actions) : actions_(actions) {}
  // Creates the window on the calling thread, which becomes the thread every job runs on.
  bool Create();
  // From any thread. False when the UI thread's queue does not take it (it is full); the job
  // is then dropped here.
  bool Post(std::unique_ptr<UiJob> job);

  // UI thread, after a play: from now on looks every kEndCheckMs whether the board still sounds
  // and, once it no longer does, calls `ended` with its state (once per WatchForEnd).
  static constexpr UINT kEndCheckMs = 50;
  void WatchForEnd();
  void StopWatching();
  void OnEnded(std::function<void(const BoardState&)> ended) { ended_ = std::move(ended); }

 protected:
  LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) noexcept override;

 private:
  RemoteActions& actions_;
  std::atomic<HWND> window_{nullptr};
  std::function<void(const BoardState&)> ended_;
};

}  // namespace velmora::remote
