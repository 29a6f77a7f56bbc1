// The remote control under load: the server in this process with the board's play road on a
// UI thread of its own and a real audio player on the test sink "VelmoraSinkA".
//   remote.play_p50_ms     POST /api/play sent (over loopback) to the first samples written
//   remote.requests_per_s  GET /api/state from wrk on the Linux side, paced to ~1,000/s for 10 s
//   remote.ui_answer_max_ms  the UI thread's longest answer to a message during that load
//   remote.memory_growth_kb  private bytes after the load less before it
//   remote.host_p99_ms_under_crowd  the host's GET /api/state while 300 strangers crowd and trickle
#include "bench/BenchFigures.h"
#include "config/ConfigStore.h"
#include "playback/AudioPlayer.h"
#include "playback/Playback.h"
#include "remote/Server.h"
#include "remote/UiLink.h"
#include "tests/support/RemoteUiThread.h"
#include "tests/support/Files.h"
#include "tests/support/SinkRecording.h"
#include "tests/support/TempProgramDir.h"

#include <winsock2.h>
#include <windows.h>
#include <psapi.h>

#include <atomic>
#include <cstring>
#include <cstdio>
#include <future>
#include <string>
#include <thread>
#include <vector>

using namespace velmora;
using namespace velmora::bench;

namespace {

constexpr int kPort = 29420;
constexpr char kCode[] = "0123456789abcdef0123456789abcdef";

class SilentReporter final : public playback::FailureReporter {
 public:
  void OpenFailed() override {}
};

// The board as far as the remote control reaches it: the click's road through Playback.
class BenchBoard final : public remote::RemoteActions {
 public:
  BenchBoard(playback::Playback& playback) : playback_(playback) {}
  remote::BoardView Slots() override { return {}; }
  remote::BoardState State() override {
    remote::BoardState state;
    state.playing = playback_.Sounding();
    state.volume = playback_.VolumeLevel();
    return state;
  }
  remote::PlayOutcome PlaySlot(int category, int index) override {
    return playback_.PlayEffect(category, index) == playback::PlayResult::Played ? remote::PlayOutcome::Played
                                                                                 : remote::PlayOutcome::Failed;
  }
  remote::PlayOutcome PlayHotkey(const std::wstring&) override { return remote::PlayOutcome::NoSuchHotkey; }
  void StopPlayback() override { playback_.StopPlayback(); }
  void StepVolume(int delta) override { playback_.StepVolume(delta); }
  void SetVolumeLevel(int level) override { playback_.ApplyVolume(level); }

 private:
  playback::Playback& playback_;
};

using velmora::test::UiThread;

// One kept-alive HTTP connection over loopback; Request returns once the whole answer is in.
class Client {
 public:
  Client() {
    socket_ = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = ::htons(kPort);
    address.sin_addr.s_addr = ::htonl(INADDR_LOOPBACK);
    connected_ = ::connect(socket_, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
  }
  ~Client() { ::closesocket(socket_); }
  bool Request(const std::string& text) {
    if (!connected_ || ::send(socket_, text.data(), static_cast<int>(text.size()), 0) != static_cast<int>(text.size()))
      return false;
    std::string answer;
    char buffer[4096];
    for (;;) {
      const int got = ::recv(socket_, buffer, sizeof buffer, 0);
      if (got <= 0) return false;
      answer.append(buffer, static_cast<size_t>(got));
      const size_t end = answer.find("\r\n\r\n");
      if (end == std::string::npos) continue;
      const size_t length = answer.find("Content-Length: ");
      if (length == std::string::npos) return true;
      if (answer.size() >= end + 4 + std::stoul(answer.substr(length + 16))) return answer.compare(9, 3, "200") == 0;
    }
  }

 private:
  SOCKET socket_ = INVALID_SOCKET;
  bool connected_ = false;
};

std::string PlayRequest() {
  const std::string body = R"({"category":1,"index":1})";
  return "POST /api/play HTTP/1.1\r\nHost: 127.0.0.1:" + std::to_string(kPort) + "\r\nAuthorization: Bearer " + kCode +
         "\r\nContent-Type: application/json\r\nContent-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body;
}

size_t PrivateBytes() {
  PROCESS_MEMORY_COUNTERS_EX counters{};
  counters.cb = sizeof counters;
  ::GetProcessMemoryInfo(::GetCurrentProcess(), reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&counters), sizeof counters);
  return counters.PrivateUsage;
}

}  // namespace

