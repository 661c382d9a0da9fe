#include "helper_under_test.h"

#include <cstdlib>

#include "protocol_reader.h"

namespace end_to_end {

std::unique_ptr<test_support::PrivateAudioServer> start_server(
    test_support::PrivateAudioServer::Options options) {
  auto server = test_support::PrivateAudioServer::start(options);
  if (!server) {
    ADD_FAILURE() << "private audio server: " << server.error();
    return nullptr;
  }
  return std::move(*server);
}

std::vector<std::string> helper_environment(std::vector<std::string> entries) {
  const char* tsan = std::getenv("TSAN_OPTIONS");
  entries.push_back(std::string("TSAN_OPTIONS=") + (tsan ? std::string(tsan) + ":" : "") +
                    "atexit_sleep_ms=0");
  return entries;
}

std::unique_ptr<test_support::ChildProcess> start_helper(const std::string& pulse_server,
                                                         std::vector<std::string> arguments) {
  arguments.insert(arguments.begin(), VANTLE_AUDIO_HELPER_PATH);
  return std::make_unique<test_support::ChildProcess>(std::move(arguments),
                                                      helper_environment({pulse_server}));
}

std::unique_ptr<Streaming> start_streaming() {
  auto run = std::make_unique<Streaming>();
  run->server = start_server();
  if (!run->server) return nullptr;
  run->helper = start_helper(run->server->environment_entry());
  Captured& out = run->out;
  if (!read_until(*run->helper, out, std::chrono::seconds(15),
                  [&] { return out.pcm_lines() > 0; })) {
    ADD_FAILURE() << "no PCM line within 15 s; stderr:\n" << run->helper->error_text();
    return nullptr;
  }
  return run;
}

void Captured::add(std::string line, Clock::time_point when) {
  if (line.starts_with("PCM ")) {
    if (auto decoded = parent::decode_pcm_payload(std::string_view(line).substr(4))) {
      samples.insert(samples.end(), decoded->begin(), decoded->end());
    } else {
      ++undecodable;
    }
    chunk_ends.push_back(samples.size());
    chunk_read_at.push_back(when);
  }
  lines.push_back(std::move(line));
  read_at.push_back(when);
}

void read_for(test_support::ChildProcess& helper, Captured& captured,
              std::chrono::milliseconds duration) {
  read_until(helper, captured, duration, [] { return false; });
}

Playback::Playback(const test_support::PrivateAudioServer& server,
                   std::vector<float> interleaved_stereo)
    : player_([this, &server, sound = std::move(interleaved_stereo)] {
        auto played = server.play(sound);
        if (!played) error_ = played.error();
        done_ = true;
      }) {}

Playback::~Playback() {
  if (player_.joinable()) player_.join();
}

std::optional<std::string> Playback::finish() {
  if (player_.joinable()) player_.join();
  return error_;
}

bool Playback::done() const {
  return done_;
}

}  // namespace end_to_end
