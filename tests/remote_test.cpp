// The remote control: its rules and JSON, the stored section, the server in this process with a
// stand-in board (bind addresses, a taken port, restarts), and the real program driven from the
// Linux side (curl, a WebSocket client, headless Chromium) with what it played read from the
// test sink.
#include "app/TrayIcon.h"
#include "base/Handles.h"
#include "config/ConfigStore.h"
#include "remote/Lan.h"
#include "remote/Protocol.h"
#include "app/RemoteSetup.h"
#include "remote/Rules.h"
#include "remote/Server.h"
#include "remote/UiLink.h"
#include "tests/support/RemoteUiThread.h"
#include "tests/support/Files.h"
#include "tests/support/ProgramCopy.h"
#include "tests/support/Registry.h"
#include "tests/support/SinkRecording.h"
#include "tests/support/TempProgramDir.h"
#include "tests/support/Waiting.h"
#include "ui/SettingsWindow.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <atomic>
#include <cctype>
#include <chrono>
#include <cmath>
#include <functional>
#include <future>
#include <iostream>
#include <string>
#include <thread>
#include <vector>

using velmora::remote::Json;
using velmora::test::ProgramCopy;
using velmora::test::RunHostCommand;
using velmora::test::SinkRecording;
using velmora::test::WaitFor;

namespace {

constexpr char kCode[] = "00112233445566778899aabbccddeeff";
constexpr char kOtherCode[] = "ffeeddccbbaa99887766554433221100";
const std::string kAuth = std::string("-H 'Authorization: Bearer ") + kCode + "'";

// A fresh folder on the Linux side for one exchange's files.
std::string Scratch() {
  static int counter = 0;
  const std::string dir = std::string(VELMORA_REMOTE_SCRATCH_UNIX) + "/" + std::to_string(::GetCurrentProcessId()) +
                          "-" + std::to_string(++counter);
  // Wine reuses process ids from one run to the next: what an earlier run left goes first.
  const std::wstring path = velmora::test::FromUnixPath(dir.c_str());
  velmora::test::RemoveTree(path);
  velmora::test::MakeFolders(path);
  return dir;
}

std::string ReadScratch(const std::string& dir, const std::string& name) {
  return velmora::test::ReadBytes(velmora::test::FromUnixPath((dir + "/" + name).c_str()));
}

bool ScratchHas(const std::string& dir, const std::string& name) {
  return ::GetFileAttributesW(velmora::test::FromUnixPath((dir + "/" + name).c_str()).c_str()) !=
         INVALID_FILE_ATTRIBUTES;
}

struct Reply {
  int status = -1;  // 0: no connection
  std::string body;
  Json json() const { return Json::parse(body, nullptr, false); }
};

// Runs `curl -s <arguments>` for each entry, one after the other in one shell on the Linux side,
// and reads back each status and body.
std::vector<Reply> Curl(const std::vector<std::string>& calls) {
  const std::string dir = Scratch();
  std::string script = "cd " + dir;
  for (size_t i = 0; i < calls.size(); ++i) {
    const std::string n = std::to_string(i);
    script += "; curl -s --max-time 10 -o b" + n + " -w '%{http_code}' " + calls[i] + " > s" + n;
  }
  EXPECT_TRUE(RunHostCommand(script, 60000)) << script;
  std::vector<Reply> replies(calls.size());
  for (size_t i = 0; i < calls.size(); ++i) {
    const std::string status = ReadScratch(dir, "s" + std::to_string(i));
    replies[i].status = status.empty() ? -1 : std::atoi(status.c_str());
    replies[i].body = ReadScratch(dir, "b" + std::to_string(i));
  }
  return replies;
}

std::string Url(int port, const std::string& path, const char* host = "127.0.0.1") {
  return "'http://" + std::string(host) + ":" + std::to_string(port) + path + "'";
}

std::string Post(int port, const std::string& path, const std::string& body) {
  return kAuth + " -d '" + body + "' " + Url(port, path);
}

// The listening sockets on a port as the Linux side sees them ("127.0.0.1:29413 ...").
std::string Listening(int port) {
  const std::string dir = Scratch();
  RunHostCommand("ss -ltnH 'sport = :" + std::to_string(port) + "' > " + dir + "/ss");
  return ReadScratch(dir, "ss");
}

// Another program (Python on the Linux side) holds 127.0.0.1:`port` until someone connects or ten
// seconds have passed.
bool HoldPort(int port) {
  const std::string dir = Scratch();
  return RunHostCommand("(/usr/bin/python3 -c 'import socket; s=socket.socket(); s.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1); s.bind((\"127.0.0.1\", " +
                        std::to_string(port) + ")); s.listen(); open(\"" + dir +
                        "/up\", \"w\").close(); s.settimeout(10); s.accept()' >/dev/null 2>&1 </dev/null &)") &&
         WaitFor([&] { return ScratchHas(dir, "up"); });
}

std::string PythonClient(const std::string& mode, int port, const std::string& outdir) {
  // Debian's Python, which has python3-websocket and python3-selenium.
  return std::string("/usr/bin/python3 ") + VELMORA_SOURCE_DIR_UNIX + "/tests/support/remote_client.py " + mode + " " +
         std::to_string(port) + " " + kCode + " " + outdir;
}

}  // namespace

// --- Section 遥控 ---

