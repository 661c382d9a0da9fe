#pragma once

#include "private_audio_server.h"

namespace pulse_test {

// The private server of this test program: started before the first test,
// named in PULSE_SERVER for libpulse in this process, stopped after the last.
test_support::PrivateAudioServer& shared_server();

}  // namespace pulse_test