int main() {
  WSADATA wsa;
  ::WSAStartup(MAKEWORD(2, 2), &wsa);
  test::TempProgramDir dir(L"遥控性能");
  const std::wstring tone = dir / L"掌声.wav";
  test::WriteBytes(tone, test::ToneWav(1000, 0.3, 0.5));
  const config::ConfigStore store(dir.Path());
  store.WriteValue(L"常用路径", L"1", tone);

  playback::AudioPlayer player;
  if (playback::StartAudio(player, test::TestSinkDevice(L"VelmoraSinkA")) != 1) {
    std::printf("error: no audio device\n");
    return 1;
  }
  SilentReporter reporter;
  playback::Playback playback(player, store, reporter);
  BenchBoard board(playback);
  UiThread ui(board);
  remote::Server server(ui.Link());
  if (server.Start(remote::ServerSettings{kPort, false, kCode}) != remote::StartResult::Started) {
    std::printf("error: the server did not start on port %d\n", kPort);
    return 1;
  }

  // Request to first samples: the HTTP parse, the hop to the UI thread, the play and the render
  // thread's next period.
  {
    Client client;
    const std::string request = PlayRequest();
    client.Request(request);  // decoded and cached once
    ::Sleep(300);
    std::vector<double> ms;
    for (int i = 0; i < 60; ++i) {
      ::Sleep(60 + (i * 37) % 60);  // at any point of a period
      const int64_t sent = Now();
      if (!client.Request(request)) continue;
      for (int wait = 0; wait < 2000; ++wait) {
        const auto timing = player.Engine().LastPlayTiming();
        if (timing.requested >= sent && timing.firstWrite != 0) {
          ms.push_back(TicksToMs(timing.firstWrite - sent));
          break;
        }
        ::Sleep(1);
      }
    }
    std::printf("remote.play_p50_ms: %.2f ms\n", Percentile(ms, 0.5));
    std::printf("remote.play_p99_ms: %.2f ms\n", Percentile(ms, 0.99));
  }
  playback.StopPlayback();

  // Load from the Linux side, paced by wrk's delay hook to about 1,000 requests a second, while
  // the UI thread is asked every 50 ms to answer a message.
  const size_t before = PrivateBytes();
  const std::string out =
      std::string(VELMORA_BENCH_SCRATCH_UNIX) + "/remote-wrk-" + std::to_string(::GetCurrentProcessId());
  test::MakeFolders(test::FromUnixPath(VELMORA_BENCH_SCRATCH_UNIX));
  test::WriteBytes(test::FromUnixPath((out + ".lua").c_str()), "function delay()\n  return 10\nend\n");
  std::atomic<bool> loading{true};
  double uiMaxMs = 0;
  std::thread prober([&] {
    while (loading) {
      const int64_t t0 = Now();
      DWORD_PTR result = 0;
      ::SendMessageTimeoutW(ui.Link().Hwnd(), WM_NULL, 0, 0, SMTO_NORMAL, 5000, &result);
      uiMaxMs = std::max(uiMaxMs, TicksToMs(Now() - t0));
      ::Sleep(50);
    }
  });
  const bool ran =
      test::RunHostCommand("wrk -t2 -c10 -d10s --latency -s " + out + ".lua -H 'Authorization: Bearer " + kCode +
                               "' http://127.0.0.1:" + std::to_string(kPort) + "/api/state > " + out + ".txt 2>&1",
                           40000);
  loading = false;
  prober.join();
  ::Sleep(500);
  const size_t after = PrivateBytes();
  const std::string report = test::ReadBytes(test::FromUnixPath((out + ".txt").c_str()));
  const size_t at = report.find("Requests/sec:");
  if (!ran || at == std::string::npos) {
    std::printf("error: wrk did not run: %s\n", report.c_str());
  } else {
    std::printf("remote.requests_per_s: %.0f req/s\n", std::atof(report.c_str() + at + 13));
    const size_t errors = report.find("Non-2xx");
    std::printf("remote.load_non_2xx: %ld responses\n",
                errors == std::string::npos ? 0L : std::atol(report.c_str() + errors + 25));
  }
  std::printf("remote.ui_answer_max_ms: %.2f ms\n", uiMaxMs);
  std::printf("remote.memory_growth_kb: %.0f kB\n",
              (static_cast<double>(after) - static_cast<double>(before)) / 1024.0);

  // The host's requests (a fresh connection each, 20 a second) while 300 strangers without the
  // code hold connections, 30 of them trickling a head a byte a second.
  const std::string crowdDir = std::string(VELMORA_BENCH_SCRATCH_UNIX) + "/crowd-" + std::to_string(::GetCurrentProcessId());
  test::RunHostCommand(std::string("/usr/bin/python3 ") + VELMORA_SOURCE_DIR_UNIX + "/bench/remote_load.py crowdbench " +
                           std::to_string(kPort) + " " + kCode + " " + crowdDir + " > " + crowdDir + ".log 2>&1",
                       120000);
  const std::string crowd = test::ReadBytes(test::FromUnixPath((crowdDir + "/crowd.json").c_str()));
  const auto field = [&crowd](const char* name) {
    const size_t where = crowd.find(std::string("\"") + name + "\": ");
    return where == std::string::npos ? -1.0 : std::atof(crowd.c_str() + where + std::strlen(name) + 4);
  };
  if (crowd.empty()) {
    std::printf("error: the crowd did not run (%s.log)\n", crowdDir.c_str());
  } else {
    std::printf("remote.host_p50_ms_under_crowd: %.2f ms\n", field("p50_ms"));
    std::printf("remote.host_p99_ms_under_crowd: %.2f ms\n", field("p99_ms"));
    std::printf("remote.host_unanswered_under_crowd: %.0f requests\n", field("unanswered"));
    if (field("unanswered") != 0) std::printf("error: what the host's requests met is in %s.log\n", crowdDir.c_str());
  }
  server.Stop();
  player.ReleaseLibrary();
  std::fflush(stdout);
  ::TerminateProcess(::GetCurrentProcess(), 0);  // Media Foundation's teardown under Wine, as the other benchmarks
  return 0;
}