TEST(RemoteSettings, OffByDefaultAndATokenMadeWhenSwitchedOn) {
  using namespace velmora::app;
  using velmora::config::IsWellFormedToken;
  using velmora::config::RemoteSetting;
  velmora::test::TempProgramDir dir(L"遥控设置");
  const velmora::config::ConfigStore store(dir.Path());
  RemoteSetting setting = RemoteSetting::Read(store);
  EXPECT_FALSE(setting.on);
  EXPECT_FALSE(setting.lan);
  EXPECT_EQ(setting.port, 39393);
  ASSERT_TRUE(PrepareRemoteSetting(store, setting));
  EXPECT_EQ(store.ReadValue(L"遥控", L"令牌"), L"") << "no token is made while the control is off";

  ASSERT_TRUE(SetRemoteOn(store, true));
  EXPECT_EQ(store.ReadValue(L"遥控", L"开关"), L"真");
  const std::wstring first = store.ReadValue(L"遥控", L"令牌");
  EXPECT_TRUE(IsWellFormedToken(std::string(first.begin(), first.end()))) << "token " << first.size();
  ASSERT_TRUE(PrepareRemoteSetting(store, setting));
  EXPECT_EQ(std::wstring(setting.token.begin(), setting.token.end()), first) << "a sound token is kept";

  // A damaged token is replaced by a new one, never used.
  store.WriteValue(L"遥控", L"令牌", L"0123");
  ASSERT_TRUE(PrepareRemoteSetting(store, setting));
  EXPECT_TRUE(IsWellFormedToken(setting.token));
  EXPECT_NE(std::wstring(setting.token.begin(), setting.token.end()), first);
  EXPECT_EQ(store.ReadValue(L"遥控", L"令牌"), std::wstring(setting.token.begin(), setting.token.end()));

  store.WriteValue(L"遥控", L"端口", L"70000");
  store.WriteValue(L"遥控", L"局域网", L"真");
  setting = RemoteSetting::Read(store);
  EXPECT_EQ(setting.port, 39393);
  EXPECT_TRUE(setting.lan);
  store.WriteValue(L"遥控", L"开关", L"是");  // neither switch text: off
  EXPECT_FALSE(RemoteSetting::Read(store).on);
}

// --- The server in this process, with a stand-in board on a UI thread of its own ---

namespace {

class StandInBoard final : public velmora::remote::RemoteActions {
 public:
  velmora::remote::BoardView Slots() override { return {}; }
  velmora::remote::BoardState State() override {
    velmora::remote::BoardState state;
    state.volume = volume;
    return state;
  }
  velmora::remote::PlayOutcome PlaySlot(int, int) override {
    ++plays;
    return velmora::remote::PlayOutcome::Played;
  }
  velmora::remote::PlayOutcome PlayHotkey(const std::wstring&) override {
    ++plays;
    return velmora::remote::PlayOutcome::Played;
  }
  void StopPlayback() override {}
  void StepVolume(int delta) override { volume += delta; }
  void SetVolumeLevel(int level) override { volume = level; }

  std::atomic<int> plays{0};
  std::atomic<int> volume{50};
};

using velmora::test::UiThread;

}  // namespace

TEST(RemoteServer, LoopbackOnlyUnlessLanTakenPortAndRestart) {
  using namespace velmora::remote;
  StandInBoard board;
  UiThread ui(board);
  constexpr int kPort = 29413;
  const std::string lan = velmora::remote::FirstLanAddress();
  std::cout << "[ note ] non-loopback address of this machine: " << (lan.empty() ? "none" : lan) << "\n";

  {
    Server server(ui.Link());
    ASSERT_EQ(server.Start(ServerSettings{kPort, false, kCode}), StartResult::Started);
    const std::string sockets = Listening(kPort);
    EXPECT_NE(sockets.find("127.0.0.1:" + std::to_string(kPort)), std::string::npos) << sockets;
    EXPECT_EQ(sockets.find("0.0.0.0:" + std::to_string(kPort)), std::string::npos)
        << "listens beyond the loopback address: " << sockets;
    std::vector<std::string> calls{
        kAuth + " " + Url(kPort, "/api/state"),
        // Another loopback address: nothing is bound there.
        kAuth + " --connect-timeout 3 " + Url(kPort, "/api/state", "127.0.0.2"),
        Post(kPort, "/api/play", R"({"category":1,"index":1})"),
    };
    // A LAN address in the Host header is no name of ours while the LAN is off (the request
    // itself goes to 127.0.0.1: no traffic leaves the loopback here).
    if (!lan.empty())
      calls.push_back(kAuth + " -H 'Host: " + lan + ":" + std::to_string(kPort) + "' " + Url(kPort, "/api/state"));
    const std::vector<Reply> replies = Curl(calls);
    EXPECT_EQ(replies[0].status, 200);
    EXPECT_EQ(replies[0].json()["volume"], 50);
    EXPECT_EQ(replies[1].status, 0) << "something answered on 127.0.0.2";
    EXPECT_EQ(replies[2].status, 200);
    EXPECT_EQ(board.plays.load(), 1);
    if (!lan.empty()) {
      EXPECT_EQ(replies[3].status, 403);
    }

    // Stopping frees the port at once; a second start on it works.
    const auto before = std::chrono::steady_clock::now();
    server.Stop();
    EXPECT_LT(std::chrono::steady_clock::now() - before, std::chrono::milliseconds(1000));
    EXPECT_EQ(Curl({kAuth + " " + Url(kPort, "/api/state")})[0].status, 0);
    ASSERT_EQ(server.Start(ServerSettings{kPort, false, kCode}), StartResult::Started);
    EXPECT_EQ(Curl({kAuth + " " + Url(kPort, "/api/state")})[0].status, 200);
  }

  // A port another program holds: a clear answer at once, and nothing listens for us.
  {
    ASSERT_TRUE(HoldPort(kPort + 1));
    Server server(ui.Link());
    EXPECT_EQ(server.Start(ServerSettings{kPort + 1, false, kCode}), StartResult::PortInUse);
    EXPECT_FALSE(server.Running());
    Server second(ui.Link());
    ASSERT_EQ(second.Start(ServerSettings{kPort, false, kCode}), StartResult::Started);
    Server third(ui.Link());
    EXPECT_EQ(third.Start(ServerSettings{kPort, false, kCode}), StartResult::PortInUse) << "our own port taken twice";
  }

  // The LAN on: every address, and a LAN address of this machine is a name of ours.
  {
    Server server(ui.Link());
    ASSERT_EQ(server.Start(ServerSettings{kPort + 2, true, kCode}), StartResult::Started);
    const std::string sockets = Listening(kPort + 2);
    EXPECT_NE(sockets.find("0.0.0.0:" + std::to_string(kPort + 2)), std::string::npos) << sockets;
    if (!lan.empty()) {
      const Reply reply = Curl(
          {kAuth + " -H 'Host: " + lan + ":" + std::to_string(kPort + 2) + "' " + Url(kPort + 2, "/api/state")})[0];
      EXPECT_EQ(reply.status, 200) << reply.body;
    }
  }

  // A connection that says nothing is closed after the idle time; one that asks in time is not.
  {
    ServerSettings settings{kPort + 3, false, kCode};
    settings.idleTimeout = std::chrono::milliseconds(1000);
    Server server(ui.Link());
    ASSERT_EQ(server.Start(settings), StartResult::Started);
    const std::string dir = Scratch();
    ASSERT_TRUE(RunHostCommand(PythonClient("idle", kPort + 3, dir) + " > " + dir + "/log 2>&1", 30000));
    const Json idle = Json::parse(ReadScratch(dir, "idle.json"), nullptr, false);
    ASSERT_TRUE(idle.is_object()) << ReadScratch(dir, "log");
    EXPECT_EQ(idle["silent_closed"], true) << "an idle connection was kept";
    EXPECT_EQ(idle["kept_while_asking"], true) << "a connection in use was closed";
    EXPECT_GE(idle["closed_after_s"].get<double>(), 0.9);
    EXPECT_LT(idle["closed_after_s"].get<double>(), 3.0);
  }
}

