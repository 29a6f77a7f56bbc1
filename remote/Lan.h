// The IPv4 addresses of this machine's network adapters that are up, as dotted text.
#pragma once

#include <string>
#include <vector>

namespace velmora::remote {

std::vector<std::string> LanAddresses();
// The first of them that is not a loopback address, or empty.
std::string FirstLanAddress();

}  // namespace velmora::remote
