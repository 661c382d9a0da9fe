#pragma once

// The fake HAL's shared state. Internal to the fake: tests use fake_platform.h.

#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "fake_platform.h"

namespace system_audio::fake::detail {

struct IoProc {
  std::uint32_t number = 0;
  AudioObjectID device = 0;
  platform::dispatch_queue_t queue = nullptr;    // one reference held while registered
  platform::AudioDeviceIOBlock block = nullptr;  // one reference held while registered
  std::uint64_t started_order = 0;               // 0 = not started
  bool destroyed = false;                        // guarded by State::mutex
  std::mutex call_mutex;                         // held while the block runs; destroy waits for it
};

struct Tap {
  AudioObjectID id = 0;
  std::string uid;  // the UID text its UID read hands out
};

struct Aggregate {
  AudioObjectID id = 0;
  std::set<std::string> tap_uids;  // sub-taps named by its description
};

struct State {
  std::mutex mutex;
  HalScript script;
  std::vector<std::string> log;
  std::vector<std::string> hal_faults;
  std::vector<int> failure_counts;  // matching calls seen, per runtime_failures entry
  std::vector<Tap> taps;
  std::vector<Aggregate> aggregates;
  std::vector<std::shared_ptr<IoProc>> io_procs;
  // Destroyed IOProcs stay until reset so that a stale id never matches a new one.
  std::vector<std::shared_ptr<IoProc>> retired_io_procs;
  std::uint32_t next_io_proc = 1;
  std::uint64_t next_start = 1;
  Passed passed;
  std::size_t outstanding_cycles = 0;
  std::size_t delivered_cycles = 0;
  std::condition_variable cycles_done;
};

State& state();

// Appends one log line; caller holds state().mutex.
void log_locked(State& state, std::string line);

// Releases the fake's own references (queue, block of an IOProc) without
// reporting them as calls of the backend.
void release_internal(platform::dispatch_queue_t queue, platform::AudioDeviceIOBlock block);

// Removes an IOProc: later cycles skip it, a running call is waited for, and
// its queue and block references are dropped. Caller must not hold state().mutex.
void retire_io_proc(const std::shared_ptr<IoProc>& proc);

// "IOProc#3", "NULL" or "unknown IOProc"; caller holds state().mutex.
std::string io_proc_name_locked(State& state, AudioDeviceIOProcID id);

void install_hook();

}  // namespace system_audio::fake::detail