// --- The program itself ---

namespace {

// Test ports lie below Linux's ephemeral range (32768-60999): the crowds' thousands of client
// connections could otherwise leave one of them held by a client socket when a server binds it.
constexpr int kProgramPort = 29411;

class RemoteProgram : public ::testing::Test {
 protected:
  void SetUp() override {
    sink_ = velmora::test::TestSinkDevice(L"VelmoraSinkA");
    ASSERT_GE(sink_, 2) << "run the tests through scripts/test.sh";
  }

  // A copy with three effects on page 1 (1000, 660 and 1500 Hz), F9 on a fourth file (2000 Hz),
  // the board at volume 50 on the test sink, and the remote control on at `port`.
  void Prepare(ProgramCopy& copy, int port) {
    stamp_.Set(REG_SZ, copy.Exe() + L" %-1");  // no rebuild at start
    velmora::config::ConfigStore store(copy.Folder());
    const std::pair<const wchar_t*, double> effects[] = {{L"掌声.wav", 1000}, {L"欢呼.wav", 660}, {L"笑声.wav", 1500}};
    for (int i = 0; i < 3; ++i) {
      const std::wstring path = copy / effects[i].first;
      velmora::test::WriteBytes(path, velmora::test::ToneWav(effects[i].second, 3.0, 0.5));
      store.WriteValue(L"常用路径", std::to_wstring(i + 1), path);
    }
    store.WriteValue(L"常用标题", L"1", L"掌声");
    store.WriteValue(L"常用快捷键if", L"1", L"F9");
    const std::wstring hotkeyTone = copy / L"热键.wav";
    velmora::test::WriteBytes(hotkeyTone, velmora::test::ToneWav(2000, 1.0, 0.5));
    store.WriteValue(L"快捷键", L"F9", hotkeyTone);
    store.WriteValue(L"id", L"id", std::to_wstring(sink_));
    store.WriteValue(L"idv", L"v", L"50");
    store.WriteValue(L"遥控", L"开关", L"真");
    store.WriteValue(L"遥控", L"端口", std::to_wstring(port));
    store.WriteValue(L"遥控", L"令牌", std::wstring(kCode, kCode + 32));
  }

  // Presses the board's effect button of page 1, slot `index` (1..3; ui/MainLayout.cpp's page
  // rectangles moved to the window's client area).
  static void ClickBoardSlot(HWND board, int index) {
    static constexpr int kCentreX[] = {80, 220, 328};
    const LPARAM at = MAKELPARAM(kCentreX[index - 1], 100);
    ::PostMessageW(board, WM_MOUSEMOVE, 0, at);
    ::PostMessageW(board, WM_LBUTTONDOWN, MK_LBUTTON, at);
    ::PostMessageW(board, WM_LBUTTONUP, 0, at);
  }

  static double Heard(const SinkRecording& sink, double frequency, unsigned timeoutMs = 4000) {
    const std::vector<float> samples = sink.WaitForSound(0.05, 8820, timeoutMs);
    const long long onset = velmora::test::FirstAbove(samples, 0.05);
    if (onset < 0) return 0;
    return velmora::test::MedianToneAmplitude(samples, frequency, static_cast<size_t>(onset), 8820);
  }

  velmora::test::SavedUserRegistryValue stamp_{L"Software\\tamble"};
  int sink_ = -1;
};

}  // namespace

