// The limit a console client can reach: the same blocking exchange as
// talvoW6Client with nothing else in it. It reads command lines from standard
// input, prints the same prompt and flushes before each blocking read of a
// line, looks the line up in a table of messages built before the loop,
// sends that message, prints and flushes the same waiting line, and receives
// one reply (at most 512 bytes, as the client does). A line that the client
// rejects is looked up too and sends nothing. No parsing, no reporting.
//
//   talvo_minimal_loop ADDRESS PORT < commands
//
// A summary goes to standard error. Exit status: 0 when every message sent
// got a reply, 1 when the connection failed or a reply did not come, 2 for a
// line that is in neither table, or bad arguments.

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "net/sockets.h"
#include "protocol/message_type.h"
#include "protocol/talvo_message.h"
#include "protocol/wire_format.h"

namespace {

constexpr int kReceiveSize = 512;

struct Entry {
  const char* line;
  std::uint16_t type;
  bool withValue;
  std::int32_t value;
};

// The lines the benchmark sends, and the message talvoW6Client sends for each.
const Entry kSent[] = {
    {"n", TALVO_MESSAGE_NONE, false, 0},        {"c", TALVO_MESSAGE_CONNECT, false, 0},
    {"c0", TALVO_MESSAGE_CONNECT, true, 0},     {"c1", TALVO_MESSAGE_CONNECT, true, 1},
    {"a", TALVO_MESSAGE_ACQUISITION, false, 0}, {"a0", TALVO_MESSAGE_ACQUISITION, true, 0},
    {"a1", TALVO_MESSAGE_ACQUISITION, true, 1}, {"l", TALVO_MESSAGE_LASERPOWER, false, 0},
    {"l0", TALVO_MESSAGE_LASERPOWER, true, 0},  {"l1", TALVO_MESSAGE_LASERPOWER, true, 1},
    {"i", TALVO_MESSAGE_INTERVAL, false, 0},    {"i1500", TALVO_MESSAGE_INTERVAL, true, 1500},
    {"fc", TALVO_MESSAGE_IMAGECOUNT, false, 0}, {"tc", TALVO_MESSAGE_TRIGGERCOUNT, false, 0},
};

// Lines the benchmark sends that the client rejects without sending.
const char* const kRejected[] = {"c5", "s", "i999"};

std::vector<std::uint8_t> messageFor(const Entry& entry) {
  TalvoMessage message;
  if (entry.type == TALVO_MESSAGE_NONE) {
    message.setHeader();
  } else if (entry.withValue) {
    std::uint8_t value[wire::kValueSize];
    wire::writeI32(value, entry.value);
    message.buildMessage(entry.type, 1, value, sizeof value);
  } else {
    message.buildMessage(entry.type, 0, nullptr, 0);
  }
  const auto& buffer = message.bufferManager();
  return std::vector<std::uint8_t>(buffer.data(), buffer.data() + buffer.size());
}

SOCKET connectTo(const char* address, const char* port) {
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  hints.ai_protocol = IPPROTO_TCP;
  hints.ai_flags = AI_NUMERICHOST | AI_NUMERICSERV;
  addrinfo* addresses = nullptr;
  if (getaddrinfo(address, port, &hints, &addresses) != 0) {
    return INVALID_SOCKET;
  }
  SOCKET s = ::socket(addresses->ai_family, addresses->ai_socktype, addresses->ai_protocol);
  if (s != INVALID_SOCKET &&
      connect(s, addresses->ai_addr, static_cast<int>(addresses->ai_addrlen)) == SOCKET_ERROR) {
    closesocket(s);
    s = INVALID_SOCKET;
  }
  freeaddrinfo(addresses);
  return s;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fputs("usage: talvo_minimal_loop ADDRESS PORT < commands\n", stderr);
    return 2;
  }
  std::unordered_map<std::string, std::vector<std::uint8_t>> messages;
  for (const Entry& entry : kSent) {
    messages.emplace(entry.line, messageFor(entry));
  }
  const std::unordered_set<std::string> rejected(std::begin(kRejected), std::end(kRejected));

  WSADATA wsaData;
  if (WSAStartup(0x0202, &wsaData) != 0) {
    return 1;
  }
  const SOCKET s = connectTo(argv[1], argv[2]);
  if (s == INVALID_SOCKET) {
    std::fprintf(stderr, "cannot connect to %s:%s: %d\n", argv[1], argv[2], WSAGetLastError());
    return 1;
  }

  char text[256];
  std::string line;
  std::uint8_t reply[kReceiveSize];
  long lines = 0;
  long sent = 0;
  long replies = 0;
  int status = 0;
  while (true) {
    std::fputs(":> ", stdout);
    std::fflush(stdout);
    if (std::fgets(text, sizeof text, stdin) == nullptr) {
      break;
    }
    ++lines;
    line.assign(text, std::strcspn(text, "\r\n"));
    const auto found = messages.find(line);
    if (found == messages.end()) {
      if (rejected.count(line) == 0) {
        std::fprintf(stderr, "line %ld not in the table: %s\n", lines, line.c_str());
        status = 2;
        break;
      }
      continue;
    }
    const std::vector<std::uint8_t>& message = found->second;
    if (send(s, reinterpret_cast<const char*>(message.data()), static_cast<int>(message.size()),
             0) == SOCKET_ERROR) {
      std::fprintf(stderr, "send failed: %d\n", WSAGetLastError());
      status = 1;
      break;
    }
    ++sent;
    std::fputs("waiting for reply...\n", stdout);
    std::fflush(stdout);
    if (recv(s, reinterpret_cast<char*>(reply), kReceiveSize, 0) <= 0) {
      std::fprintf(stderr, "failed to receive after line %ld\n", lines);
      status = 1;
      break;
    }
    ++replies;
  }
  shutdown(s, SD_SEND);
  closesocket(s);
  WSACleanup();
  std::fprintf(stderr, "minimal loop: %ld lines, %ld sent, %ld replies\n", lines, sent, replies);
  return status;
}
