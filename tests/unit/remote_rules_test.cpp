// The remote control's rules and its JSON on their own; the server and the running program are
// tested under Wine (tests/remote_test.cpp).
#include "remote/Protocol.h"
#include "remote/Rules.h"
#include "config/SettingValues.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

using velmora::remote::Json;

namespace {

constexpr char kCode[] = "00112233445566778899aabbccddeeff";
constexpr char kOtherCode[] = "ffeeddccbbaa99887766554433221100";

}  // namespace

TEST(RemoteRules, StoredValuesTokensAndHosts) {
  using namespace velmora::remote;
  using namespace velmora::config;
  EXPECT_EQ(ParsePort(L""), 39393);
  EXPECT_EQ(ParsePort(L"8080"), 8080);
  for (const wchar_t* odd : {L"0", L"65536", L"70000", L"abc", L"-5", L" 80", L"80.5", L"123456"})
    EXPECT_EQ(ParsePort(odd), 39393) << "port " << static_cast<const void*>(odd);

  EXPECT_TRUE(IsWellFormedToken(kCode));
  EXPECT_FALSE(IsWellFormedToken("00112233445566778899AABBCCDDEEFF"));  // upper case is not ours
  EXPECT_FALSE(IsWellFormedToken("0011223344556677"));
  const uint8_t bytes[kTokenBytes] = {0x00, 0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x77,
                                      0x88, 0x99, 0xaa, 0xbb, 0xcc, 0xdd, 0xee, 0xff};
  EXPECT_EQ(TokenFromBytes(bytes), kCode);

  EXPECT_TRUE(SameCode(kCode, kCode));
  EXPECT_FALSE(SameCode(kOtherCode, kCode));
  EXPECT_FALSE(SameCode(std::string(kCode).substr(0, 31), kCode));
  EXPECT_FALSE(SameCode(std::string(kCode) + "0", kCode));
  EXPECT_FALSE(SameCode("", ""));  // no token is never a match
  EXPECT_EQ(BearerCode("Bearer abc"), "abc");
  EXPECT_EQ(BearerCode("bearer  abc "), "abc");
  EXPECT_EQ(BearerCode("Basic abc"), "");
  EXPECT_EQ(QueryValue("a=1&code=xyz&b=2", "code"), "xyz");
  EXPECT_EQ(QueryValue("codex=1", "code"), "");
  EXPECT_EQ(SplitTarget("/api/play?code=1").path, "/api/play");

  const std::vector<std::string> names{"127.0.0.1", "localhost", "192.168.1.20"};
  EXPECT_TRUE(HostNamesUs("127.0.0.1:39393", 39393, names));
  EXPECT_TRUE(HostNamesUs("LocalHost:39393", 39393, names));
  EXPECT_TRUE(HostNamesUs("192.168.1.20:39393", 39393, names));
  EXPECT_FALSE(HostNamesUs("127.0.0.1:8080", 39393, names));
  EXPECT_FALSE(HostNamesUs("127.0.0.1", 39393, names));
  EXPECT_TRUE(HostNamesUs("localhost", 80, names));
  EXPECT_FALSE(HostNamesUs("evil.example:39393", 39393, names));
  EXPECT_FALSE(HostNamesUs("127.0.0.1.evil.example:39393", 39393, names));
  EXPECT_FALSE(HostNamesUs("", 39393, names));
}

