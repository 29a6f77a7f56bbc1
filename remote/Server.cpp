// The only translation unit that includes Boost.Beast: everything networked lives here.
#include "remote/Server.h"

#include "remote/Lan.h"
#include "remote/PhonePage.h"
#include "remote/Protocol.h"
#include "remote/Rules.h"
#include "remote/UiLink.h"

#include <boost/asio/dispatch.hpp>
#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/post.hpp>
#include <boost/asio/steady_timer.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/http.hpp>
#include <boost/beast/websocket.hpp>

#include <chrono>
#include <deque>
#include <future>
#include <mutex>
#include <vector>

namespace velmora::remote {

namespace {

namespace beast = boost::beast;
namespace http = beast::http;
namespace websocket = beast::websocket;
namespace net = boost::asio;
using tcp = net::ip::tcp;
using Request = http::request<http::string_body>;
using Response = http::response<http::string_body>;

constexpr auto kDrainTimeout = std::chrono::seconds(5);
// A client that has not shown the code yet must send a request's head whole within this time: a
// head sent a byte every few seconds holds no place for long. Each connection gets a deadline
// somewhere in the last second of it, so a crowd opened at once is not closed at once (and, when
// it comes straight back, does not arrive all at once again).
constexpr auto kHeadTimeout = std::chrono::seconds(5);
constexpr int kHeadTimeoutSpreadMs = 1000;
// After the system ran out of sockets or memory for an accept, the next one waits this long
// rather than spinning.
constexpr auto kAcceptBackoff = std::chrono::milliseconds(100);
// Accepts waiting on the listening socket at once. One accept at a time leaves the backlog
// waiting on each completion's round trip; while a crowd comes and goes, the host's new
// connection would queue behind all of them.
constexpr int kParallelAccepts = 8;
constexpr size_t kHeaderLimit = 16 * 1024;
constexpr size_t kDrainLimit = 1024 * 1024;
constexpr size_t kMaxQueuedEvents = 64;  // a WebSocket client further behind is dropped
constexpr int kMaxJobsPerSocket = 8;     // commands of one WebSocket client at the UI thread
// Connections past kMaxConnections that wait for their first head: only one that shows the code
// takes a stranger's place, so strangers cannot push each other out in an endless round.
constexpr int kMaxWaiting = 64;
constexpr auto kStopGrace = std::chrono::seconds(2);
constexpr char kServerName[] = "Velmora";

// Windows lets another program bind a more specific address on our port unless we take it
// exclusively.
using ExclusiveAddressUse = net::detail::socket_option::boolean<SOL_SOCKET, SO_EXCLUSIVEADDRUSE>;

// Something the shut-down must close, and that a full server may close to make room.
class Connection {
 public:
  virtual ~Connection() = default;
  virtual void Close() = 0;
  // Still open and no request on it has carried the code: a stranger's connection, the first
  // to go when the server is full (one already closed frees its place on its own).
  virtual bool Evictable() const = 0;
};

// Counts a connection against kMaxConnections for as long as it lives (it may die on the UI
// thread, when the job holding it is dropped there).
class Seat {
 public:
  explicit Seat(std::atomic<int>& count) : count_(&count) { ++*count_; }
  ~Seat() {
    if (count_) --*count_;
  }
  Seat(Seat&& other) noexcept : count_(std::exchange(other.count_, nullptr)) {}
  Seat(const Seat&) = delete;
  Seat& operator=(const Seat&) = delete;
  Seat& operator=(Seat&&) = delete;

 private:
  std::atomic<int>* count_;
};

class EventSocket;

}  // namespace

struct Server::Core : std::enable_shared_from_this<Server::Core> {
  Core(UiLink& uiLink, const ServerSettings& s) : link(uiLink), settings(s) {}

