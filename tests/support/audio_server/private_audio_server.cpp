#include "private_audio_server.h"

#include <signal.h>
#include <stdlib.h>

#include <atomic>
#include <cstring>
#include <fstream>
#include <iterator>

#include "helper_child.h"

namespace test_support {
namespace {

// Runs the script to its end: its standard output, or its complaint.
std::expected<std::string, std::string> script(std::vector<std::string> arguments) {
  arguments.insert(arguments.begin(), PRIVATE_AUDIO_SERVER_SCRIPT);
  auto child = parent::Child::spawn(arguments);
  if (!child) return std::unexpected(child.error());
  std::string out = (*child)->read_rest(std::chrono::steady_clock::now() + std::chrono::minutes(1));
  const auto end = (*child)->terminate(std::chrono::seconds(1));
  if (!end.exited() || end.exit_status() != 0) {
    return std::unexpected(arguments[1] + ": " + end.describe() + ": " + (*child)->error_text());
  }
  return out;
}

}  // namespace

std::expected<std::unique_ptr<PrivateAudioServer>, std::string> PrivateAudioServer::start(
    Options options) {
  char pattern[] = "/tmp/vantle-pa.XXXXXX";
  if (mkdtemp(pattern) == nullptr) return std::unexpected(std::string("mkdtemp failed"));
  std::unique_ptr<PrivateAudioServer> server(new PrivateAudioServer());
  server->directory_ = pattern;
  std::vector<std::string> arguments{"start", pattern};
  if (!options.null_sink) arguments.push_back("--no-sink");
  auto out = script(arguments);
  if (!out) return std::unexpected(out.error());
  std::ifstream(server->directory_ / "pid") >> server->pid_;
  const std::string prefix = "PULSE_SERVER=";
  server->address_ = out->substr(prefix.size(), out->find('\n') - prefix.size());
  return server;
}

PrivateAudioServer::~PrivateAudioServer() {
  stop();
}

void PrivateAudioServer::stop() {
  if (pid_ <= 0) return;
  last_log_ = log_text();
  (void)script({"stop", directory_.string()});
  pid_ = -1;
}

void PrivateAudioServer::freeze() {
  if (pid_ > 0) kill(pid_, SIGSTOP);
}

void PrivateAudioServer::thaw() {
  if (pid_ > 0) kill(pid_, SIGCONT);
}

void PrivateAudioServer::use_in_this_process() const {
  setenv("PULSE_SERVER", address_.c_str(), 1);
}

std::string PrivateAudioServer::log_text() const {
  if (pid_ <= 0) return last_log_;
  std::ifstream in(directory_ / "server.log", std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::expected<void, std::string> PrivateAudioServer::play(
    const std::vector<float>& interleaved_stereo) const {
  static std::atomic<unsigned> counter{0};
  const auto sound = directory_ / ("sound-" + std::to_string(counter++) + ".raw");
  std::ofstream(sound, std::ios::binary)
      .write(reinterpret_cast<const char*>(interleaved_stereo.data()),
             std::streamsize(interleaved_stereo.size() * sizeof(float)));
  auto played = script({"play", directory_.string(), sound.string()});
  std::filesystem::remove(sound);
  if (!played) return std::unexpected(played.error());
  return {};
}

}  // namespace test_support
