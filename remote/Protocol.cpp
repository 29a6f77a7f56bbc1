#include "remote/Protocol.h"

#include "remote/Utf8.h"

#include <algorithm>
#include <cstdio>
#include <initializer_list>

namespace velmora::remote {

namespace {

Parsed Fail(std::string_view code, std::string_view message) {
  Parsed parsed;
  parsed.error = ErrorAnswer(400, code, message);
  return parsed;
}

Parsed Ok(Command command) {
  Parsed parsed;
  parsed.ok = true;
  parsed.command = std::move(command);
  return parsed;
}

// Whether the object has fields other than `allowed` and `extra` (a WebSocket message's own).
bool HasUnknownField(const Json& object, std::initializer_list<std::string_view> allowed,
                     std::initializer_list<std::string_view> extra) {
  for (const auto& item : object.items()) {
    const std::string& key = item.key();
    const auto is = [&key](std::string_view name) { return key == name; };
    if (std::none_of(allowed.begin(), allowed.end(), is) && std::none_of(extra.begin(), extra.end(), is)) return true;
  }
  return false;
}

// An integer field within [min, max]; anything else (a fraction, a string, true) is refused.
bool ReadInteger(const Json& object, const char* name, long long min, long long max, int& out, Parsed& failure) {
  const auto found = object.find(name);
  if (found == object.end()) {
    failure = Fail("missing_field", texts::kMissingField);
    return false;
  }
  if (!found->is_number_integer()) {
    failure = Fail("wrong_type", texts::kWrongType);
    return false;
  }
  // The parser keeps every non-negative number unsigned, so a large one is looked at as such.
  bool inRange = false;
  if (found->is_number_unsigned()) {
    const unsigned long long value = found->get<unsigned long long>();
    inRange =
        value <= static_cast<unsigned long long>(max) && (min <= 0 || value >= static_cast<unsigned long long>(min));
  } else {
    const long long value = found->get<long long>();
    inRange = value >= min && value <= max;
  }
  if (!inRange) {
    failure = Fail("out_of_range", texts::kOutOfRange);
    return false;
  }
  out = static_cast<int>(found->get<long long>());
  return true;
}

// Reads a text through the parser's event interface, keeping nothing but how deep it is, and
// stops at the first level past the limit: nothing deep is ever built.
class DepthLimit {
 public:
  explicit DepthLimit(int limit) : limit_(limit) {}
  bool TooDeep() const { return tooDeep_; }

  bool null() { return true; }
  bool boolean(bool) { return true; }
  bool number_integer(Json::number_integer_t) { return true; }
  bool number_unsigned(Json::number_unsigned_t) { return true; }
  bool number_float(Json::number_float_t, const Json::string_t&) { return true; }
  bool string(Json::string_t&) { return true; }
  bool binary(Json::binary_t&) { return true; }
  bool key(Json::string_t&) { return true; }
  bool start_object(std::size_t) { return Enter(); }
  bool start_array(std::size_t) { return Enter(); }
  bool end_object() { return Leave(); }
  bool end_array() { return Leave(); }
  bool parse_error(std::size_t, const std::string&, const Json::exception&) { return false; }

