#include "remote/Rules.h"

#include <algorithm>
#include <cctype>

namespace velmora::remote {

namespace {

bool EqualNoCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
         });
}

}  // namespace

bool SameCode(std::string_view given, std::string_view expected) {
  // Every byte of the longer text is looked at, whatever matched before.
  const size_t length = std::max(given.size(), expected.size());
  unsigned difference = given.size() == expected.size() ? 0u : 1u;
  for (size_t i = 0; i < length; ++i) {
    const unsigned a = i < given.size() ? static_cast<unsigned char>(given[i]) : 0u;
    const unsigned b = i < expected.size() ? static_cast<unsigned char>(expected[i]) : 0u;
    difference |= a ^ b;
  }
  return difference == 0 && !expected.empty();
}

std::string_view BearerCode(std::string_view authorization) {
  constexpr std::string_view kScheme = "bearer ";
  if (authorization.size() <= kScheme.size() || !EqualNoCase(authorization.substr(0, kScheme.size()), kScheme))
    return {};
  std::string_view code = authorization.substr(kScheme.size());
  while (!code.empty() && code.front() == ' ') code.remove_prefix(1);
  while (!code.empty() && code.back() == ' ') code.remove_suffix(1);
  return code;
}

Target SplitTarget(std::string_view target) {
  const size_t mark = target.find('?');
  if (mark == std::string_view::npos) return {target, {}};
  return {target.substr(0, mark), target.substr(mark + 1)};
}

std::string_view QueryValue(std::string_view query, std::string_view name) {
  while (!query.empty()) {
    const size_t end = std::min(query.find('&'), query.size());
    const std::string_view pair = query.substr(0, end);
    const size_t equals = pair.find('=');
    if (equals != std::string_view::npos && pair.substr(0, equals) == name) return pair.substr(equals + 1);
    query.remove_prefix(std::min(end + 1, query.size()));
  }
  return {};
}

bool HostNamesUs(std::string_view host, int port, const std::vector<std::string>& names) {
  const std::string suffix = ":" + std::to_string(port);
  std::string_view name = host;
  if (name.size() > suffix.size() && name.substr(name.size() - suffix.size()) == suffix) {
    name.remove_suffix(suffix.size());
  } else if (port != 80) {
    return false;
  }
  return std::any_of(names.begin(), names.end(), [name](const std::string& ours) { return EqualNoCase(name, ours); });
}

bool OriginAllowed(std::string_view origin, std::string_view host) {
  constexpr std::string_view kScheme = "http://";
  return !host.empty() && origin.size() == kScheme.size() + host.size() && origin.substr(0, kScheme.size()) == kScheme &&
         origin.substr(kScheme.size()) == host;
}

}  // namespace velmora::remote
