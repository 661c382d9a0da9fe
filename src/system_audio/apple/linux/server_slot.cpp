#include "system_audio/apple/linux/server_slot.h"

namespace system_audio::pulse {

Result<std::shared_ptr<PulseConnection>> ServerSlot::get(std::chrono::milliseconds bound) {
  std::lock_guard lock(mutex_);
  if (connection_ && connection_->alive()) return connection_;
  connection_.reset();
  auto fresh = PulseConnection::connect(bound);
  if (!fresh) return fail(fresh.error());
  connection_ = *fresh;
  return connection_;
}

}  // namespace system_audio::pulse
