#pragma once

#include "system_audio/result.h"

namespace system_audio {

// Starts a detached thread that ends the process with EXIT_PARENT_GONE as soon
// as the reading end of standard output or standard error is closed, whether
// or not anything is being written. A parent that merely stops reading (the
// pipe still open, perhaps full) is not gone and is left alone. Fails only
// when the thread cannot be created.
Result<void> start_parent_watch();

}  // namespace system_audio
