#include "simulator/simulator_server.h"

#include <algorithm>
#include <chrono>

namespace sim {

SimulatorServer::SimulatorServer(const Options& options, TrafficLog& log, std::ostream& errors)
    : options_(options),
      log_(log),
      errors_(errors),
      clock_(std::chrono::steady_clock::now(), options.speed) {}

SimulatorServer::~SimulatorServer() {
  for (auto& connection : connections_) {
    close(*connection, "shutdown");
  }
  for (const NativeSocket listener : listeners_) {
    closeSocket(listener);
  }
}

std::vector<std::string> SimulatorServer::listen() {
  std::vector<std::string> bound;
  for (const ListenAddress& address : options_.listen) {
    std::string text;
    try {
      listeners_.push_back(openListener(address.host, address.port, address.ipv6, text));
      bound.push_back(text);
    } catch (const SocketError& e) {
      if (!options_.defaultListen || !e.familyUnavailable()) {
        throw;
      }
      errors_ << "talvoW6Sim: skipping " << address.text() << ": " << e.what() << std::endl;
    }
  }
  if (bound.empty()) {
    throw SocketError("no address to listen on");
  }
  return bound;
}

void SimulatorServer::run(const ShutdownSignal& stop) {
  std::vector<PollEntry> entries;
  while (!stop.requested()) {
    SteadyTime now = std::chrono::steady_clock::now();
    for (auto& connection : connections_) {
      service(*connection, now);
    }
    std::erase_if(connections_, [](const auto& c) { return c->closed; });

    entries.clear();
    entries.push_back({.socket = stop.pollHandle(), .wantRead = true});
    for (const NativeSocket listener : listeners_) {
      entries.push_back({.socket = listener, .wantRead = true});
    }
    for (const auto& connection : connections_) {
      entries.push_back({.socket = connection->socket,
                         .wantRead = wantsInput(*connection),
                         .wantWrite = !connection->outbox.empty()});
    }
    pollSockets(entries, pollTimeoutMs(now));
    if (stop.requested()) {
      break;
    }

    now = std::chrono::steady_clock::now();
    std::size_t index = 1;
    for (const NativeSocket listener : listeners_) {
      if (entries[index++].readable) {
        acceptAll(listener);
      }
    }
    // Connections accepted just now have no entry; they are polled next time.
    for (std::size_t i = 0; index < entries.size(); ++i, ++index) {
      Connection& connection = *connections_[i];
      const PollEntry& entry = entries[index];
      if ((entry.readable || entry.broken) && entry.wantRead) {
        readFrom(connection, now);
      } else if (entry.broken && !connection.closed) {
        close(connection, "connection lost");
      }
      if (entry.writable && !connection.closed && !flush(connection)) {
        close(connection, "send failed");
      }
    }
  }
}

bool SimulatorServer::wantsInput(const Connection& connection) {
  return connection.reading &&
         connection.outbox.size() + connection.session->pendingBytes() < kMaxUnsentBytes;
}

void SimulatorServer::acceptAll(NativeSocket listener) {
  while (auto accepted = acceptConnection(listener)) {
    log_.opened(accepted->peer);
    if (connections_.size() >= kMaxConnections) {
      closeSocket(accepted->socket);
      log_.closed(accepted->peer, "connection limit");
      continue;
    }
    auto connection = std::make_unique<Connection>();
    connection->socket = accepted->socket;
    connection->session = std::make_unique<ConnectionSession>(std::move(accepted->peer), device_,
                                                              clock_, options_.faults, log_);
    connections_.push_back(std::move(connection));
  }
}

void SimulatorServer::readFrom(Connection& connection, SteadyTime now) {
  const IoResult result = receiveSome(connection.socket, readBuffer_);
  switch (result.status) {
    case IoStatus::Done:
      connection.session->received(std::span(readBuffer_.data(), result.bytes), now);
      break;
    case IoStatus::Closed:
      connection.reading = false;
      connection.session->peerFinished();
      break;
    case IoStatus::Failed:
      close(connection, result.error);
      break;
    case IoStatus::WouldBlock:
      break;
  }
}

void SimulatorServer::service(Connection& connection, SteadyTime now) {
  if (connection.closed) {
    return;
  }
  ConnectionSession& session = *connection.session;
  switch (session.ending()) {
    case ConnectionSession::Ending::ResetNow:
      close(connection, session.endReason(), true);
      return;
    case ConnectionSession::Ending::CloseNow:
      if (session.endReason().starts_with("framing error")) {
        errors_ << "talvoW6Sim: " << session.peer() << ": " << session.endReason()
                << "; connection closed" << std::endl;
      }
      // Replies to the messages before the fault go out if the socket takes
      // them at once; the connection does not wait for them.
      {
        const auto due = session.takeDue(now);
        connection.outbox.insert(connection.outbox.end(), due.begin(), due.end());
        flush(connection);
      }
      close(connection, session.endReason());
      return;
    case ConnectionSession::Ending::None:
    case ConnectionSession::Ending::WhenFlushed:
      break;
  }
  const auto due = session.takeDue(now);
  connection.outbox.insert(connection.outbox.end(), due.begin(), due.end());
  if (!flush(connection)) {
    close(connection, "send failed");
    return;
  }
  if (session.ending() == ConnectionSession::Ending::WhenFlushed && connection.outbox.empty() &&
      !session.nextDue()) {
    close(connection, session.endReason());
  }
}

bool SimulatorServer::flush(Connection& connection) {
  std::size_t sent = 0;
  while (sent < connection.outbox.size()) {
    const IoResult result = sendSome(connection.socket, std::span(connection.outbox).subspan(sent));
    if (result.status == IoStatus::WouldBlock) {
      break;
    }
    if (result.status != IoStatus::Done) {
      return false;
    }
    sent += result.bytes;
  }
  connection.outbox.erase(connection.outbox.begin(),
                          connection.outbox.begin() + static_cast<std::ptrdiff_t>(sent));
  return true;
}

void SimulatorServer::close(Connection& connection, const std::string& reason, bool reset) {
  if (connection.closed) {
    return;
  }
  if (reset) {
    resetSocket(connection.socket);
  } else {
    closeSocket(connection.socket);
  }
  connection.closed = true;
  log_.closed(connection.session->peer(), reason);
}

int SimulatorServer::pollTimeoutMs(SteadyTime now) const {
  std::optional<SteadyTime> earliest;
  for (const auto& connection : connections_) {
    if (const auto due = connection->session->nextDue()) {
      earliest = earliest ? std::min(*earliest, *due) : *due;
    }
  }
  if (!earliest) {
    return -1;
  }
  if (*earliest <= now) {
    return 0;
  }
  // Rounded up: waking early would only poll again.
  const auto wait = std::chrono::ceil<std::chrono::milliseconds>(*earliest - now).count();
  return static_cast<int>(std::min<std::int64_t>(wait, 60'000));
}

}  // namespace sim