  net::io_context ioc{1};
  tcp::acceptor acceptor{ioc};
  UiLink& link;
  const ServerSettings settings;
  std::vector<std::string> hostNames;  // server thread only
  std::chrono::steady_clock::time_point namesRead;
  std::atomic<int> connections{0};
  std::atomic<int> waiting{0};
  std::atomic<int> listeners{0};
  unsigned accepted = 0;  // server thread only
  std::vector<std::weak_ptr<Connection>> open;      // server thread only
  std::vector<std::weak_ptr<EventSocket>> sockets;  // server thread only
  std::promise<void> finished;

  // Answers from the UI thread come in through here; once the server stops, nothing more is
  // posted, so no handler is left behind in a context nobody runs.
  std::mutex postMutex;
  bool posting = true;
  std::atomic<bool> wanted{true};

  template <class Handler>
  void PostFromOutside(Handler&& handler) {
    std::lock_guard<std::mutex> lock(postMutex);
    if (posting) net::post(ioc, std::forward<Handler>(handler));
  }

  bool HostAllowed(std::string_view host);
  void Track(const std::shared_ptr<Connection>& connection);
  // Closes the oldest connection that has not shown the code; false when there is none.
  bool EvictStranger();
  void Forget(const EventSocket* socket);
  void Accept();
  void OnAccept(beast::error_code ec, tcp::socket socket);
  void Broadcast(const std::shared_ptr<const std::string>& text);
  void ShutDown();
};

namespace {

std::vector<std::string> HostNames(bool lan) {
  std::vector<std::string> names{"127.0.0.1", "localhost"};
  if (lan) {
    for (std::string& address : LanAddresses()) names.push_back(std::move(address));
  }
  return names;
}

Response MakeResponse(const Answer& answer, unsigned version, bool keepAlive) {
  Response response{static_cast<http::status>(answer.status), version};
  response.set(http::field::server, kServerName);
  response.set(http::field::content_type, "application/json; charset=utf-8");
  response.set(http::field::cache_control, "no-store");
  response.set("X-Content-Type-Options", "nosniff");
  if (answer.status == 401) response.set(http::field::www_authenticate, "Bearer");
  response.body() = Serialise(answer.body);
  response.keep_alive(keepAlive);
  response.prepare_payload();
  return response;
}

// One HTTP connection: requests in order, each answered before the next is read.
class HttpSession final : public Connection, public std::enable_shared_from_this<HttpSession> {
 public:
  // A `waiting` session came when every place was taken: it holds none until it shows the code.
  HttpSession(std::shared_ptr<Server::Core> core, tcp::socket&& socket, bool waiting)
      : core_(std::move(core)), stream_(std::move(socket)), waiting_(waiting), serial_(core_->accepted++) {
    if (waiting_) {
      ++core_->waiting;
    } else {
      seat_.emplace(core_->connections);
    }
  }
  ~HttpSession() override {
    if (waiting_) --core_->waiting;
  }

  void Start() { Read(); }

  void Close() override {
    beast::error_code ignored;
    stream_.socket().close(ignored);
  }
  bool Evictable() const override { return !shownCode_ && stream_.socket().is_open(); }

  // The UI thread's answer, back on the server thread.
  void Answered(const Answer& answer) { Send(answer, keepAlive_, false); }

 private:
  class Job final : public UiJob {
   public:
    Job(Command command, std::shared_ptr<HttpSession> session)
        : UiJob(std::move(command)), session_(std::move(session)) {}
    bool Wanted() const override { return session_->core_->wanted.load(); }
    void Finish(Answer answer) override {
      auto core = session_->core_;
      core->PostFromOutside([session = std::move(session_), answer = std::move(answer)] { session->Answered(answer); });
    }

   private:
    std::shared_ptr<HttpSession> session_;
  };

