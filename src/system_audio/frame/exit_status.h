#pragma once

namespace system_audio {

// Exit statuses of the process. 0 follows an orderly end of the output pump.
inline constexpr int EXIT_START_FAILED = 1;  // after the "ERROR" line
// The parent stopped reading one of our streams: capture must not go on for a
// parent that is gone.
inline constexpr int EXIT_PARENT_GONE = 2;
// The status writer thread could not start after "READY"; statuses would be lost.
inline constexpr int EXIT_STATUS_WRITER_FAILED = 3;

}  // namespace system_audio
