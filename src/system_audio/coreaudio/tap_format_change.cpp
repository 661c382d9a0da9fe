#include "system_audio/coreaudio/tap_format_change.h"

#include <cstring>

#include "system_audio/conversion/tap_format.h"
#include "system_audio/coreaudio/hal_properties.h"
#include "system_audio/frame/line_writer.h"

namespace system_audio {

void follow_tap_format(CaptureMonitor& monitor) {
  TapCallbackState& state = *monitor.state;
  if (!state.format_usable.load()) return;
  const auto read = read_tap_format(monitor.tap);
  if (!read) return;
  const AudioStreamBasicDescription& format = read->format;
  if (read->size == sizeof format && std::memcmp(&format, &monitor.format, sizeof format) == 0) {
    return;
  }
  auto checked = validate_tap_format(format, read->size);
  if (checked.diagnostic) write_diagnostic(std::move(*checked.diagnostic));
  if (!checked.accepted) {
    state.format_usable.store(false);
    monitor.alarms.raise(Alarm::format_changed, checked.accepted.error());
    return;
  }
  // The rate first: a cycle that sees the new buffers converts at the new rate.
  if (!(format.mSampleRate == monitor.format.mSampleRate)) {
    set_source_rate(state.capture, format.mSampleRate);
    state.tap_rate.store(format.mSampleRate);
  }
  state.tap_channels.store(format.mChannelsPerFrame);
  monitor.format = format;
}

}  // namespace system_audio
