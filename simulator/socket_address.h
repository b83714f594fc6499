#ifndef TALVO_SIMULATOR_SOCKET_ADDRESS_H_
#define TALVO_SIMULATOR_SOCKET_ADDRESS_H_

// Numeric socket addresses as the socket calls take them, and as the
// simulator prints them: "127.0.0.1:2020", "[::1]:2020". The same on every
// platform; only the socket calls themselves differ.

#include <cstdint>
#include <string>

#include "net/sockets.h"

namespace sim {

// Fills `address` and `length` for a numeric `host` of the family; false
// when `host` is not such an address. Nothing is looked up.
bool makeSocketAddress(const std::string& host, std::uint16_t port, bool ipv6,
                       sockaddr_storage& address, int& length);

// "host:port", or "[host]:port" for IPv6.
std::string endpointText(const std::string& host, std::uint16_t port, bool ipv6);

// The text of an address that a socket call filled in.
std::string addressText(const sockaddr_storage& address);

}  // namespace sim

#endif  // TALVO_SIMULATOR_SOCKET_ADDRESS_H_
