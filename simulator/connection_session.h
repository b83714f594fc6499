#ifndef TALVO_SIMULATOR_CONNECTION_SESSION_H_
#define TALVO_SIMULATOR_CONNECTION_SESSION_H_

#include <cstddef>
#include <cstdint>
#include <deque>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "simulator/device_clock.h"
#include "simulator/device_model.h"
#include "simulator/fault_injector.h"
#include "simulator/frame_decoder.h"
#include "simulator/traffic_log.h"

namespace sim {

// What one client's connection does with the bytes it receives, without the
// socket: cuts them into messages, lets the shared device answer, applies
// the faults and keeps the replies until they are due.
class ConnectionSession {
 public:
  enum class Ending {
    None,         // keep going
    WhenFlushed,  // close once every pending reply is sent
    CloseNow,     // close at once; pending replies are dropped
    ResetNow,     // abort the connection at once
  };

  ConnectionSession(std::string peer, DeviceModel& device, const DeviceClock& clock,
                    const FaultSet& faults, TrafficLog& log);

  const std::string& peer() const { return peer_; }

  // Bytes from the peer, read at `now`.
  void received(std::span<const std::uint8_t> bytes, SteadyTime now);
  // The peer will send nothing more: answer what is pending, then close.
  void peerFinished();

  // When the next pending piece of a reply is due; nullopt when none is.
  std::optional<SteadyTime> nextDue() const;
  // The pending bytes whose time has come, in order. Each reply is logged
  // here, as it leaves.
  std::vector<std::uint8_t> takeDue(SteadyTime now);
  // Bytes of replies made and not yet taken, due or not.
  std::size_t pendingBytes() const { return pendingBytes_; }

  Ending ending() const { return ending_; }
  const std::string& endReason() const { return endReason_; }

 private:
  void end(Ending ending, std::string reason);

  std::string peer_;
  DeviceModel& device_;
  const DeviceClock& clock_;
  TrafficLog& log_;
  FaultInjector faults_;
  FrameDecoder decoder_;
  std::deque<OutgoingPiece> pending_;
  std::size_t pendingBytes_ = 0;
  Ending ending_ = Ending::None;
  std::string endReason_;
};

}  // namespace sim

#endif  // TALVO_SIMULATOR_CONNECTION_SESSION_H_