  // A request's head first, with the checks that need nothing more (Host, Origin, the code):
  // a request refused there is answered without its body ever being waited for.
  void Read() {
    parser_.emplace();
    parser_->body_limit(kMaxBodyBytes);
    parser_->header_limit(kHeaderLimit);
    const auto idle = std::chrono::duration_cast<std::chrono::steady_clock::duration>(core_->settings.idleTimeout);
    const std::chrono::steady_clock::duration head =
        kHeadTimeout - std::chrono::milliseconds(serial_ * 389 % kHeadTimeoutSpreadMs);
    stream_.expires_after(shownCode_ ? idle : std::min(idle, head));
    http::async_read_header(stream_, buffer_, *parser_,
                            beast::bind_front_handler(&HttpSession::OnHeader, shared_from_this()));
  }

  // False (and the connection ends) for the end of the stream, a time-out or a closed socket;
  // a refusal is sent for anything else that is not HTTP as we take it.
  bool ReadWentWell(beast::error_code ec) {
    if (!ec) return true;
    if (ec == http::error::end_of_stream) {
      stream_.socket().shutdown(tcp::socket::shutdown_send, ec);
      return false;
    }
    if (ec == http::error::body_limit) {
      // Refused from its headers: the body is thrown away as it comes, never kept.
      version_ = parser_->get().version();
      Refuse(ErrorAnswer(413, "too_large", texts::kTooLarge));
      return false;
    }
    if (ec == beast::error::timeout || ec == net::error::operation_aborted || ec == net::error::eof ||
        ec == net::error::connection_reset || ec == net::error::connection_aborted || ec == net::error::bad_descriptor)
      return false;
    // Not HTTP as we take it (a malformed line, headers too long).
    version_ = 11;
    Refuse(ErrorAnswer(400, "bad_request", texts::kBadRequest));
    return false;
  }

  void OnHeader(beast::error_code ec, size_t) {
    if (!ReadWentWell(ec) || !Admit(parser_->get())) return;
    if (parser_->is_done()) {
      Handle(parser_->release());
      return;
    }
    stream_.expires_after(core_->settings.idleTimeout);
    http::async_read(stream_, buffer_, *parser_, beast::bind_front_handler(&HttpSession::OnRead, shared_from_this()));
  }

  void OnRead(beast::error_code ec, size_t) {
    if (ReadWentWell(ec)) Handle(parser_->release());
  }

  // Who may ask: one Host that names us, no Origin but our own page's, and the code.
  bool Admit(const http::request_parser<http::string_body>::value_type& head) {
    version_ = head.version();
    keepAlive_ = head.keep_alive();
    if (head.count(http::field::host) > 1) {
      Refuse(ErrorAnswer(400, "bad_request", texts::kBadRequest));
      return false;
    }
    const std::string_view host = head[http::field::host];
    if (!core_->HostAllowed(host)) {
      Refuse(ErrorAnswer(403, "wrong_host", texts::kWrongHost));
      return false;
    }
    if (const auto origin = head.find(http::field::origin);
        origin != head.end() && !OriginAllowed(origin->value(), host)) {
      Refuse(ErrorAnswer(403, "wrong_origin", texts::kWrongOrigin));
      return false;
    }
    const Target target = SplitTarget(head.target());
    std::string_view code = BearerCode(head[http::field::authorization]);
    // Browsers cannot set a header on a page link or a WebSocket: those carry it as ?code=.
    if (code.empty() && head.method() == http::verb::get) code = QueryValue(target.query, "code");
    if (!SameCode(code, core_->settings.token)) {
      Refuse(ErrorAnswer(401, "unauthorized", texts::kUnauthorized));
      return false;
    }
    shownCode_ = true;
    return waiting_ ? TakePlace() : true;
  }

  // A waiting session that showed the code takes the place of the oldest stranger; when every
  // place is the host's, the newcomer is told so plainly.
  bool TakePlace() {
    if (core_->connections.load() >= kMaxConnections && !core_->EvictStranger()) {
      Refuse(ErrorAnswer(503, "too_many_connections", texts::kTooManyConnections));
      return false;
    }
    seat_.emplace(core_->connections);
    waiting_ = false;
    --core_->waiting;
    return true;
  }

