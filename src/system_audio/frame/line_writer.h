#pragma once

#include <string>

namespace system_audio {

// Each writes the text and one line feed as a single locked write to its stream,
// so lines from different threads never mix. A line feed or carriage return
// inside the text becomes a space, keeping one line one line. A failed write
// ends the process at once with EXIT_PARENT_GONE.
void write_protocol_line(std::string text);  // standard output
void write_diagnostic(std::string text);     // standard error

}  // namespace system_audio
