#pragma once

#include "system_audio/apple/apple_ref.h"
#include "system_audio/apple/screen_capture.h"
#include "system_audio/frame/messages.h"
#include "system_audio/frame/options.h"
#include "system_audio/result.h"

namespace system_audio {

// A running ScreenCaptureKit stream, audio only, on the first display. Nothing
// stops it: dropping the session releases the stream, the output (whose state
// holds the only PCM sender), the filter and the configuration, in that order,
// then the queue.
struct SckAudioSession {
  NsRef<apple::SCStream> stream;
  NsRef<apple::VantleSckAudioOutput> output;
  NsRef<apple::SCContentFilter> filter;
  NsRef<apple::SCStreamConfiguration> configuration;
  QueueRef queue;

  SckAudioSession() = default;
  SckAudioSession(SckAudioSession&&) noexcept = default;
  SckAudioSession& operator=(SckAudioSession&&) = delete;
  ~SckAudioSession();

  // Everything or nothing: on failure, all that was built is released before
  // the error returns, the senders with the output or last; but once the
  // stream was asked to start, the output (holding the senders) is kept to
  // the end of the process, since the stream may still call it.
  static Result<SckAudioSession> start(const Options& options, PcmSender pcm_tx,
                                       StatusSender status_tx);
};

}  // namespace system_audio
