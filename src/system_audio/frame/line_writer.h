#pragma once

#include <string>

#include "system_audio/result.h"

namespace system_audio {

// Both write the text and one line feed, the line whole: lines from different
// threads never mix. A line feed or carriage return inside the text becomes a
// space, keeping one line one line. A write that fails (not one that would
// wait) ends the process at once with EXIT_PARENT_GONE: the parent is gone.

// Standard output, the protocol: waits for room, since a parent that stops
// reading it holds the helper, as the protocol says.
void write_protocol_line(std::string text);

// Standard error, best effort: never waits. A line the stream cannot take at
// once is dropped and counted; the count comes as one line, "helper: {n}
// diagnostic lines dropped (standard error was full)", before the next line
// the stream takes.
void write_diagnostic(std::string text);

// Starts the detached thread that writes that count as soon as standard error
// has room again, rather than with the next diagnostic. Fails only when the
// thread cannot be created.
Result<void> start_diagnostic_catch_up();

}  // namespace system_audio
