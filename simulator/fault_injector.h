#ifndef TALVO_SIMULATOR_FAULT_INJECTOR_H_
#define TALVO_SIMULATOR_FAULT_INJECTOR_H_

#include <cstdint>
#include <vector>

#include "simulator/device_clock.h"
#include "simulator/faults.h"

namespace sim {

// Part of a reply that is to leave at a given time.
struct OutgoingPiece {
  SteadyTime due;
  std::vector<std::uint8_t> bytes;
  // The whole reply as sent, on its first piece only (for the traffic log).
  std::vector<std::uint8_t> reply;
};

// Applies the faults to one connection: decides what happens to each
// message that arrives and cuts each reply into timed pieces.
class FaultInjector {
 public:
  enum class Action {
    Answer,  // let the device handle it and send the reply
    Ignore,  // read and drop: no device call, no reply
    Reset,   // abort the connection
  };

  explicit FaultInjector(const FaultSet& faults) : faults_(faults) {}

  bool closeOnAccept() const { return faults_.closeOnAccept; }

  // What to do with the next message that arrived.
  Action onMessage();

  // The pieces `reply`, made at `now`, leaves in. Pieces keep the order of
  // the replies: none is due before a piece of an earlier reply.
  std::vector<OutgoingPiece> shape(std::vector<std::uint8_t> reply, SteadyTime now);

  // Every reply allowed by drop-after has been made: the connection closes
  // once they are sent.
  bool repliesExhausted() const { return faults_.dropAfter && replies_ >= *faults_.dropAfter; }

 private:
  const FaultSet& faults_;
  std::uint64_t messages_ = 0;
  std::uint64_t replies_ = 0;
  SteadyTime lastDue_{};
};

}  // namespace sim

#endif  // TALVO_SIMULATOR_FAULT_INJECTOR_H_
