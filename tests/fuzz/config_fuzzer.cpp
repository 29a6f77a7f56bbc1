// libFuzzer target for the configuration's text rules (built natively by scripts/fuzz.sh): when a
// profile section may be written whole, how names are trimmed, how a stored number reads and
// writes, and the walk through damaged GBK text, all over arbitrary bytes.
//
// The input's first line is a section name, the rest a configuration file; the whole input is
// also a name to trim, a value to read as a number (byte by byte and as UTF-16), and GBK bytes to
// decode through a stand-in for code page 936.
#include "config/Encoding.h"
#include "config/ProfileText.h"
#include "tests/fuzz/FuzzCheck.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace {

using namespace velmora::config;
using velmora::audio::fuzz::Require;

constexpr long kMaxNumber = 2147483647;  // Windows' LONG_MAX and LONG_MIN, where the reading saturates

std::string AsciiUpper(std::string_view text) {
  std::string upper(text);
  for (char& c : upper) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  return upper;
}

bool StartsWithByteOrderMark(std::string_view file) {
  return file.starts_with("\xFF\xFE") || file.starts_with("\xFE\xFF") || file.starts_with("\xEF\xBB");
}

void CheckSection(std::string_view file, std::string_view section) {
  const bool plain = SectionIsPlain(file, section);
  if (StartsWithByteOrderMark(file)) Require(!plain);
  // The name matches whatever its case in ASCII and its blanks around it.
  Require(SectionIsPlain(file, " \t" + AsciiUpper(section) + " ") == plain);
  const std::string_view name = TrimProfileName(section);
  if (name.find('\n') != std::string_view::npos) return;
  // Another section's lines are none of its business, however odd they are.
  if (!StartsWithByteOrderMark(file)) {
    const std::string other =
        "[" + std::string(name) + "x]\n; a comment\nno equals sign\n[" + std::string(name) + "x]\n";
    Require(SectionIsPlain(other + std::string(file), section) == plain);
  }
  // A second header for it is never plain.
  const std::string twice = std::string(file) + "\n[" + std::string(name) + "]\n[" + std::string(name) + "]\n";
  Require(!SectionIsPlain(twice, section));
}

void CheckTrim(std::string_view text) {
  const std::string_view trimmed = TrimProfileName(text);
  Require(TrimProfileName(trimmed) == trimmed);
  Require(trimmed.empty() ||
          (trimmed.data() >= text.data() && trimmed.data() + trimmed.size() <= text.data() + text.size()));
  if (trimmed.empty()) return;
  Require(trimmed.front() != ' ' && trimmed.front() != '\t');
  Require(trimmed.back() != ' ' && trimmed.back() != '\t' && trimmed.back() != '\r');
  for (const char c : text.substr(0, static_cast<size_t>(trimmed.data() - text.data()))) Require(c == ' ' || c == '\t');
}

void CheckNumber(const std::wstring& text) {
  const long value = ParseConfigNumber(text);
  Require(value >= -kMaxNumber - 1 && value <= kMaxNumber);
  Require(ParseConfigNumber(L" \t " + text) == value);  // leading blanks are skipped
  Require(ParseConfigNumber(ConfigNumberText(value)) == value);
}

// A stand-in for code page 936: a lead byte and a byte in GBK's trail range make a character, as
// does 0x80 (the euro sign) on its own; anything else is refused. What it takes is recorded, so
// the walk can be checked against the bytes.
std::vector<std::string> taken;
constexpr wchar_t kTaken = 0xE000;

bool StandInDecoder(std::string_view character, wchar_t& decoded) {
  Require(!character.empty() && character.size() <= 2);
  const auto lead = static_cast<unsigned char>(character[0]);
  Require(lead >= 0x80);  // ASCII never gets here
  bool known = lead == 0x80 && character.size() == 1;
  if (character.size() == 2) {
    Require(IsGbkLeadByte(lead));
    const auto trail = static_cast<unsigned char>(character[1]);
    known = trail >= 0x40 && trail <= 0xFE && trail != 0x7F;
  }
  if (!known) return false;
  taken.emplace_back(character);
  decoded = kTaken;
  return true;
}

// Every byte is accounted for, once and in order: as itself, as part of a character taken, or as
// one replacement character of its own (a refused character never swallows the bytes after it).
void CheckDecoding(std::string_view bytes) {
  taken.clear();
  const std::wstring text = DecodeByCharacter(bytes, StandInDecoder);
  size_t at = 0, next = 0;
  for (const wchar_t c : text) {
    Require(at < bytes.size());
    if (c == kTaken) {
      Require(next < taken.size() && bytes.substr(at, taken[next].size()) == taken[next]);
      at += taken[next++].size();
    } else if (c == 0xFFFD) {
      Require(static_cast<unsigned char>(bytes[at++]) >= 0x80);
    } else {
      Require(c < 0x80 && static_cast<unsigned char>(bytes[at++]) == c);
    }
  }
  Require(at == bytes.size() && next == taken.size());

  // With nothing decodable, every byte outside ASCII is a replacement character of its own.
  const std::wstring refused = DecodeByCharacter(bytes, [](std::string_view, wchar_t&) { return false; });
  Require(refused.size() == bytes.size());
}

}  // namespace

VELMORA_FUZZ_TARGET(config) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  const size_t newline = bytes.find('\n');
  const std::string_view section = bytes.substr(0, newline);
  CheckSection(newline == std::string_view::npos ? std::string_view{} : bytes.substr(newline + 1), section);
  CheckSection(bytes, section);
  CheckTrim(bytes);

  CheckNumber(std::wstring(bytes.begin(), bytes.end()));
  std::wstring units;
  for (size_t i = 0; i + 1 < size; i += 2) units.push_back(static_cast<wchar_t>(data[i] | data[i + 1] << 8));
  CheckNumber(units);
  // Any number the program stores reads back as itself, Windows' LONG_MIN too.
  const auto stored = static_cast<long>(static_cast<int32_t>(velmora::audio::fuzz::TakeBytes(data, size, 4)));
  Require(ParseConfigNumber(ConfigNumberText(stored)) == stored);

  CheckDecoding(bytes);
  return 0;
}
