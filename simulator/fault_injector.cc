#include "simulator/fault_injector.h"

#include <algorithm>
#include <utility>

#include "protocol/wire_format.h"

namespace sim {

FaultInjector::Action FaultInjector::onMessage() {
  ++messages_;
  if (faults_.resetOnFirstMessage) {
    return Action::Reset;
  }
  if (faults_.silent || repliesExhausted()) {
    return Action::Ignore;
  }
  return Action::Answer;
}

std::vector<OutgoingPiece> FaultInjector::shape(std::vector<std::uint8_t> reply, SteadyTime now) {
  ++replies_;
  if (faults_.garbage && reply.size() >= 2) {
    std::swap(reply[wire::kMagicOffset], reply[wire::kMagicOffset + 1]);
  }
  const SteadyTime due = std::max(now + faults_.delay, lastDue_);
  std::vector<OutgoingPiece> pieces;
  if (faults_.splitGap && reply.size() >= 2) {
    const auto half = static_cast<std::ptrdiff_t>(reply.size() / 2);
    lastDue_ = due + *faults_.splitGap;
    pieces.push_back({due, std::vector<std::uint8_t>(reply.begin(), reply.begin() + half), reply});
    pieces.push_back({lastDue_, std::vector<std::uint8_t>(reply.begin() + half, reply.end()), {}});
  } else {
    lastDue_ = due;
    pieces.push_back({due, reply, reply});
  }
  return pieces;
}

}  // namespace sim