TEST_F(RemoteProgram, OnlyTheCodeActsAndEveryActionTakesTheBoardsRoad) {
  ProgramCopy copy(L"遥控");
  Prepare(copy, kProgramPort);
  ASSERT_TRUE(copy.Start());
  ASSERT_TRUE(copy.WaitSettled());
  constexpr int p = kProgramPort;

  // No code, a wrong one, a code in the address of a command, another scheme: 401, nothing
  // plays and nothing changes.
  {
    SinkRecording sink("velmora_a");
    const std::vector<Reply> refused = Curl({
        "-d '{\"category\":1,\"index\":1}' " + Url(p, "/api/play"),
        std::string("-H 'Authorization: Bearer ") + kOtherCode + "' -d '{\"category\":1,\"index\":1}' " +
            Url(p, "/api/play"),
        "-d '{\"category\":1,\"index\":1}' " + Url(p, std::string("/api/play?code=") + kCode),
        std::string("-u x:") + kCode + " -d '{\"level\":5}' " + Url(p, "/api/volume"),
        Url(p, "/api/state?code=" + std::string(kOtherCode)),
        Url(p, "/?code=" + std::string(kOtherCode)),
        Url(p, "/nowhere"),
    });
    for (size_t i = 0; i < refused.size(); ++i) {
      EXPECT_EQ(refused[i].status, 401) << "request " << i << ": " << refused[i].body;
      EXPECT_EQ(refused[i].json()["error"], "unauthorized") << i;
    }
    EXPECT_LT(velmora::test::FirstAbove(sink.WaitForSound(0.05, 1, 1000), 0.05), 0) << "a refused request played";
  }

  // The Host header: names of ours only.
  {
    const std::vector<Reply> hosts = Curl({
        kAuth + " -H 'Host: evil.example:29411' " + Url(p, "/api/state"),
        kAuth + " -H 'Host: 127.0.0.1:1234' " + Url(p, "/api/state"),
        kAuth + " " + Url(p, "/api/state", "localhost"),
        kAuth + " -i -H 'Origin: http://evil.example' " + Url(p, "/api/state"),
    });
    EXPECT_EQ(hosts[0].status, 403);
    EXPECT_EQ(hosts[1].status, 403);
    EXPECT_EQ(hosts[2].status, 200);
    EXPECT_EQ(hosts[2].json()["volume"], 50);
    std::string headers = hosts[3].body;
    for (char& c : headers) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    EXPECT_EQ(headers.find("access-control"), std::string::npos) << "CORS headers: " << hosts[3].body;
  }

  // The slots: all 100, with the captions and hotkeys the board has.
  {
    const Reply slots = Curl({kAuth + " " + Url(p, "/api/slots")})[0];
    ASSERT_EQ(slots.status, 200);
    const Json json = slots.json();
    ASSERT_EQ(json["slots"].size(), 100u);
    EXPECT_EQ(json["slots"][0]["caption"], "掌声");
    EXPECT_EQ(json["slots"][0]["file"], true);
    EXPECT_EQ(json["slots"][0]["hotkey"], "F9");
    EXPECT_EQ(json["slots"][0]["colour"], "#ebab01");
    EXPECT_EQ(json["slots"][3]["file"], false);
    EXPECT_EQ(json["slots"][99]["category"], 4);
    EXPECT_EQ(json["slots"][99]["caption"], "自定义");
    EXPECT_EQ(json["pages"][1]["name"], "气氛音效");
  }

  // Play a slot: the click's road, at the board's volume, heard on the sink; then stop.
  {
    SinkRecording sink("velmora_a");
    const Reply played = Curl({Post(p, "/api/play", R"({"category":1,"index":1})")})[0];
    ASSERT_EQ(played.status, 200) << played.body;
    EXPECT_EQ(played.json()["played"], true);
    EXPECT_EQ(played.json()["state"]["last"], Json({{"category", 1}, {"index", 1}}));
    EXPECT_EQ(played.json()["state"]["playing"], true);
    const double amplitude = Heard(sink, 1000);
    EXPECT_GT(amplitude, 0.15) << "the effect did not come out of the sink";
    EXPECT_LT(amplitude, 0.35) << "not at the board's volume (50)";

    const Reply stopped = Curl({kAuth + " -X POST " + Url(p, "/api/stop")})[0];
    ASSERT_EQ(stopped.status, 200) << stopped.body;
    EXPECT_EQ(stopped.json()["state"]["playing"], false);
    const std::vector<float> after = sink.WaitForSilence(0.02, 8820, 3000);
    EXPECT_LT(velmora::test::Peak(after, after.size() - 8820), 0.02) << "still sounding after the stop";
  }

  // The hotkey road: F9's file at full volume.
  {
    SinkRecording sink("velmora_a");
    const Reply played = Curl({Post(p, "/api/play", R"({"hotkey":"F9"})")})[0];
    EXPECT_EQ(played.json()["played"], true) << played.body;
    EXPECT_GT(Heard(sink, 2000), 0.35) << "the hotkey road plays at full volume";
  }

  // Volume: steps and a level, kept and stored as the buttons keep them.
  {
    const std::vector<Reply> volume = Curl({
        Post(p, "/api/volume", R"({"step":-10})"),
        Post(p, "/api/volume", R"({"step":10})"),
        Post(p, "/api/volume", R"({"level":77})"),
        kAuth + " " + Url(p, "/api/state"),
        Post(p, "/api/volume", R"({"level":0})"),
        Post(p, "/api/volume", R"({"step":"up"})"),
        Post(p, "/api/volume", R"({"level":30,"step":10})"),
    });
    EXPECT_EQ(volume[0].json()["state"]["volume"], 40);
    EXPECT_EQ(volume[1].json()["state"]["volume"], 50);
    EXPECT_EQ(volume[2].json()["state"]["volume"], 77);
    EXPECT_EQ(volume[3].json()["volume"], 77);
    EXPECT_EQ(velmora::config::ConfigStore(copy.Folder()).ReadValue(L"idv", L"v"), L"77");
    for (size_t i = 4; i < volume.size(); ++i) EXPECT_EQ(volume[i].status, 400) << i << volume[i].body;
  }

  // What is not a command: 400, 404, 405, 413.
  {
    const std::string dir = Scratch();
    RunHostCommand("yes x | head -c 102400 > " + dir + "/big");
    const std::vector<Reply> bad = Curl({
        Post(p, "/api/play", "{\"category\":1,"),
        Post(p, "/api/play", R"({"category":1,"index":1,"volume":5})"),
        Post(p, "/api/play", R"({"category":1,"index":30})"),
        Post(p, "/api/play", R"({"hotkey":"F99"})"),
        kAuth + " " + Url(p, "/api/nothing"),
        kAuth + " " + Url(p, "/api/play"),
        kAuth + " -X DELETE " + Url(p, "/api/state"),
        kAuth + " --data-binary @" + dir + "/big " + Url(p, "/api/play"),
        kAuth + " " + Url(p, "/api/state"),
    });
    EXPECT_EQ(bad[0].status, 400);
    EXPECT_EQ(bad[0].json()["error"], "bad_json");
    EXPECT_EQ(bad[1].json()["error"], "unknown_field");
    EXPECT_EQ(bad[2].json()["error"], "no_such_slot");  // page 1 has 29
    EXPECT_EQ(bad[3].json()["error"], "no_such_hotkey");
    EXPECT_EQ(bad[4].status, 404);
    EXPECT_EQ(bad[5].status, 405);
    EXPECT_EQ(bad[6].status, 405);
    EXPECT_EQ(bad[7].status, 413);
    EXPECT_EQ(bad[8].status, 200) << "the board stopped answering";
  }

  // A WebSocket client hears a click on the board, plays by message, is told what was wrong,
  // and hears when the effect has played to its end.
  {
    const std::string dir = Scratch();
    ASSERT_TRUE(RunHostCommand("(" + PythonClient("events", p, dir) + " > " + dir + "/log 2>&1 </dev/null &)"));
    ASSERT_TRUE(WaitFor([&] { return ScratchHas(dir, "ready") || ScratchHas(dir, "error"); })) << "no WebSocket";
    ASSERT_FALSE(ScratchHas(dir, "error")) << ReadScratch(dir, "log");
    SinkRecording sink("velmora_a");
    ClickBoardSlot(copy.Board(), 3);
    ASSERT_TRUE(WaitFor([&] { return ScratchHas(dir, "bad.json") || ScratchHas(dir, "error"); }, 20000))
        << ReadScratch(dir, "log");
    const Json event = Json::parse(ReadScratch(dir, "event.json"), nullptr, false);
    EXPECT_EQ(event["event"], "play");
    EXPECT_EQ(event["state"]["last"], Json({{"category", 1}, {"index", 3}})) << "not the board's click";
    const Json reply = Json::parse(ReadScratch(dir, "reply.json"), nullptr, false);
    EXPECT_EQ(reply["reply"], "play");
    EXPECT_EQ(reply["played"], true);
    EXPECT_EQ(reply["state"]["last"], Json({{"category", 1}, {"index", 2}}));
    EXPECT_GT(Heard(sink, 660, 6000), 0.1) << "the message's effect was not heard";
    const Json bad = Json::parse(ReadScratch(dir, "bad.json"), nullptr, false);
    EXPECT_EQ(bad["ok"], false);
    EXPECT_EQ(bad["error"], "bad_json");
    // The 3 s effect plays to its end, and the client is told.
    ASSERT_TRUE(WaitFor([&] { return ScratchHas(dir, "ended.json") || ScratchHas(dir, "error"); }, 20000))
        << ReadScratch(dir, "log");
    const Json ended = Json::parse(ReadScratch(dir, "ended.json"), nullptr, false);
    EXPECT_EQ(ended["state"]["playing"], false);
    EXPECT_EQ(ended["state"]["last"], Json({{"category", 1}, {"index", 2}}));
  }

  // 200 idle connections are fine; past the limit a stranger is refused and the strangers' oldest
  // make room for the host, and all is well after.
  {
    const std::string dir = Scratch();
    ASSERT_TRUE(RunHostCommand(PythonClient("crowd", p, dir) + " > " + dir + "/log 2>&1", 60000));
    const Json crowd = Json::parse(ReadScratch(dir, "crowd.json"), nullptr, false);
    EXPECT_EQ(crowd["with_200_idle"], 200) << ReadScratch(dir, "log");
    EXPECT_EQ(crowd["stranger_past_the_limit"], 401);
    EXPECT_EQ(crowd["stranger_pushed_one_out"], false) << "strangers push each other out";
    EXPECT_EQ(crowd["past_the_limit"], 200) << "strangers crowded the host out";
    EXPECT_EQ(crowd["host_pushed_one_out"], true);
    EXPECT_EQ(crowd["after_closing"], 200);
  }
  EXPECT_TRUE(copy.Running());
}

