// The remote control's JSON: the commands a request or a WebSocket message carries, checked
// field by field, and the answers and events sent back. Parsing runs on the server thread,
// Execute on the UI thread. No Windows headers and no networking here.
#pragma once

#include "remote/RemoteActions.h"

#include <nlohmann/json.hpp>

#include <string>
#include <string_view>

namespace velmora::remote {

using Json = nlohmann::json;

// No command of ours nests: a text deeper than this is refused before it is parsed, since a
// deep value costs recursion wherever it is copied or written out.
inline constexpr int kMaxJsonDepth = 32;
// A WebSocket message's "id" is handed back with its answer: null, a whole number, or a string
// of at most this many characters. Anything else is refused and nothing of it is echoed.
inline constexpr size_t kMaxIdCharacters = 64;

// Whether `text` holds arrays and objects nested deeper than `limit` (a text that is no JSON
// at all is not, as far as it was read).
bool NestedDeeperThan(std::string_view text, int limit);

enum class CommandKind { Slots, State, Play, PlayHotkey, Stop, StepVolume, SetVolume };

struct Command {
  CommandKind kind = CommandKind::State;
  int category = 0;
  int index = 0;
  int value = 0;  // the volume step or level
  std::wstring hotkey;
};

struct Answer {
  int status = 200;
  Json body;  // always an object with "ok"
};

// {"ok":false,"error":code,"message":text}; `message` is UTF-8 (the texts below).
Answer ErrorAnswer(int status, std::string_view code, std::string_view message);

// Either a command or the 400 answer saying what is wrong with the text.
struct Parsed {
  bool ok = false;
  Command command;
  Answer error;
};

// Bodies of POST /api/play ({"category":c,"index":i} or {"hotkey":"F5"}), POST /api/stop
// (empty or {}) and POST /api/volume ({"step":n} or {"level":n}).
Parsed ParsePlay(std::string_view body);
Parsed ParseStop(std::string_view body);
Parsed ParseVolume(std::string_view body);

// A WebSocket message: {"cmd":"slots"|"state"|"play"|"stop"|"volume", ...the fields of the
// matching request, "id":null|integer|short string}. `cmd` and `id` are handed back for the
// answer (`id` null when it came in any other form).
Parsed ParseMessage(std::string_view text, std::string& cmd, Json& id);

// Carries the command out through `actions` (on the UI thread) and says how it went.
Answer Execute(const Command& command, RemoteActions& actions);

Json StateJson(const BoardState& state);
// {"event":"play"|"stop"|"volume"|"captions","state":{...}}
std::string EventText(BoardEvent event, const BoardState& state);
// A WebSocket answer: the answer's fields with "reply" (the command) and "id" when one came.
std::string MessageAnswerText(const Answer& answer, std::string_view cmd, const Json& id);
// Serialised for the wire, always valid UTF-8.
std::string Serialise(const Json& json);

// Error codes and the texts that go with them.
namespace texts {
inline constexpr char kBadJson[] = "请求内容不是有效的JSON";
inline constexpr char kTooDeep[] = "请求内容嵌套过深";
inline constexpr char kBadId[] = "id字段应为整数或不超过64个字符的字符串";
inline constexpr char kNotAnObject[] = "请求内容应为JSON对象";
inline constexpr char kUnknownField[] = "请求中有无法识别的字段";
inline constexpr char kMissingField[] = "请求缺少必需的字段";
inline constexpr char kWrongType[] = "字段类型不正确";
inline constexpr char kOutOfRange[] = "数值超出范围";
inline constexpr char kNoSuchSlot[] = "没有这个音效按钮";
inline constexpr char kNoSuchHotkey[] = "没有这个热键";
inline constexpr char kUnknownCommand[] = "无法识别的命令";
inline constexpr char kOpenFailed[] = "打开文件失败";
inline constexpr char kUnauthorized[] = "令牌错误";
inline constexpr char kWrongHost[] = "不接受此主机名";
inline constexpr char kWrongOrigin[] = "不接受来自其他网页的请求";
inline constexpr char kNotFound[] = "没有这个地址";
inline constexpr char kWrongMethod[] = "不支持此请求方法";
inline constexpr char kTooLarge[] = "请求内容过大";
inline constexpr char kBadRequest[] = "请求格式错误";
inline constexpr char kBusy[] = "程序忙，请稍后再试";
inline constexpr char kTooManyConnections[] = "连接过多，请稍后再试";
}  // namespace texts

}  // namespace velmora::remote
