#pragma once

#include <chrono>
#include <memory>
#include <mutex>

#include "system_audio/apple/linux/pulse_connection.h"
#include "system_audio/result.h"

namespace system_audio::pulse {

// The one connection that a binding's calls share: made on first use, and
// anew once the server has gone away (a server restarted meanwhile is found
// again).
class ServerSlot {
 public:
  Result<std::shared_ptr<PulseConnection>> get(std::chrono::milliseconds bound = kConnectBound);

 private:
  std::mutex mutex_;
  std::shared_ptr<PulseConnection> connection_;
};

}  // namespace system_audio::pulse