// What a stranger sends from the Linux side costs the host nothing: deep JSON and odd ids are
// refused without harm, other web pages are refused, a refused or trickling connection holds no
// place, pipelined requests are each answered, two Host headers are refused, the host is
// answered through a crowd; and plays of a file that does not play answer at once, with no
// message box and no "play" event.
TEST_F(RemoteProgram, WhatAStrangerSendsCostsTheHostNothing) {
  ProgramCopy copy(L"遥控门");
  constexpr int p = kProgramPort + 7;
  Prepare(copy, p);
  velmora::test::WriteBytes(copy / L"坏.wav", "RIFF\x10\0\0\0WAVEjunkjunk");
  velmora::config::ConfigStore(copy.Folder()).WriteValue(L"常用路径", L"4", copy / L"坏.wav");
  ASSERT_TRUE(copy.Start());
  ASSERT_TRUE(copy.WaitSettled());

  ASSERT_EQ(Curl({kAuth + " " + Url(p, "/api/state")})[0].status, 200) << "the remote control did not start";
  const std::string dir = Scratch();
  ASSERT_TRUE(RunHostCommand(PythonClient("door", p, dir) + " > " + dir + "/log 2>&1", 90000));
  const Json door = Json::parse(ReadScratch(dir, "door.json"), nullptr, false);
  ASSERT_TRUE(door.is_object()) << ReadScratch(dir, "log");
  EXPECT_EQ(door["deep_body"], Json::parse(R"([400,{"ok":false,"error":"too_deep","message":"请求内容嵌套过深"}])"));
  EXPECT_EQ(door["after_deep"], 200);
  EXPECT_EQ(door["ws_deep_id"]["error"], "too_deep");
  EXPECT_FALSE(door["ws_deep_id"].contains("id"));
  EXPECT_EQ(door["ws_object_id"]["error"], "bad_id");
  EXPECT_FALSE(door["ws_object_id"].contains("id")) << "an id that is refused is not echoed";
  EXPECT_EQ(door["ws_long_id"]["error"], "bad_id");
  std::string sixtyFour;
  for (int i = 0; i < 64; ++i) sixtyFour += "时";
  EXPECT_EQ(door["ws_id_64"]["id"], sixtyFour) << "64 characters are an id";
  EXPECT_EQ(door["ws_id_int"]["id"], 7);
  EXPECT_EQ(door["foreign_origin"][0], 403);
  EXPECT_EQ(door["foreign_origin"][1]["error"], "wrong_origin");
  EXPECT_EQ(door["own_origin"], 200);
  EXPECT_EQ(door["foreign_ws"], 403);
  EXPECT_EQ(door["refused_closes"], Json::parse(R"({"status":"HTTP/1.1 401","closed":true})"));
  EXPECT_EQ(door["two_hosts"], Json::parse(R"({"status":"HTTP/1.1 400","closed":true})"));
  EXPECT_EQ(door["pipelined_answers"], 3);
  ASSERT_TRUE(door["trickle_closed_after_s"].is_number()) << "a trickled head held its place";
  EXPECT_LT(door["trickle_closed_after_s"].get<double>(), 7.0);
  EXPECT_EQ(door["host_in_crowd"], 200) << "strangers crowded the host out";

  // Twenty plays at once of the broken slot: each told at once, no box, no "play" event.
  const std::string fails = Scratch();
  ASSERT_TRUE(RunHostCommand(PythonClient("failing", p, fails) + " > " + fails + "/log 2>&1", 60000));
  const Json failing = Json::parse(ReadScratch(fails, "failing.json"), nullptr, false);
  ASSERT_TRUE(failing.is_object()) << ReadScratch(fails, "log");
  for (const Json& answer : failing["answers"]) {
    EXPECT_EQ(answer[0], 200);
    EXPECT_EQ(answer[1]["error"], "open_failed") << answer;
  }
  EXPECT_LT(failing["seconds"].get<double>(), 5.0);
  EXPECT_EQ(failing["events"], Json::array()) << "a failed play was announced";
  EXPECT_EQ(velmora::test::FindProcessWindow(copy.ProcessId(), L"#32770"), nullptr) << "a message box opened";
  EXPECT_TRUE(copy.Running());
}

