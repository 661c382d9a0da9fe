#pragma once

// A scripted CoreAudio HAL for tests. Linking coreaudio_platform_fake defines the
// HAL half of coreaudio_platform.h with results taken from a script, on top of
// the stand-in runtime (CF, Foundation, tap description, dispatch, blocks). One
// ordered log holds every platform call the backend makes, runtime and HAL
// alike, so a test can assert the exact call order and clean-up order; the live
// HAL objects and the runtime ledger show what a start left behind.
//
// Log lines are the platform name and its arguments in parentheses. Runtime
// calls use the argument texts documented in standin_runtime.h; HAL calls read:
//   AudioObjectGetPropertyData(1, 'dOut', 'glob', 0, 4)
//   AudioObjectGetPropertyData(73, 'uid ', 'outp', 0, 8)
//   AudioHardwareCreateProcessTap(CATapDescription)
//   AudioHardwareDestroyProcessTap(77)
//   AudioHardwareCreateAggregateDevice(CFDictionary{8})
//   AudioHardwareDestroyAggregateDevice(88)
//   AudioDeviceCreateIOProcIDWithBlock(88, dispatch_queue "label", AudioDeviceIOBlock)
//   AudioDeviceDestroyIOProcID(88, IOProc#1)
//   AudioDeviceStart(88, IOProc#1)
// (the property read shows object, selector, scope, element and the size passed;
// a non-empty qualifier adds ", qualifier N"). IOProc ids are numbered from 1
// after each reset.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "system_audio/platform/core_audio.h"
#include "system_audio/platform/standin/standin_runtime.h"

namespace system_audio::fake {

using platform::AudioDeviceIOProcID;
using platform::AudioObjectID;
using platform::OSStatus;
using platform::UInt32;

inline constexpr AudioObjectID kDefaultDeviceId = 73;
inline constexpr AudioObjectID kDefaultTapId = 77;
inline constexpr AudioObjectID kDefaultAggregateId = 88;
inline constexpr std::string_view kDefaultDeviceUid = "FakeSpeakers:UID";
inline constexpr std::string_view kDefaultTapUid = "7F1A2B3C-FAKE-TAP-0001";

// 48 kHz float32 packed mono, as a tap mixed down to mono reports it.
constexpr AudioStreamBasicDescription default_tap_format() {
  return {48000.0,
          kAudioFormatLinearPCM,
          kAudioFormatFlagIsFloat | kAudioFormatFlagIsPacked,
          4,
          1,
          4,
          1,
          32,
          0};
}

// Makes the Nth runtime call of a platform function fail (return nullptr / nil).
struct RuntimeFailure {
  std::string function;           // platform name, e.g. "CFStringCreateWithBytes"
  std::string arguments_contain;  // only calls whose argument text contains this count
  int occurrence = 1;             // 1 = the first matching call; 0 = every one
};

struct HalScript {
  // kAudioHardwarePropertyDefaultOutputDevice on the system object.
  OSStatus default_device_status = 0;
  AudioObjectID default_device = kDefaultDeviceId;

  // kAudioDevicePropertyDeviceUID of the default device: nullopt hands out a
  // null reference, u"" a non-null empty string. UTF-16 so that a test can
  // script unpaired surrogates.
  OSStatus device_uid_status = 0;
  std::optional<std::u16string> device_uid = u"FakeSpeakers:UID";

  OSStatus create_tap_status = 0;
  AudioObjectID tap_id = kDefaultTapId;

  // kAudioTapPropertyFormat: the record written (at most the reported size of
  // it, and never more than the size passed) and the size reported back.
  OSStatus tap_format_status = 0;
  AudioStreamBasicDescription tap_format = default_tap_format();
  UInt32 tap_format_size = sizeof(AudioStreamBasicDescription);

  // kAudioTapPropertyUID, as device_uid.
  OSStatus tap_uid_status = 0;
  std::optional<std::u16string> tap_uid = u"7F1A2B3C-FAKE-TAP-0001";

  OSStatus create_aggregate_status = 0;
  AudioObjectID aggregate_id = kDefaultAggregateId;