  void Handle(Request request) {
    const auto only = [&](http::verb verb) {
      if (request.method() == verb) return true;
      Refuse(ErrorAnswer(405, "wrong_method", texts::kWrongMethod), verb == http::verb::get ? "GET" : "POST");
      return false;
    };
    const std::string_view path = SplitTarget(request.target()).path;
    if (path == "/") {
      if (only(http::verb::get)) SendPage();
    } else if (path == "/api/events") {
      if (!only(http::verb::get)) return;
      if (!websocket::is_upgrade(request)) {
        Refuse(ErrorAnswer(400, "bad_request", texts::kBadRequest));
        return;
      }
      Upgrade(std::move(request));
    } else if (path == "/api/slots") {
      if (only(http::verb::get)) Ask(Command{CommandKind::Slots, 0, 0, 0, {}});
    } else if (path == "/api/state") {
      if (only(http::verb::get)) Ask(Command{CommandKind::State, 0, 0, 0, {}});
    } else if (path == "/api/play") {
      if (only(http::verb::post)) AskParsed(ParsePlay(request.body()));
    } else if (path == "/api/stop") {
      if (only(http::verb::post)) AskParsed(ParseStop(request.body()));
    } else if (path == "/api/volume") {
      if (only(http::verb::post)) AskParsed(ParseVolume(request.body()));
    } else {
      Refuse(ErrorAnswer(404, "not_found", texts::kNotFound));
    }
  }

  // Every refusal ends the connection: a client that keeps being refused holds no place.
  void Refuse(const Answer& answer, const char* allow = nullptr) { Send(answer, false, true, allow); }

  void AskParsed(Parsed parsed) {
    if (!parsed.ok) {
      Refuse(parsed.error);
      return;
    }
    Ask(std::move(parsed.command));
  }

  void Ask(Command command) {
    if (!core_->link.Post(std::make_unique<Job>(std::move(command), shared_from_this())))
      Send(ErrorAnswer(503, "busy", texts::kBusy), keepAlive_, false);
  }

  void Upgrade(Request request);

  void SendPage() {
    Response response{http::status::ok, version_};
    response.set(http::field::server, kServerName);
    response.set(http::field::content_type, "text/html; charset=utf-8");
    response.set(http::field::cache_control, "no-store");
    response.set("X-Content-Type-Options", "nosniff");
    response.set("Referrer-Policy", "no-referrer");  // the code is in the page's address
    response.set("Content-Security-Policy",
                 "default-src 'none'; style-src 'unsafe-inline'; script-src 'unsafe-inline'; connect-src 'self'");
    response.body() = PhonePageHtml();
    response.keep_alive(keepAlive_);
    response.prepare_payload();
    Write(std::make_shared<Response>(std::move(response)), false);
  }

  void Send(const Answer& answer, bool keepAlive, bool drain, const char* allow = nullptr) {
    auto response = std::make_shared<Response>(MakeResponse(answer, version_, keepAlive));
    if (allow) response->set(http::field::allow, allow);
    Write(std::move(response), drain);
  }

  void Write(std::shared_ptr<Response> response, bool drain) {
    stream_.expires_after(core_->settings.idleTimeout);
    http::async_write(stream_, *response, [self = shared_from_this(), response, drain](beast::error_code ec, size_t) {
      if (ec) return;
      if (drain) {
        self->Drain();
      } else if (response->need_eof()) {
        self->stream_.socket().shutdown(tcp::socket::shutdown_send, ec);
      } else {
        self->Read();
      }
    });
  }

  // After a refusal: our side is shut, and what the client still sends is read and dropped
  // until it closes, so the answer is not lost to a reset. Bounded in bytes and time.
  void Drain() {
    beast::error_code ignored;
    stream_.socket().shutdown(tcp::socket::shutdown_send, ignored);
    stream_.expires_after(kDrainTimeout);
    buffer_.clear();
    DrainSome();
  }

