#pragma once

#include <sys/types.h>

#include <expected>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "tone.h"

namespace test_support {

// A PulseAudio server of the test's own, run by tools/private_audio_server.sh:
// its runtime directory, HOME, socket and configuration live in a fresh
// temporary directory, so it never meets the user's server and several can run
// at once. It holds one null sink (float32le, 48000 Hz, stereo) as the default
// sink. The destructor stops the server and removes the directory.
class PrivateAudioServer {
 public:
  static constexpr const char* kSinkName = "vantle_null";
  static constexpr unsigned kSinkRate = 48000;
  static constexpr unsigned kSinkChannels = 2;

  struct Options {
    // false: a server without any sink, hence without a default sink.
    bool null_sink = true;
    unsigned sink_rate = kSinkRate;
  };

  // Starts the server and waits (bounded) until it answers. The error carries
  // the script's own words, with the server's log when it has one.
  static std::expected<std::unique_ptr<PrivateAudioServer>, std::string> start(Options options);
  static std::expected<std::unique_ptr<PrivateAudioServer>, std::string> start() {
    return start(Options{});
  }

  ~PrivateAudioServer();
  PrivateAudioServer(const PrivateAudioServer&) = delete;
  PrivateAudioServer& operator=(const PrivateAudioServer&) = delete;

  // The libpulse server address, e.g. "unix:/tmp/vantle-pa.XXXX/native".
  const std::string& address() const { return address_; }
  // "PULSE_SERVER=<address>", ready for a child process's environment.
  std::string environment_entry() const { return "PULSE_SERVER=" + address_; }
  // Points libpulse in this process at the server (setenv PULSE_SERVER).
  void use_in_this_process() const;

  // Plays interleaved float32 stereo samples at 48000 Hz into the sink and
  // returns once they have been played, or an error.
  std::expected<void, std::string> play(const std::vector<float>& interleaved_stereo) const;

  // Ends every record stream of the server's clients while the server and its
  // sink stay up, as a volume control or a policy module may.
  std::expected<void, std::string> kill_record_streams() const;

  // Stops the server now and removes its directory; for tests of a server that
  // goes away.
  void stop();
  // Suspends or resumes the server process (SIGSTOP / SIGCONT): a server that
  // accepts connections but never answers.
  void freeze();
  void thaw();

  pid_t pid() const { return pid_; }

 private:
  PrivateAudioServer() = default;

  std::filesystem::path directory_;
  std::string address_;
  pid_t pid_ = -1;
};

// The sine tone of the example parent (amplitude * sin(2 pi f n / 48000), the
// same value in both channels, after lead_in_frames of silence). A sink's
// monitor can lose the first few ms of a stream that starts while it runs, so
// a test that counts the tone's samples leads in with ~100 ms of silence.
using parent::stereo_sine;

}  // namespace test_support
