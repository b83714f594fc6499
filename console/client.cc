#include "console/client.h"

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

#include "console/command_message.h"
#include "console/console_input.h"
#include "console/reply_reporter.h"
#include "console/server_connection.h"

namespace {

constexpr std::size_t kAddressCapacity = 32;  // 31 characters and the terminating zero
constexpr std::size_t kPortCapacity = 8;      // 7 characters and the terminating zero
constexpr int kReceiveSize = 512;

void printUsage() {
  std::fputs(
      "talvoW6Client.exe [serverip] [serverport]\t\t\t\t\t\n"
      "-------------------------------------------\t\t\t\t\n"
      "This client code does single message interaction with\t\t\n"
      "the tcp server running autonomous acquisition code for a\t\n"
      "Talvo W6 camera.\t\t\t\t\t\t\t\t\t\t\t\n",
      stdout);
}

// Copies `text` into `buffer` when it fits; an over-long argument is reported
// rather than cut short, since a shortened address would reach another host.
bool copyArgument(char* buffer, std::size_t capacity, const char* text, const char* what) {
  const std::size_t length = std::strlen(text);
  if (length >= capacity) {
    std::printf("main(): ERROR %s is longer than %zu characters\n", what, capacity - 1);
    return false;
  }
  std::memcpy(buffer, text, length + 1);
  return true;
}

// Sends the message held by `command` and reports the one reply it gets.
void exchange(CServerConnection& connection, const CommandMessage& command,
              std::uint8_t* receiveBuffer, std::uint8_t* replyBuffer) {
  const auto& message = command.bufferManager();
  if (send(connection.socket, reinterpret_cast<const char*>(message.data()),
           static_cast<int>(message.size()), 0) == SOCKET_ERROR) {
    std::printf("send failed: %d\n", WSAGetLastError());
    teardownConnection(connection);
    std::printf("failed to send\n");
    return;
  }
  std::printf("waiting for reply...\n");
  // Bytes that this reply does not supply read as zero, never as an earlier
  // reply's.
  std::memset(receiveBuffer, 0, kReceiveSize);
  std::memset(replyBuffer, 0, kReceiveSize);
  std::fflush(stdout);
  const int received =
      recv(connection.socket, reinterpret_cast<char*>(receiveBuffer), kReceiveSize, 0);
  if (received <= 0) {
    std::printf("failed to receive.\n");
    return;
  }
  std::memcpy(replyBuffer, receiveBuffer, static_cast<std::size_t>(received));
  processTalvoMessage(replyBuffer);
}

}  // namespace

int runClient(int argc, char** argv) {
  char address[kAddressCapacity] = "127.0.0.1";
  char port[kPortCapacity] = "2020";
  CommandMessage command;

  if (argc == 3) {
    const bool addressFits = copyArgument(address, sizeof address, argv[1], "Server address");
    const bool portFits = copyArgument(port, sizeof port, argv[2], "Server port");
    if (!addressFits || !portFits) {
      waitForAnyKey();
      return 1;
    }
  } else {
    std::printf("Not enough input arguments (%i)\n", argc);
    printUsage();
  }

  CServerConnection connection;
  connection.host = address;
  connection.port = port;
  connection.socket = INVALID_SOCKET;
  if (!connection.connectToServer()) {
    std::printf("main(): ERROR Cannot connect to server at %s:%s\n", address, port);
    waitForAnyKey();
    return 1;
  }

  std::string line;
  std::uint8_t receiveBuffer[kReceiveSize];
  std::uint8_t replyBuffer[kReceiveSize];
  // The end of input ends the run as the exit command does.
  while (command.keepRunning() && readCommandLine(":> ", line)) {
    if (command.parseCommand(line)) {
      exchange(connection, command, receiveBuffer, replyBuffer);
    }
  }

  teardownConnection(connection);
  std::printf("Client Connection Closed, Press Any Key to Exit...\n");
  waitForAnyKey();
  return 0;
}