  void DrainSome() {
    stream_.async_read_some(buffer_.prepare(4096), [self = shared_from_this()](beast::error_code ec, size_t n) {
      self->drained_ += n;
      if (ec || self->drained_ > kDrainLimit) {
        self->Close();
        return;
      }
      self->DrainSome();
    });
  }

  std::shared_ptr<Server::Core> core_;  // first: outlives the stream
  std::optional<Seat> seat_;
  beast::tcp_stream stream_;
  beast::flat_buffer buffer_;
  std::optional<http::request_parser<http::string_body>> parser_;
  unsigned version_ = 11;
  bool keepAlive_ = false;
  bool waiting_ = false;
  bool shownCode_ = false;
  unsigned serial_;  // the how-manieth accepted connection
  size_t drained_ = 0;

  friend class EventSocket;
};

// /api/events: state changes pushed as they happen, commands taken as messages.
class EventSocket final : public Connection, public std::enable_shared_from_this<EventSocket> {
 public:
  EventSocket(std::shared_ptr<Server::Core> core, Seat seat, tcp::socket&& socket)
      : core_(std::move(core)), seat_(std::move(seat)), ws_(std::move(socket)) {}
  ~EventSocket() override {
    if (listening_) --core_->listeners;
  }

  void Run(Request request) {
    // The WebSocket's own timeouts take over from the stream's: an idle client is pinged and
    // dropped when it stops answering.
    beast::get_lowest_layer(ws_).expires_never();
    websocket::stream_base::timeout timeout{};
    timeout.handshake_timeout = std::chrono::seconds(10);
    timeout.idle_timeout = core_->settings.idleTimeout;
    timeout.keep_alive_pings = true;
    ws_.set_option(timeout);
    ws_.set_option(websocket::stream_base::decorator(
        [](websocket::response_type& response) { response.set(http::field::server, kServerName); }));
    ws_.read_message_max(kMaxBodyBytes);
    ws_.async_accept(request, beast::bind_front_handler(&EventSocket::OnAccept, shared_from_this()));
  }

  void Close() override {
    beast::error_code ignored;
    beast::get_lowest_layer(ws_).socket().close(ignored);
  }
  bool Evictable() const override { return false; }  // its upgrade carried the code

  void Send(std::shared_ptr<const std::string> text) {
    if (!listening_) return;
    if (queue_.size() >= kMaxQueuedEvents) {
      Close();  // it reads nothing of what it is sent
      return;
    }
    queue_.push_back(std::move(text));
    if (queue_.size() == 1) WriteNext();
  }

 private:
  class Job final : public UiJob {
   public:
    Job(Command command, std::shared_ptr<EventSocket> socket, std::string cmd, Json id)
        : UiJob(std::move(command)), socket_(std::move(socket)), cmd_(std::move(cmd)), id_(std::move(id)) {}
    bool Wanted() const override { return socket_->core_->wanted.load(); }
    void Finish(Answer answer) override {
      auto text = std::make_shared<const std::string>(MessageAnswerText(answer, cmd_, id_));
      auto core = socket_->core_;
      core->PostFromOutside([socket = std::move(socket_), text = std::move(text)] {
        --socket->jobs_;
        socket->Send(text);
      });
    }

   private:
    std::shared_ptr<EventSocket> socket_;
    std::string cmd_;
    Json id_;
  };

  void OnAccept(beast::error_code ec) {
    if (ec) return;
    listening_ = true;
    ++core_->listeners;
    core_->sockets.push_back(weak_from_this());
    Read();
  }

  void Read() { ws_.async_read(buffer_, beast::bind_front_handler(&EventSocket::OnRead, shared_from_this())); }

