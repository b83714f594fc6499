#include "simulator/socket_address.h"

namespace sim {

bool makeSocketAddress(const std::string& host, std::uint16_t port, bool ipv6,
                       sockaddr_storage& address, int& length) {
  address = sockaddr_storage{};
  if (ipv6) {
    auto& in6 = reinterpret_cast<sockaddr_in6&>(address);
    in6.sin6_family = AF_INET6;
    in6.sin6_port = htons(port);
    length = sizeof in6;
    return inet_pton(AF_INET6, host.c_str(), &in6.sin6_addr) == 1;
  }
  auto& in4 = reinterpret_cast<sockaddr_in&>(address);
  in4.sin_family = AF_INET;
  in4.sin_port = htons(port);
  length = sizeof in4;
  return inet_pton(AF_INET, host.c_str(), &in4.sin_addr) == 1;
}

std::string endpointText(const std::string& host, std::uint16_t port, bool ipv6) {
  // Appended piece by piece: "[" + std::string(...) sets off a false
  // -Wrestrict in mingw-w64's GCC 12.
  std::string text;
  if (ipv6) {
    text += '[';
    text += host;
    text += ']';
  } else {
    text += host;
  }
  text += ':';
  text += std::to_string(port);
  return text;
}

std::string addressText(const sockaddr_storage& address) {
  char host[INET6_ADDRSTRLEN] = "?";
  if (address.ss_family == AF_INET6) {
    const auto& in6 = reinterpret_cast<const sockaddr_in6&>(address);
    inet_ntop(AF_INET6, &in6.sin6_addr, host, sizeof host);
    return endpointText(host, ntohs(in6.sin6_port), true);
  }
  const auto& in4 = reinterpret_cast<const sockaddr_in&>(address);
  inet_ntop(AF_INET, &in4.sin_addr, host, sizeof host);
  return endpointText(host, ntohs(in4.sin_port), false);
}

}  // namespace sim
