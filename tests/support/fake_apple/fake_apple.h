#pragma once

// A scripted CoreAudio HAL over the stand-in runtime, for tests and benches.
// install() makes it report: one ordered log of every platform call, runtime
// and HAL alike ("AudioHardwareDestroyProcessTap(77)", "CFRelease(CFString
// \"uid\")"), the HAL objects alive, and misuse the HAL would not forgive.
// The tap and aggregate descriptions show in the log with their content, as
// the HAL reads them when it is called.

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <tuple>
#include <vector>

#include "runtime_watch.h"
#include "system_audio/apple/core_audio.h"

namespace system_audio::fake {

struct Script {
  OSStatus default_device_status = 0;
  AudioObjectID default_device = 73;
  // nullopt hands out a null string. UTF-16, so unpaired surrogates can be scripted.
  OSStatus device_uid_status = 0;
  std::optional<std::u16string> device_uid = u"FakeSpeakers:UID";
  OSStatus create_tap_status = 0;
  AudioObjectID tap_id = 77;
  // The record written (no more than the size passed) and the size reported.
  OSStatus tap_format_status = 0;
  AudioStreamBasicDescription tap_format{48000.0,
                                         kAudioFormatLinearPCM,
                                         kAudioFormatFlagIsFloat | kAudioFormatFlagIsPacked,
                                         4,
                                         1,
                                         4,
                                         1,
                                         32,
                                         0};
  UInt32 tap_format_size = sizeof(AudioStreamBasicDescription);
  OSStatus tap_uid_status = 0;
  std::optional<std::u16string> tap_uid = u"7F1A2B3C-FAKE-TAP-0001";
  OSStatus create_aggregate_status = 0;
  AudioObjectID aggregate_id = 88;
  OSStatus create_io_proc_status = 0;
  OSStatus start_status = 0;
  UInt32 device_alive = 1;       // every device's kAudioDevicePropertyDeviceIsAlive
  UInt32 aggregate_running = 1;  // the aggregate's kAudioDevicePropertyDeviceIsRunningSomewhere
  // The default device's input streams (a headset's microphone), by channel
  // count: an IO cycle's input list holds them, full of kMicrophone, before
  // the tap's buffers.
  std::vector<UInt32> device_inputs;
  // The process objects: id, pid and IsRunningOutput of each.
  using Process = std::tuple<AudioObjectID, pid_t, UInt32>;
  std::vector<Process> processes;
  // Runtime calls that fail (return nullptr / nil): "dispatch_queue_create"
  // fails every such call, "CFStringCreateWithBytes#2" only the second. The
  // HAL's listener additions fail the same way, with kAudioHardwareBadObjectError.
  std::vector<std::string> failing_calls;
};

// Installs the call hook with a fresh script, log and HAL; uninstall() drops
// the HAL objects left (their queue and block references) and the hook. Call
// both only when no block is in flight.
Script& install();
void uninstall();

std::vector<std::string> log();
// Sees each log line before the call acts, on the calling thread.
void set_observer(std::function<void(const std::string& line)> observer);

// HAL objects alive, runtime objects alive and every fault of either, as text;
// empty when nothing was left behind.
std::vector<std::string> leftovers();

inline constexpr float kMicrophone = 0.75f;

// One block, as the HAL would deliver it in an IO cycle, to the started IOProc on its
// queue: each tap buffer holds `channels` interleaved float samples, after the
// device's input buffers of as many frames; at_call may change the tap's right
// before the block runs. False when no IOProc is started.
using Buffers = std::vector<std::vector<float>>;
bool deliver_block(Buffers buffers, UInt32 channels = 1,
                   std::function<void(Buffers&)> at_call = nullptr);
// A property of an object changing (as scripted before the call), told as the
// HAL tells it: every listener added for that object and selector is called
// on its queue with that one address. The number of listeners called.
int change_property(AudioObjectID object, AudioObjectPropertySelector selector);

// Until every delivered block and listener call has been handed to its block or dropped.
void wait_until_delivered();

}  // namespace system_audio::fake