  OSStatus create_io_proc_status = 0;
  OSStatus start_status = 0;

  // A destroy call with a non-zero status leaves its object alive.
  OSStatus destroy_io_proc_status = 0;
  OSStatus destroy_aggregate_status = 0;
  OSStatus destroy_tap_status = 0;

  // Runtime failures. The four flags are shorthands for the matching entry of
  // runtime_failures with occurrence 0.
  bool no_tap_description_class = false;  // CATapDescription_alloc returns nil
  bool nil_ns_array = false;              // NSArray_new returns nil
  bool null_queue = false;                // dispatch_queue_create returns nullptr
  bool null_block = false;                // AudioDeviceIOBlock_create returns nullptr
  std::vector<RuntimeFailure> runtime_failures;
};

// The script the HAL reads from; change it before starting the backend.
HalScript& script();

// Fresh script, empty log, no HAL objects, ledger reset, hook (re)installed.
// IOProcs still registered are destroyed first (their queue and block
// references dropped), so call it only after the last delivery has finished.
void reset();

// ---- The log --------------------------------------------------------------------------

std::vector<std::string> log();
void clear_log();

// ---- What is alive --------------------------------------------------------------------

struct HalObjects {
  std::vector<AudioObjectID> taps;
  std::vector<AudioObjectID> aggregate_devices;
  std::vector<std::string> io_procs;  // "IOProc#1 on 88 (started)"

  bool empty() const { return taps.empty() && aggregate_devices.empty() && io_procs.empty(); }
};
HalObjects live_hal_objects();

// Misuse the HAL would not forgive, e.g. "AudioHardwareDestroyProcessTap(77)
// while aggregate device 88 uses it", "IOProc#1 wrote into the output buffer
// list".
std::vector<std::string> hal_faults();

// Everything still alive (HAL objects, then runtime ledger entries) and every
// fault of either kind, as text; empty after a start that cleaned up fully.
std::vector<std::string> leftovers();

// ---- What the backend passed --------------------------------------------------------------

struct Passed {
  // Fields of the description given to the last AudioHardwareCreateProcessTap.
  std::optional<standin::TapDescriptionFields> tap_description;
  // The last aggregate description, copied when the create call was made.
  std::optional<standin::Snapshot> aggregate_description;
  // The queue, its label and the block of the last AudioDeviceCreateIOProcIDWithBlock.
  platform::dispatch_queue_t queue = nullptr;
  std::optional<std::string> queue_label;
  platform::AudioDeviceIOBlock block = nullptr;
  // The strings the fake handed out for the UID reads (identity only: the
  // backend owns and releases them).
  platform::CFStringRef device_uid = nullptr;
  platform::CFStringRef tap_uid = nullptr;
};
Passed passed();

// ---- IO delivery ----------------------------------------------------------------------

// One buffer of an IO cycle. mDataByteSize is bytes.size(); null_data gives a
// null mData with that size.
struct CycleBuffer {
  UInt32 channels = 1;
  std::vector<std::uint8_t> bytes;
  bool null_data = false;
};
// A buffer of native-endian float samples.
CycleBuffer float_buffer(UInt32 channels, const std::vector<float>& samples);

// Delivers one IO cycle with these input buffers to the most recently started
// IOProc: copied, then dispatched asynchronously on the IOProc's queue (FIFO, so
// cycles arrive in order; an IOProc created with a null queue is called on the
// calling thread). The output list handed to the block is checked afterwards:
// a block that writes into it is recorded in hal_faults(). An IOProc destroyed
// before its turn comes receives nothing. Returns false, and delivers nothing,
// when no IOProc is started.
bool deliver_io_cycle(std::vector<CycleBuffer> buffers);
// The same for a list as the HAL lays it out (copied, mNumberBuffers records).
bool deliver_io_cycle(const AudioBufferList& list);

// Blocks until every delivered cycle has been handed to its block or dropped.
void wait_until_delivered();
// Cycles handed to a block since the last reset.
std::size_t delivered_cycles();

}  // namespace system_audio::fake
