// libFuzzer target for the remote control's door (built natively by scripts/fuzz.sh): whatever
// a client sends is parsed as each request body and as a WebSocket message, carried out against
// a stand-in for the board that records what it was asked, and its answer written; the rules
// (Host, Origin, the code, the target, the stored port) read it too. Every answer must be an
// object with "ok", serialise to valid UTF-8 JSON, and echo only an id of the allowed forms.
#include "remote/Protocol.h"
#include "remote/Rules.h"
#include "config/SettingValues.h"
#include "tests/fuzz/FuzzCheck.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

namespace {

using namespace velmora::remote;

void Require(bool condition) {
  if (!condition) std::abort();
}

// The board, as the protocol sees it: it answers every call and counts them.
class RecordingBoard final : public RemoteActions {
 public:
  BoardView Slots() override {
    ++calls;
    BoardView view;
    view.pages = {L"常用音效", L"喊麦音效", L"其他音效", L"自定义音效"};
    view.slots.push_back(SlotView{1, 1, L"掌声\xD800", true, L"F5", 0x123456});  // a lone surrogate too
    return view;
  }
  BoardState State() override {
    ++calls;
    return BoardState{true, 1, 1, 50, false, true};
  }
  PlayOutcome PlaySlot(int category, int index) override {
    ++calls;
    Require(category >= 1 && category <= 4 && index >= 1 && index <= 100);
    return index % 2 ? PlayOutcome::Played : PlayOutcome::Failed;
  }
  PlayOutcome PlayHotkey(const std::wstring& name) override {
    ++calls;
    Require(!name.empty() && name.size() <= 8);
    return PlayOutcome::NoSuchHotkey;
  }
  void StopPlayback() override { ++calls; }
  void StepVolume(int delta) override {
    ++calls;
    Require(delta >= -kVolumeMax && delta <= kVolumeMax);
  }
  void SetVolumeLevel(int level) override {
    ++calls;
    Require(level >= kVolumeMin && level <= kVolumeMax);
  }
  int calls = 0;
};

void CheckAnswer(const Answer& answer) {
  Require(answer.status >= 200 && answer.status < 600);
  Require(answer.body.is_object() && answer.body.contains("ok"));
  const std::string text = Serialise(answer.body);
  Require(!Json::parse(text, nullptr, false).is_discarded());
}

void Try(const Parsed& parsed, RecordingBoard& board) {
  if (!parsed.ok) {
    Require(parsed.error.status == 400);
    CheckAnswer(parsed.error);
    return;
  }
  CheckAnswer(Execute(parsed.command, board));
}

}  // namespace

VELMORA_FUZZ_TARGET(remote) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  RecordingBoard board;
  Try(ParsePlay(text), board);
  Try(ParseStop(text), board);
  Try(ParseVolume(text), board);

  std::string cmd;
  Json id;
  const Parsed message = ParseMessage(text, cmd, id);
  Require(id.is_null() || id.is_number_integer() || (id.is_string() && id.get_ref<const std::string&>().size() <= 4 * kMaxIdCharacters));
  Require(cmd.size() <= 32 || message.ok);
  const Answer answer = message.ok ? Execute(message.command, board) : message.error;
  const std::string reply = MessageAnswerText(answer, cmd, id);
  Require(!Json::parse(reply, nullptr, false).is_discarded());
  if (NestedDeeperThan(text, kMaxJsonDepth)) Require(!message.ok);

  // The rules, on the same bytes split in two at the first newline: a header and another.
  const size_t split = text.find('\n');
  const std::string_view first = text.substr(0, split);
  const std::string_view second = split == std::string_view::npos ? std::string_view{} : text.substr(split + 1);
  const std::vector<std::string> names{"127.0.0.1", "localhost", "192.168.1.20"};
  if (HostNamesUs(first, 39393, names)) Require(first.size() >= 9);
  if (OriginAllowed(first, second)) Require(first == "http://" + std::string(second));
  (void)SameCode(first, second);
  (void)BearerCode(first);
  const Target target = SplitTarget(first);
  Require(target.path.size() + target.query.size() <= first.size());
  (void)QueryValue(target.query, "code");
  const std::wstring wide(first.begin(), first.end());
  const int port = velmora::config::ParsePort(wide);
  Require(port >= 1 && port <= 65535);
  return 0;
}