TEST(RemoteProtocol, CommandsAreCheckedFieldByField) {
  using namespace velmora::remote;
  const Parsed slot = ParsePlay(R"({"category":2,"index":7})");
  ASSERT_TRUE(slot.ok);
  EXPECT_EQ(slot.command.kind, CommandKind::Play);
  EXPECT_EQ(slot.command.category, 2);
  EXPECT_EQ(slot.command.index, 7);
  const Parsed hotkey = ParsePlay(R"({"hotkey":"F5"})");
  ASSERT_TRUE(hotkey.ok);
  EXPECT_EQ(hotkey.command.hotkey, L"F5");
  EXPECT_EQ(ParseVolume(R"({"step":-10})").command.value, -10);
  EXPECT_EQ(ParseVolume(R"({"level":55})").command.kind, CommandKind::SetVolume);
  EXPECT_TRUE(ParseStop("").ok);
  EXPECT_TRUE(ParseStop("{}").ok);

  const auto error = [](const Parsed& p) {
    return p.ok ? std::string("ok") : p.error.body["error"].get<std::string>();
  };
  EXPECT_EQ(error(ParsePlay("{bad")), "bad_json");
  EXPECT_EQ(error(ParsePlay("[1,2]")), "bad_json");
  EXPECT_EQ(error(ParsePlay(R"({"category":1,"index":1,"loud":true})")), "unknown_field");
  EXPECT_EQ(error(ParsePlay(R"({"category":5,"index":1})")), "out_of_range");
  EXPECT_EQ(error(ParsePlay(R"({"category":1,"index":0})")), "out_of_range");
  EXPECT_EQ(error(ParsePlay(R"({"category":1,"index":18446744073709551615})")), "out_of_range");
  EXPECT_EQ(error(ParsePlay(R"({"category":1.5,"index":1})")), "wrong_type");
  EXPECT_EQ(error(ParsePlay(R"({"category":"1","index":1})")), "wrong_type");
  EXPECT_EQ(error(ParsePlay(R"({"category":1})")), "missing_field");
  EXPECT_EQ(error(ParsePlay(R"({"hotkey":"F5","index":1})")), "unknown_field");
  EXPECT_EQ(error(ParsePlay(R"({"hotkey":"键"})")), "no_such_hotkey");
  EXPECT_EQ(error(ParseVolume(R"({"step":10,"level":50})")), "missing_field");  // one or the other
  EXPECT_EQ(error(ParseVolume(R"({"level":0})")), "out_of_range");
  EXPECT_EQ(error(ParseVolume(R"({"level":101})")), "out_of_range");
  EXPECT_EQ(error(ParseVolume(R"({"step":true})")), "wrong_type");
  EXPECT_EQ(error(ParseStop(R"({"now":1})")), "unknown_field");
  // Nesting as deep as a body can hold is refused before it is parsed, not a crash.
  EXPECT_EQ(error(ParsePlay(std::string(60000, '[') + std::string(60000, ']'))), "too_deep");
  EXPECT_EQ(ParsePlay("{bad").error.status, 400);

  std::string cmd;
  Json id;
  const Parsed message = ParseMessage(R"({"cmd":"volume","level":30,"id":"x1"})", cmd, id);
  ASSERT_TRUE(message.ok);
  EXPECT_EQ(message.command.kind, CommandKind::SetVolume);
  EXPECT_EQ(cmd, "volume");
  EXPECT_EQ(id, "x1");
  EXPECT_EQ(error(ParseMessage(R"({"cmd":"dance"})", cmd, id)), "unknown_command");
  EXPECT_EQ(error(ParseMessage(R"({"cmd":"stop","extra":1})", cmd, id)), "unknown_field");
  EXPECT_EQ(error(ParseMessage(R"({"index":1})", cmd, id)), "missing_field");
}

TEST(RemoteRules, OnlyOurOwnPageMaySendAnOrigin) {
  using velmora::remote::OriginAllowed;
  EXPECT_TRUE(OriginAllowed("http://127.0.0.1:39393", "127.0.0.1:39393"));
  EXPECT_TRUE(OriginAllowed("http://192.168.1.20:39393", "192.168.1.20:39393"));
  for (const char* origin : {"http://evil.example", "null", "", "https://127.0.0.1:39393", "http://127.0.0.1:39394",
                             "http://127.0.0.1:39393/", "HTTP://127.0.0.1:39393"})
    EXPECT_FALSE(OriginAllowed(origin, "127.0.0.1:39393")) << origin;
  EXPECT_FALSE(OriginAllowed("http://", ""));
}

TEST(RemoteProtocol, DeepTextAndOddIdsAreRefusedAndNothingOfThemEchoed) {
  using namespace velmora::remote;
  const auto nested = [](int depth) { return std::string(static_cast<size_t>(depth), '[') + std::string(static_cast<size_t>(depth), ']'); };
  EXPECT_FALSE(NestedDeeperThan(nested(32), kMaxJsonDepth));
  EXPECT_TRUE(NestedDeeperThan(nested(33), kMaxJsonDepth));
  EXPECT_TRUE(NestedDeeperThan("{\"a\":" + nested(40000), kMaxJsonDepth)) << "even cut short";
  EXPECT_FALSE(NestedDeeperThan("\"[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[\"", kMaxJsonDepth)) << "brackets in a string";
  std::string cmd;
  Json id;
  const auto message = [&](const std::string& idText) {
    return ParseMessage("{\"cmd\":\"state\",\"id\":" + idText + "}", cmd, id);
  };
  for (const std::string& bad : {nested(30000), std::string("{\"a\":1}"), std::string("[1]"), std::string("1.5"),
                                 std::string("true"), "\"" + std::string(65, 'x') + "\""}) {
    const Parsed parsed = message(bad);
    EXPECT_FALSE(parsed.ok) << bad.substr(0, 20);
    EXPECT_TRUE(id.is_null()) << "refused and still echoed: " << bad.substr(0, 20);
  }
  EXPECT_TRUE(message("\"" + std::string(64, 'x') + "\"").ok);
  EXPECT_EQ(id, std::string(64, 'x'));
  EXPECT_TRUE(message("-7").ok);
  EXPECT_EQ(id, -7);
  EXPECT_TRUE(message("null").ok);
}