 private:
  bool Enter() {
    tooDeep_ = ++depth_ > limit_;
    return !tooDeep_;
  }
  bool Leave() {
    --depth_;
    return true;
  }
  int limit_;
  int depth_ = 0;
  bool tooDeep_ = false;
};

// Characters of UTF-8 text (the parser has checked it is UTF-8): bytes that start one.
size_t Utf8Characters(const std::string& text) {
  return static_cast<size_t>(
      std::count_if(text.begin(), text.end(), [](char c) { return (static_cast<unsigned char>(c) & 0xC0) != 0x80; }));
}

bool IsAcceptableId(const Json& id) {
  return id.is_null() || id.is_number_integer() ||
         (id.is_string() && Utf8Characters(id.get_ref<const std::string&>()) <= kMaxIdCharacters);
}

// Parses `text` as one JSON object; an empty text is an empty object when `emptyIsObject`.
bool ParseObject(std::string_view text, bool emptyIsObject, Json& object, Parsed& failure) {
  if (emptyIsObject && text.find_first_not_of(" \t\r\n") == std::string_view::npos) {
    object = Json::object();
    return true;
  }
  if (NestedDeeperThan(text, kMaxJsonDepth)) {
    failure = Fail("too_deep", texts::kTooDeep);
    return false;
  }
  object = Json::parse(text, nullptr, false);
  if (object.is_discarded()) {
    failure = Fail("bad_json", texts::kBadJson);
    return false;
  }
  if (!object.is_object()) {
    failure = Fail("bad_json", texts::kNotAnObject);
    return false;
  }
  return true;
}

Parsed PlayFrom(const Json& object, std::initializer_list<std::string_view> extra) {
  if (object.contains("hotkey")) {
    if (HasUnknownField(object, {"hotkey"}, extra)) return Fail("unknown_field", texts::kUnknownField);
    const Json& name = object["hotkey"];
    if (!name.is_string()) return Fail("wrong_type", texts::kWrongType);
    const std::string& text = name.get_ref<const std::string&>();
    // Every hotkey name is short ASCII ("F5", "1", "Z"); anything else names none of them.
    if (text.empty() || text.size() > 8 ||
        std::any_of(text.begin(), text.end(), [](char c) { return c <= ' ' || c > '~'; }))
      return Fail("no_such_hotkey", texts::kNoSuchHotkey);
    Command command;
    command.kind = CommandKind::PlayHotkey;
    command.hotkey.assign(text.begin(), text.end());
    return Ok(std::move(command));
  }
  if (HasUnknownField(object, {"category", "index"}, extra)) return Fail("unknown_field", texts::kUnknownField);
  Command command;
  command.kind = CommandKind::Play;
  Parsed failure;
  if (!ReadInteger(object, "category", 1, 4, command.category, failure)) return failure;
  if (!ReadInteger(object, "index", 1, 100, command.index, failure)) return failure;
  return Ok(std::move(command));
}

Parsed StopFrom(const Json& object, std::initializer_list<std::string_view> extra) {
  if (HasUnknownField(object, {}, extra)) return Fail("unknown_field", texts::kUnknownField);
  Command command;
  command.kind = CommandKind::Stop;
  return Ok(std::move(command));
}

Parsed VolumeFrom(const Json& object, std::initializer_list<std::string_view> extra) {
  if (HasUnknownField(object, {"step", "level"}, extra)) return Fail("unknown_field", texts::kUnknownField);
  const bool step = object.contains("step");
  if (step == object.contains("level")) return Fail("missing_field", texts::kMissingField);  // exactly one
  Command command;
  Parsed failure;
  if (step) {
    command.kind = CommandKind::StepVolume;
    if (!ReadInteger(object, "step", -kVolumeMax, kVolumeMax, command.value, failure)) return failure;
  } else {
    command.kind = CommandKind::SetVolume;
    if (!ReadInteger(object, "level", kVolumeMin, kVolumeMax, command.value, failure)) return failure;
  }
  return Ok(std::move(command));
}

Parsed SimpleFrom(const Json& object, CommandKind kind, std::initializer_list<std::string_view> extra) {
  if (HasUnknownField(object, {}, extra)) return Fail("unknown_field", texts::kUnknownField);
  Command command;
  command.kind = kind;
  return Ok(std::move(command));
}

std::string ColourText(uint32_t rgb) {
  char text[8];
  std::snprintf(text, sizeof text, "#%06x", static_cast<unsigned>(rgb & 0xFFFFFFu));
  return text;
}

Json OkBody() { return Json{{"ok", true}}; }

Answer PlayAnswer(PlayOutcome outcome, RemoteActions& actions) {
  switch (outcome) {
    case PlayOutcome::NoSuchSlot:
      return ErrorAnswer(400, "no_such_slot", texts::kNoSuchSlot);
    case PlayOutcome::NoSuchHotkey:
      return ErrorAnswer(400, "no_such_hotkey", texts::kNoSuchHotkey);
    case PlayOutcome::Failed: {
      Answer answer = ErrorAnswer(200, "open_failed", texts::kOpenFailed);
      answer.body["played"] = false;
      answer.body["state"] = StateJson(actions.State());
      return answer;
    }
    case PlayOutcome::NoFile:
    case PlayOutcome::Played:
    case PlayOutcome::Stopped:
      break;
  }
  Answer answer{200, OkBody()};
  answer.body["played"] = outcome == PlayOutcome::Played;
  if (outcome == PlayOutcome::Stopped) answer.body["stopped"] = true;
  answer.body["state"] = StateJson(actions.State());
  return answer;
}

}  // namespace

bool NestedDeeperThan(std::string_view text, int limit) {
  DepthLimit depth(limit);
  Json::sax_parse(text, &depth);
  return depth.TooDeep();
}

Answer ErrorAnswer(int status, std::string_view code, std::string_view message) {
  return Answer{status, Json{{"ok", false}, {"error", code}, {"message", message}}};
}

Parsed ParsePlay(std::string_view body) {
  Json object;
  Parsed failure;
  if (!ParseObject(body, false, object, failure)) return failure;
  return PlayFrom(object, {});
}

Parsed ParseStop(std::string_view body) {
  Json object;
  Parsed failure;
  if (!ParseObject(body, true, object, failure)) return failure;
  return StopFrom(object, {});
}

Parsed ParseVolume(std::string_view body) {
  Json object;
  Parsed failure;
  if (!ParseObject(body, false, object, failure)) return failure;
  return VolumeFrom(object, {});
}

Parsed ParseMessage(std::string_view text, std::string& cmd, Json& id) {
  cmd.clear();
  id = nullptr;
  Json object;
  Parsed failure;
  if (!ParseObject(text, false, object, failure)) return failure;
  if (const auto found = object.find("id"); found != object.end()) {
    if (!IsAcceptableId(*found)) return Fail("bad_id", texts::kBadId);
    id = *found;
  }
  const auto found = object.find("cmd");
  if (found == object.end()) return Fail("missing_field", texts::kMissingField);
  if (!found->is_string()) return Fail("wrong_type", texts::kWrongType);
  cmd = found->get<std::string>();
  const std::initializer_list<std::string_view> own{"cmd", "id"};
  if (cmd == "play") return PlayFrom(object, own);
  if (cmd == "stop") return StopFrom(object, own);
  if (cmd == "volume") return VolumeFrom(object, own);
  if (cmd == "state") return SimpleFrom(object, CommandKind::State, own);
  if (cmd == "slots") return SimpleFrom(object, CommandKind::Slots, own);
  if (cmd.size() > 32) cmd.resize(32);  // it is echoed back
  return Fail("unknown_command", texts::kUnknownCommand);
}

Json StateJson(const BoardState& state) {
  Json last = nullptr;
  if (state.lastCategory > 0) last = Json{{"category", state.lastCategory}, {"index", state.lastIndex}};
  return Json{{"playing", state.playing},
              {"last", std::move(last)},
              {"volume", state.volume},
              {"monitor", state.monitor},
              {"microphone", state.microphone}};
}

Answer Execute(const Command& command, RemoteActions& actions) {
  switch (command.kind) {
    case CommandKind::Slots: {
      const BoardView board = actions.Slots();
      Json pages = Json::array();
      for (size_t i = 0; i < board.pages.size(); ++i)
        pages.push_back(Json{{"category", static_cast<int>(i) + 1}, {"name", ToUtf8(board.pages[i])}});
      Json slots = Json::array();
      for (const SlotView& slot : board.slots) {
        slots.push_back(Json{{"category", slot.category},
                             {"index", slot.index},
                             {"caption", ToUtf8(slot.caption)},
                             {"file", slot.hasFile},
                             {"hotkey", slot.hotkey.empty() ? Json(nullptr) : Json(ToUtf8(slot.hotkey))},
                             {"colour", ColourText(slot.colour)}});
      }
      Answer answer{200, OkBody()};
      answer.body["pages"] = std::move(pages);
      answer.body["slots"] = std::move(slots);
      return answer;
    }
    case CommandKind::State: {
      Answer answer{200, StateJson(actions.State())};
      answer.body["ok"] = true;
      return answer;
    }
    case CommandKind::Play:
      return PlayAnswer(actions.PlaySlot(command.category, command.index), actions);
    case CommandKind::PlayHotkey:
      return PlayAnswer(actions.PlayHotkey(command.hotkey), actions);
    case CommandKind::Stop:
      actions.StopPlayback();
      break;
    case CommandKind::StepVolume:
      actions.StepVolume(command.value);
      break;
    case CommandKind::SetVolume:
      actions.SetVolumeLevel(command.value);
      break;
  }
  Answer answer{200, OkBody()};
  answer.body["state"] = StateJson(actions.State());
  return answer;
}

std::string EventText(BoardEvent event, const BoardState& state) {
  const char* name = "play";
  switch (event) {
    case BoardEvent::Play:
      break;
    case BoardEvent::Stop:
      name = "stop";
      break;
    case BoardEvent::Ended:
      name = "ended";
      break;
    case BoardEvent::Volume:
      name = "volume";
      break;
    case BoardEvent::Captions:
      name = "captions";
      break;
  }
  return Serialise(Json{{"event", name}, {"state", StateJson(state)}});
}

std::string MessageAnswerText(const Answer& answer, std::string_view cmd, const Json& id) {
  Json body = answer.body;
  body["reply"] = cmd;
  if (!id.is_null()) body["id"] = id;
  return Serialise(body);
}

std::string Serialise(const Json& json) { return json.dump(-1, ' ', false, Json::error_handler_t::replace); }

}  // namespace velmora::remote
