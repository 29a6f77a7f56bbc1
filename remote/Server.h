// The remote control's HTTP and WebSocket server on a thread of its own. It parses, checks the
// Host header and the token, and posts every action to the UI thread through the UiLink; the
// answer goes out when the UI thread has acted. Boost stays inside Server.cpp.
#pragma once

#include "remote/RemoteActions.h"

#include <chrono>
#include <memory>
#include <string>
#include <thread>

namespace velmora::remote {

class UiLink;

enum class StartResult { Started, PortInUse, Failed };

struct ServerSettings {
  int port = 0;
  bool lan = false;   // every address of the machine, or 127.0.0.1 only
  std::string token;  // 32 lowercase hex digits
  // A connection that neither asks nor reads for this long is closed (a WebSocket client that
  // stops answering the pings sent meanwhile, too).
  std::chrono::milliseconds idleTimeout = std::chrono::seconds(30);
};

inline constexpr int kMaxConnections = 256;
inline constexpr size_t kMaxBodyBytes = 64 * 1024;

class Server {
 public:
  explicit Server(UiLink& link);
  ~Server();
  Server(const Server&) = delete;
  Server& operator=(const Server&) = delete;

  // UI thread. Stops a running server first; the port is bound before this returns, so a port
  // that is taken is known at once.
  StartResult Start(const ServerSettings& settings);
  // UI thread. Closes every connection and ends the thread; answers still on their way from the
  // UI thread are dropped.
  void Stop();
  bool Running() const { return core_ != nullptr; }
  // Whether a WebSocket client listens now (any thread; a hint, for skipping work).
  bool HasListeners() const;
  // UI thread: the event goes to every WebSocket client. Never waits.
  void Notify(BoardEvent event, const BoardState& state);

  struct Core;  // the server thread's state, inside Server.cpp

 private:
  UiLink& link_;
  std::shared_ptr<Core> core_;
  std::thread thread_;
};

}  // namespace velmora::remote
