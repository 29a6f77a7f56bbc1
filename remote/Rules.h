// The remote control's small rules, kept apart from the server and the Win32 glue: who may ask
// (the token, the Host header) and where a request goes.
// No Windows headers.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace velmora::remote {

// Compares in a time that depends only on the lengths, never on where the texts differ.
bool SameCode(std::string_view given, std::string_view expected);

// The code of "Authorization: Bearer <code>" (the scheme in any case), or empty.
std::string_view BearerCode(std::string_view authorization);

// "/api/play?code=x" -> path "/api/play", query "code=x".
struct Target {
  std::string_view path;
  std::string_view query;
};
Target SplitTarget(std::string_view target);
// The value of `name` in a query ("a=1&code=x"), taken as it stands (a code is plain hex), or
// empty when it is not there.
std::string_view QueryValue(std::string_view query, std::string_view name);

// Whether a Host header names this server: one of `names` (host names or addresses, any case)
// with the port, or without it when the port is 80. Anything else (another name that happens
// to resolve here, as DNS rebinding makes one) is refused.
bool HostNamesUs(std::string_view host, int port, const std::vector<std::string>& names);

// Whether a request that carries an Origin header may go on: only a page served by this very
// server (the phone page) sends "http://" followed by the Host it asked for. Any other page the
// host opens in a browser is refused, even one that has learnt the code; programs that are no
// browser send no Origin at all.
bool OriginAllowed(std::string_view origin, std::string_view host);

}  // namespace velmora::remote