// A second copy on the same port: the port is taken, the board works as ever, and the first
// copy still answers.
TEST_F(RemoteProgram, APortInUseLeavesTheBoardWorking) {
  ProgramCopy first(L"遥控甲");
  Prepare(first, kProgramPort + 1);
  ASSERT_TRUE(first.Start());
  ASSERT_TRUE(first.WaitSettled());
  ProgramCopy second(L"遥控乙");
  Prepare(second, kProgramPort + 1);
  ASSERT_TRUE(second.Start());
  ASSERT_TRUE(second.WaitSettled());
  ASSERT_TRUE(second.Running());
  SinkRecording sink("velmora_a");
  ClickBoardSlot(second.Board(), 1);
  EXPECT_GT(Heard(sink, 1000), 0.1) << "the board of the copy without a port plays nothing";
  EXPECT_EQ(Curl({kAuth + " " + Url(kProgramPort + 1, "/api/state")})[0].status, 200);
  EXPECT_TRUE(second.Running());
}

// The settings window's 遥控 rows in the running program: the port as typed, switched on with a
// code made then and shown, a new code that ends the old one at once, the LAN address for a
// phone, a port another program holds said plainly while the board plays on, and off.
TEST_F(RemoteProgram, TheSettingsRowsDriveTheControl) {
  using velmora::ui::SettingsWindow;
  ProgramCopy copy(L"遥控设置");
  constexpr int kSettingsPort = 29421;
  Prepare(copy, kSettingsPort);
  velmora::config::ConfigStore store(copy.Folder());
  store.WriteValue(L"遥控", L"开关", L"假");
  store.WriteValue(L"遥控", L"令牌", L"");
  ASSERT_TRUE(copy.Start());
  ASSERT_TRUE(copy.WaitSettled());
  ::PostMessageW(copy.Board(), WM_COMMAND, static_cast<WPARAM>(velmora::app::TrayCommand::Settings), 0);
  HWND settings = nullptr;
  ASSERT_TRUE(WaitFor([&] {  // shown once it has been filled
    settings = velmora::test::FindProcessWindow(copy.ProcessId(), L"VelmoraSettings");
    return settings && ::IsWindowVisible(settings);
  }));
  const auto control = [&](int id) { return ::GetDlgItem(settings, id); };
  const auto text = [&](int id) {  // WM_GETTEXT: GetWindowText does not ask another process's edits
    wchar_t buffer[256] = {};
    ::SendMessageW(control(id), WM_GETTEXT, ARRAYSIZE(buffer), reinterpret_cast<LPARAM>(buffer));
    return std::wstring(buffer);
  };
  const auto click = [&](int id) { ::SendMessageW(control(id), BM_CLICK, 0, 0); };
  const auto code = [&] {  // as a user takes it: 复制, then the clipboard
    if (::OpenClipboard(nullptr)) {
      ::EmptyClipboard();
      ::CloseClipboard();
    }
    click(SettingsWindow::kRemoteCopyCode);
    std::string copied;
    if (::OpenClipboard(nullptr)) {
      if (HANDLE data = ::GetClipboardData(CF_UNICODETEXT)) {
        const std::wstring wide(static_cast<const wchar_t*>(::GlobalLock(data)));
        ::GlobalUnlock(data);
        copied.assign(wide.begin(), wide.end());
      }
      ::CloseClipboard();
    }
    return copied;
  };
  const auto hold = [&](UINT message) {  // the 显示 button pressed or let go
    ::SendMessageW(control(SettingsWindow::kRemoteShowCode), message, message == WM_LBUTTONDOWN ? MK_LBUTTON : 0,
                   MAKELPARAM(5, 5));
  };
  const auto status = [&](const std::string& with, int port) {
    return Curl({"-H 'Authorization: Bearer " + with + "' " + Url(port, "/api/state")})[0].status;
  };
  EXPECT_EQ(text(SettingsWindow::kRemotePort), std::to_wstring(kSettingsPort));
  EXPECT_EQ(code(), "") << "a code before the control was ever on";
  EXPECT_EQ(text(SettingsWindow::kRemoteStatus), L"");

  // A typed port is stored a moment after the last keystroke; then on, with a fresh code.
  const int port = kSettingsPort + 1;
  ::SendMessageW(control(SettingsWindow::kRemotePort), WM_SETTEXT, 0,
                 reinterpret_cast<LPARAM>(std::to_wstring(port).c_str()));
  EXPECT_TRUE(WaitFor([&] { return store.ReadValue(L"遥控", L"端口") == std::to_wstring(port); }, 5000));
  click(SettingsWindow::kRemoteOn);
  const std::string first = code();
  EXPECT_TRUE(velmora::config::IsWellFormedToken(first)) << first;
  EXPECT_EQ(store.ReadValue(L"遥控", L"令牌"), std::wstring(first.begin(), first.end()));
  EXPECT_EQ(store.ReadValue(L"遥控", L"开关"), L"真");
  EXPECT_EQ(text(SettingsWindow::kRemoteStatus), L"遥控已开启，仅本机可用");
  EXPECT_EQ(status(first, port), 200);

  // 更换访问码: the old code is refused at once.
  click(SettingsWindow::kRemoteNewCode);
  const std::string second = code();
  EXPECT_TRUE(velmora::config::IsWellFormedToken(second) && second != first) << second;
  EXPECT_EQ(status(first, port), 401);
  EXPECT_EQ(status(second, port), 200);

  // 允许局域网: the phone's address, code included, which shows (with the code itself) only while
  // 显示 is held: the host's screen may be on air.
  click(SettingsWindow::kRemoteLan);
  EXPECT_EQ(store.ReadValue(L"遥控", L"局域网"), L"真");
  const std::string lan = velmora::remote::FirstLanAddress();
  const std::string url = "http://" + lan + ":" + std::to_string(port) + "/?code=";
  const std::wstring phone = L"手机访问: " + std::wstring(url.begin(), url.end());
  const std::wstring none = L"遥控已开启，未找到局域网地址";
  EXPECT_EQ(text(SettingsWindow::kRemoteStatus), lan.empty() ? none : phone + L"●●●●●●●●");
  EXPECT_EQ(::SendMessageW(control(SettingsWindow::kRemoteCode), EM_GETPASSWORDCHAR, 0, 0), L'●');
  hold(WM_LBUTTONDOWN);
  EXPECT_EQ(text(SettingsWindow::kRemoteStatus), lan.empty() ? none : phone + std::wstring(second.begin(), second.end()));
  EXPECT_EQ(::SendMessageW(control(SettingsWindow::kRemoteCode), EM_GETPASSWORDCHAR, 0, 0), 0);
  hold(WM_LBUTTONUP);
  EXPECT_EQ(text(SettingsWindow::kRemoteStatus), lan.empty() ? none : phone + L"●●●●●●●●");
  EXPECT_EQ(::SendMessageW(control(SettingsWindow::kRemoteCode), EM_GETPASSWORDCHAR, 0, 0), L'●');
  click(SettingsWindow::kRemoteLan);

  // A new code the configuration cannot take (another program holds the file): said so, and the
  // old code goes on working.
  {
    const velmora::UniqueFile held(::CreateFileW((copy / L"zuboinf.ini").c_str(), GENERIC_READ, 0, nullptr,
                                                 OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(held);
    click(SettingsWindow::kRemoteNewCode);
    EXPECT_EQ(text(SettingsWindow::kRemoteStatus), L"新访问码未能保存，原访问码仍然有效");
  }
  EXPECT_EQ(code(), second);
  EXPECT_EQ(status(second, port), 200);

  // A port another program holds: said in the window, stored all the same, the board unharmed.
  const int taken = kSettingsPort + 2;
  ASSERT_TRUE(HoldPort(taken));
  ::SendMessageW(control(SettingsWindow::kRemotePort), WM_SETTEXT, 0,
                 reinterpret_cast<LPARAM>(std::to_wstring(taken).c_str()));
  ::SendMessageW(settings, WM_COMMAND, MAKEWPARAM(SettingsWindow::kRemotePort, EN_KILLFOCUS),
                 reinterpret_cast<LPARAM>(control(SettingsWindow::kRemotePort)));
  EXPECT_EQ(text(SettingsWindow::kRemoteStatus), L"遥控端口已被占用");
  EXPECT_EQ(store.ReadValue(L"遥控", L"端口"), std::to_wstring(taken));
  EXPECT_EQ(status(second, port), 0) << "the old port still answers";
  // Not a port: the stored one shows again.
  ::SendMessageW(control(SettingsWindow::kRemotePort), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(L"70000"));
  ::SendMessageW(settings, WM_COMMAND, MAKEWPARAM(SettingsWindow::kRemotePort, EN_KILLFOCUS),
                 reinterpret_cast<LPARAM>(control(SettingsWindow::kRemotePort)));
  EXPECT_EQ(text(SettingsWindow::kRemotePort), std::to_wstring(taken));

  // Off: nothing answers, and the window says nothing more.
  click(SettingsWindow::kRemoteOn);
  EXPECT_EQ(store.ReadValue(L"遥控", L"开关"), L"假");
  EXPECT_EQ(text(SettingsWindow::kRemoteStatus), L"");
  ::PostMessageW(settings, WM_CLOSE, 0, 0);
  EXPECT_TRUE(WaitFor([&] { return !::IsWindow(settings); }));
  SinkRecording sink("velmora_a");
  ClickBoardSlot(copy.Board(), 1);
  EXPECT_GT(Heard(sink, 1000), 0.1) << "the board no longer plays";
}

// Clicks on the running board with 音量均衡 on: an effect 18 dB quieter comes out as loud as the
// others, and an effect's own volume still counts on top of the even level.
TEST_F(RemoteProgram, TheBoardLevelsLoudnessAndKeepsEachEffectsVolume) {
  ProgramCopy copy(L"均衡");
  Prepare(copy, kProgramPort + 5);
  velmora::config::ConfigStore store(copy.Folder());
  velmora::test::WriteBytes(copy / L"欢呼.wav", velmora::test::ToneWav(660, 3.0, 0.5 / 8));  // -18 dB
  store.WriteValue(L"常用音量", L"3", L"50");
  store.WriteValue(L"均衡", L"开关", L"真");
  ASSERT_TRUE(copy.Start());
  ASSERT_TRUE(copy.WaitSettled());
  double heard[3] = {};
  const double frequencies[3] = {1000, 660, 1500};
  for (int slot = 1; slot <= 3; ++slot) {
    SinkRecording sink("velmora_a");
    ClickBoardSlot(copy.Board(), slot);
    heard[slot - 1] = Heard(sink, frequencies[slot - 1]);
    ASSERT_GT(heard[slot - 1], 0.0) << "slot " << slot << " played nothing";
  }
  EXPECT_NEAR(20 * std::log10(heard[1] / heard[0]), 0.0, 1.0) << "the quiet effect was not brought up";
  EXPECT_NEAR(heard[2] / heard[0], 0.5, 0.08) << "the slot's own volume was lost";
}

// The phone page in a real browser: a tap plays at the sink, a click on the board shows on it.
TEST_F(RemoteProgram, PhonePageTapsAndFollowsTheBoard) {
  ProgramCopy copy(L"遥控页");
  Prepare(copy, kProgramPort + 2);
  ASSERT_TRUE(copy.Start());
  ASSERT_TRUE(copy.WaitSettled());
  const std::string dir = Scratch();
  SinkRecording sink("velmora_a");
  ASSERT_TRUE(
      RunHostCommand("(" + PythonClient("page", kProgramPort + 2, dir) + " > " + dir + "/log 2>&1 </dev/null &)"));
  ASSERT_TRUE(WaitFor([&] { return ScratchHas(dir, "tapped") || ScratchHas(dir, "page.json"); }, 40000))
      << ReadScratch(dir, "log");
  const Json ready = Json::parse(ReadScratch(dir, "ready"), nullptr, false);
  ASSERT_TRUE(ready.is_object()) << ReadScratch(dir, "page.json") << ReadScratch(dir, "log");
  EXPECT_EQ(ready["tabs"], Json({"常用音效", "气氛音效", "其他音效", "自定义音效"}));
  EXPECT_EQ(ready["buttons"], 29);
  EXPECT_EQ(ready["first_caption"], "掌声");
  EXPECT_EQ(ready["first_colour"], "rgba(235, 171, 1, 1)");
  EXPECT_GE(ready["rows"], 8) << "the buttons do not wrap on a phone's screen";
  EXPECT_EQ(ready["overflows"], false);
  EXPECT_EQ(ready["volume"], "50");
  EXPECT_GT(Heard(sink, 1000, 6000), 0.1) << "the tap played nothing";

  ClickBoardSlot(copy.Board(), 3);
  ASSERT_TRUE(WaitFor([&] { return ScratchHas(dir, "page.json"); }, 20000)) << ReadScratch(dir, "log");
  const Json page = Json::parse(ReadScratch(dir, "page.json"), nullptr, false);
  EXPECT_EQ(page["board_click_shown"], true) << page.dump();
  EXPECT_EQ(page["first_still_marked"], false);
}