  void OnRead(beast::error_code ec, size_t) {
    if (ec) {
      // Closed: off the list of listeners at once, not at the next event.
      listening_ = false;
      --core_->listeners;
      core_->Forget(this);
      return;
    }
    const std::string text = beast::buffers_to_string(buffer_.data());
    buffer_.consume(buffer_.size());
    std::string cmd;
    Json id;
    const Parsed parsed = ParseMessage(text, cmd, id);
    if (!parsed.ok) {
      Send(std::make_shared<const std::string>(MessageAnswerText(parsed.error, cmd, id)));
    } else if (jobs_ >= kMaxJobsPerSocket) {
      Send(std::make_shared<const std::string>(MessageAnswerText(ErrorAnswer(503, "busy", texts::kBusy), cmd, id)));
    } else {
      ++jobs_;
      if (!core_->link.Post(std::make_unique<Job>(parsed.command, shared_from_this(), cmd, id))) {
        --jobs_;
        Send(std::make_shared<const std::string>(MessageAnswerText(ErrorAnswer(503, "busy", texts::kBusy), cmd, id)));
      }
    }
    Read();
  }

  void WriteNext() {
    ws_.text(true);
    ws_.async_write(net::buffer(*queue_.front()), [self = shared_from_this()](beast::error_code ec, size_t) {
      if (ec) {
        self->queue_.clear();
        return;
      }
      self->queue_.pop_front();
      if (!self->queue_.empty()) self->WriteNext();
    });
  }

