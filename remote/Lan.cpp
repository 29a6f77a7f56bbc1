#include "remote/Lan.h"

#include <winsock2.h>
#include <ws2tcpip.h>
#include <iphlpapi.h>

#include <memory>

namespace velmora::remote {

std::vector<std::string> LanAddresses() {
  std::vector<std::string> addresses;
  ULONG size = 16 * 1024;
  std::unique_ptr<char[]> buffer;
  ULONG result = ERROR_BUFFER_OVERFLOW;
  for (int attempt = 0; attempt < 3 && result == ERROR_BUFFER_OVERFLOW; ++attempt) {
    buffer = std::make_unique<char[]>(size);
    result = ::GetAdaptersAddresses(AF_INET, GAA_FLAG_SKIP_ANYCAST | GAA_FLAG_SKIP_MULTICAST | GAA_FLAG_SKIP_DNS_SERVER,
                                    nullptr, reinterpret_cast<IP_ADAPTER_ADDRESSES*>(buffer.get()), &size);
  }
  if (result != NO_ERROR) return addresses;
  for (auto* adapter = reinterpret_cast<IP_ADAPTER_ADDRESSES*>(buffer.get()); adapter; adapter = adapter->Next) {
    if (adapter->OperStatus != IfOperStatusUp) continue;
    for (IP_ADAPTER_UNICAST_ADDRESS* unicast = adapter->FirstUnicastAddress; unicast; unicast = unicast->Next) {
      const sockaddr* address = unicast->Address.lpSockaddr;
      if (!address || address->sa_family != AF_INET) continue;
      char text[INET_ADDRSTRLEN] = "";
      if (::inet_ntop(AF_INET, &reinterpret_cast<const sockaddr_in*>(address)->sin_addr, text, sizeof text))
        addresses.emplace_back(text);
    }
  }
  return addresses;
}

std::string FirstLanAddress() {
  for (const std::string& address : LanAddresses())
    if (address.rfind("127.", 0) != 0) return address;
  return {};
}

}  // namespace velmora::remote
