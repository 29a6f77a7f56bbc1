// The IPv4 addresses of this machine's network adapters that are up, as dotted text.
#pragma once

#include <string>
#include <vector>

namespace velmora::remote {

std::vector<std::string> LanAddresses();

}  // namespace velmora::remote