  std::shared_ptr<Server::Core> core_;  // first: outlives the stream
  Seat seat_;
  websocket::stream<beast::tcp_stream> ws_;
  beast::flat_buffer buffer_;
  std::deque<std::shared_ptr<const std::string>> queue_;
  int jobs_ = 0;
  bool listening_ = false;
};

void HttpSession::Upgrade(Request request) {
  auto socket = std::make_shared<EventSocket>(core_, std::move(*seat_), stream_.release_socket());
  seat_.reset();
  core_->Track(socket);
  socket->Run(std::move(request));
}

}  // namespace

bool Server::Core::HostAllowed(std::string_view host) {
  if (HostNamesUs(host, settings.port, hostNames)) return true;
  // Addresses come and go (DHCP, a cable plugged in): a host we do not know makes us look
  // again, at most every few seconds.
  if (!settings.lan) return false;
  const auto now = std::chrono::steady_clock::now();
  if (now - namesRead < std::chrono::seconds(5)) return false;
  namesRead = now;
  hostNames = HostNames(true);
  return HostNamesUs(host, settings.port, hostNames);
}

void Server::Core::Track(const std::shared_ptr<Connection>& connection) {
  if (open.size() >= 64 && open.size() % 64 == 0) {
    open.erase(std::remove_if(open.begin(), open.end(), [](const auto& weak) { return weak.expired(); }), open.end());
  }
  open.push_back(connection);
}

bool Server::Core::EvictStranger() {
  for (const auto& weak : open) {  // oldest first
    const auto connection = weak.lock();
    if (connection && connection->Evictable()) {
      connection->Close();
      return true;
    }
  }
  return false;
}

void Server::Core::Forget(const EventSocket* socket) {
  sockets.erase(std::remove_if(sockets.begin(), sockets.end(),
                               [socket](const auto& weak) {
                                 const auto alive = weak.lock();
                                 return !alive || alive.get() == socket;
                               }),
                sockets.end());
}

void Server::Core::Accept() {
  acceptor.async_accept(
      [self = shared_from_this()](beast::error_code ec, tcp::socket socket) { self->OnAccept(ec, std::move(socket)); });
}

void Server::Core::OnAccept(beast::error_code ec, tcp::socket socket) {
  if (ec == net::error::operation_aborted || !acceptor.is_open()) return;
  // Out of sockets or memory: the next accept waits a moment instead of failing at once again.
  if (ec == net::error::no_descriptors || ec == net::error::no_buffer_space || ec == net::error::no_memory) {
    auto delay = std::make_shared<net::steady_timer>(ioc, kAcceptBackoff);
    delay->async_wait([self = shared_from_this(), delay](beast::error_code waited) {
      if (!waited) self->Accept();
    });
    return;
  }
  // Whatever happens to this connection (no memory for its session), the next is accepted.
  try {
    if (!ec) {
      // Full: the newcomer waits for its head, without a place. Should even the waiting room be
      // full, the oldest stranger goes: the host's next connection always gets heard.
      const bool full = connections.load() >= kMaxConnections;
      if (!full || waiting.load() < kMaxWaiting || EvictStranger()) {
        auto session = std::make_shared<HttpSession>(shared_from_this(), std::move(socket), full);
        Track(session);
        session->Start();
      }  // else (every connection is the host's): closed at once, as the socket goes out of scope
    }
  } catch (...) {
  }
  Accept();
}

void Server::Core::Broadcast(const std::shared_ptr<const std::string>& text) {
  sockets.erase(std::remove_if(sockets.begin(), sockets.end(), [](const auto& weak) { return weak.expired(); }),
                sockets.end());
  for (const auto& weak : sockets) {
    if (auto socket = weak.lock()) socket->Send(text);
  }
}

void Server::Core::ShutDown() {
  beast::error_code ignored;
  acceptor.close(ignored);
  for (const auto& weak : open) {
    if (auto connection = weak.lock()) connection->Close();
  }
  open.clear();
  sockets.clear();
}

Server::Server(UiLink& link) : link_(link) {}

Server::~Server() { Stop(); }

StartResult Server::Start(const ServerSettings& settings) {
  Stop();
  auto core = std::make_shared<Core>(link_, settings);
  core->hostNames = HostNames(settings.lan);
  core->namesRead = std::chrono::steady_clock::now();
  const tcp::endpoint endpoint(
      settings.lan ? net::ip::address(net::ip::address_v4::any()) : net::ip::address(net::ip::address_v4::loopback()),
      static_cast<unsigned short>(settings.port));
  beast::error_code ec;
  core->acceptor.open(endpoint.protocol(), ec);
  if (ec) return StartResult::Failed;
  beast::error_code ignored;
  core->acceptor.set_option(ExclusiveAddressUse(true), ignored);  // a system without it still binds
  core->acceptor.bind(endpoint, ec);
  if (!ec) core->acceptor.listen(net::socket_base::max_listen_connections, ec);
  if (ec == net::error::address_in_use || ec == net::error::access_denied) return StartResult::PortInUse;
  if (ec) return StartResult::Failed;
  for (int i = 0; i < kParallelAccepts; ++i) core->Accept();
  core_ = core;
  thread_ = std::thread([core] {
    // A handler that throws (no memory) loses its own connection, never the server.
    for (;;) {
      try {
        core->ioc.run();
        break;
      } catch (...) {
      }
    }
    core->finished.set_value();
  });
  return StartResult::Started;
}

void Server::Stop() {
  if (!core_) return;
  std::future<void> finished = core_->finished.get_future();
  core_->wanted = false;
  net::post(core_->ioc, [core = core_] { core->ShutDown(); });
  {
    std::lock_guard<std::mutex> lock(core_->postMutex);
    core_->posting = false;
  }
  // Every handler is short and the sockets are closed: the thread ends at once. Should it not,
  // it is stopped rather than waited for.
  if (finished.wait_for(kStopGrace) != std::future_status::ready) core_->ioc.stop();
  thread_.join();
  core_.reset();
}

bool Server::HasListeners() const { return core_ && core_->listeners.load() > 0; }

void Server::Notify(BoardEvent event, const BoardState& state) {
  if (!core_ || core_->listeners.load() == 0) return;
  auto text = std::make_shared<const std::string>(EventText(event, state));
  core_->PostFromOutside([core = core_, text] { core->Broadcast(text); });
}

}  // namespace velmora::remote
