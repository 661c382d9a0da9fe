// The watched runtime and the fake catch the misuse the sanitizers would not
// see: each row misuses the platform once and names what it leaves behind.

#include "fake_fixture.h"
#include "system_audio/apple/standin/runtime.h"

namespace system_audio {
namespace {

// A block body that writes into the HAL's output list, which is not its own.
void write_output(void*, const AudioTimeStamp*, const AudioBufferList*, const AudioTimeStamp*,
                  AudioBufferList* output, const AudioTimeStamp*) {
  output->mBuffers[0].mDataByteSize = 4;
}
void note_dispose(void*) {
  fake::add_fault("disposed");
}

struct Misuse {
  const char* name;
  std::function<void(fake::Script&)> act;
  std::vector<std::string> left;
};

void PrintTo(const Misuse& misuse, std::ostream* out) {
  *out << misuse.name;
}

const Misuse kMisuses[] = {
    {"ReleaseByTheWrongCall",
     [](fake::Script&) {
       dispatch_queue_t queue = dispatch_queue_create("q", DISPATCH_QUEUE_SERIAL);
       apple::NSObject_release(queue);
       dispatch_release(queue);
     },
     {"NSObject_release of dispatch_queue \"q\""}},
    {"Leak", [](fake::Script&) { standin::make_cfstring("kept"); }, {"CFString \"kept\""}},
    {"ReleaseOfAReleasedObject",
     [](fake::Script&) {
       CFTypeRef gone = standin::make_cfstring("gone");
       CFRelease(gone);
       CFRelease(gone);
     },
     {"CFRelease of dead object"}},
    {"BlockThatCouldNotBeMade",
     [](fake::Script& s) {
       s.failing_calls = {"AudioDeviceIOBlock_create"};
       apple::AudioDeviceIOBlock_create(&write_output, nullptr, &note_dispose);
     },
     {"disposed"}},
    {"OutputListWritten",
     [](fake::Script&) {
       dispatch_queue_t queue = dispatch_queue_create("q", DISPATCH_QUEUE_SERIAL);
       AudioDeviceIOBlock block = apple::AudioDeviceIOBlock_create(&write_output, 0, 0);
       AudioDeviceIOProcID id = nullptr;
       AudioDeviceCreateIOProcIDWithBlock(&id, 88, queue, block);
       AudioDeviceStart(88, id);
       fake::deliver_io_cycle({{0.0f}});
       fake::wait_until_delivered();
       AudioDeviceDestroyIOProcID(88, id);
       Block_release(block);
       dispatch_release(queue);
     },
     {"IOProc#1 wrote into the output buffer list"}},
};

class FaultDetector : public testing::FakeHalTest, public ::testing::WithParamInterface<Misuse> {};

TEST_P(FaultDetector, NamesWhatTheMisuseLeft) {
  GetParam().act(script);
  EXPECT_EQ(fake::leftovers(), GetParam().left);
}

INSTANTIATE_TEST_SUITE_P(EachMisuse, FaultDetector, ::testing::ValuesIn(kMisuses),
                         [](const auto& misuse) { return std::string(misuse.param.name); });

}  // namespace
}  // namespace system_audio
