#pragma once

namespace system_audio {

// Whether a process other than this one runs audio IO with an active output
// stream, by the HAL's process objects; false when the list cannot be read.
bool other_process_runs_output();

}  // namespace system_audio
