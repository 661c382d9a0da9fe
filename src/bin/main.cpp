#include "system_audio/coreaudio/coreaudio_session.h"
#include "system_audio/frame/run_stdio_helper.h"
#include "system_audio/sck/sck_session.h"

int main(int argc, char** argv) {
  using namespace system_audio;
  static constexpr BackendStart backends[] = {
      {"coreaudio", &start_owned<&CoreAudioSession::start>},
      {"sck", &start_owned<&SckAudioSession::start>},
  };
  return helper_main(argc, argv, backends);
}
