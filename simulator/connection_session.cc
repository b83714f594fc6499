#include "simulator/connection_session.h"

#include <utility>

#include "simulator/device_message.h"

namespace sim {

ConnectionSession::ConnectionSession(std::string peer, DeviceModel& device,
                                     const DeviceClock& clock, const FaultSet& faults,
                                     TrafficLog& log)
    : peer_(std::move(peer)), device_(device), clock_(clock), log_(log), faults_(faults) {
  if (faults_.closeOnAccept()) {
    end(Ending::CloseNow, "fault close");
  }
}

void ConnectionSession::received(std::span<const std::uint8_t> bytes, SteadyTime now) {
  if (ending_ != Ending::None) {
    return;
  }
  decoder_.append(bytes);
  while (auto frame = decoder_.next()) {
    log_.message(peer_, TrafficLog::Direction::In, frame->bytes());
    switch (faults_.onMessage()) {
      case FaultInjector::Action::Reset:
        end(Ending::ResetNow, "fault reset");
        return;
      case FaultInjector::Action::Ignore:
        break;
      case FaultInjector::Action::Answer: {
        const Reply reply = device_.handle(commandFromFrame(*frame), clock_.at(now));
        for (auto& piece : faults_.shape(encodeReply(reply), now)) {
          pendingBytes_ += piece.bytes.size();
          pending_.push_back(std::move(piece));
        }
        if (faults_.repliesExhausted()) {
          end(Ending::WhenFlushed, "fault drop-after");
          return;
        }
        break;
      }
    }
  }
  if (decoder_.failed()) {
    end(Ending::CloseNow, "framing error: " + decoder_.error());
  }
}

void ConnectionSession::peerFinished() {
  end(Ending::WhenFlushed, "peer closed");
}

std::optional<SteadyTime> ConnectionSession::nextDue() const {
  if (pending_.empty() || ending_ == Ending::CloseNow || ending_ == Ending::ResetNow) {
    return std::nullopt;
  }
  return pending_.front().due;
}

std::vector<std::uint8_t> ConnectionSession::takeDue(SteadyTime now) {
  std::vector<std::uint8_t> out;
  while (!pending_.empty() && pending_.front().due <= now) {
    OutgoingPiece& piece = pending_.front();
    if (!piece.reply.empty()) {
      log_.message(peer_, TrafficLog::Direction::Out, piece.reply);
    }
    out.insert(out.end(), piece.bytes.begin(), piece.bytes.end());
    pendingBytes_ -= piece.bytes.size();
    pending_.pop_front();
  }
  return out;
}

void ConnectionSession::end(Ending ending, std::string reason) {
  // The first reason to end stands, except that an abrupt end overrides a
  // pending orderly one.
  if (ending_ == Ending::None ||
      (ending_ == Ending::WhenFlushed && ending != Ending::WhenFlushed)) {
    ending_ = ending;
    endReason_ = std::move(reason);
  }
}

}  // namespace sim
