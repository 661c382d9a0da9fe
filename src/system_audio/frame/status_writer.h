#pragma once

#include <future>

#include "system_audio/frame/messages.h"
#include "system_audio/result.h"

namespace system_audio {

// Starts the detached thread that turns each status text into "helper: status"
// on standard error and "STATUS" on standard output. It ends when the channel
// closes and is never joined; the returned future becomes ready when it has
// written everything. Fails only when the thread cannot be created.
Result<std::future<void>> start_status_writer(StatusReceiver status_rx);

}  // namespace system_audio
