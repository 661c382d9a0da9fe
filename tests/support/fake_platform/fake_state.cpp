// The fake's script, log, hook and bookkeeping.

#include <string>

#include "fake_state.h"

namespace system_audio::fake::detail {
namespace {

// Set while the fake itself calls a runtime function: such calls are not the
// backend's and neither appear in the log nor fail.
thread_local bool internal_call = false;

bool shorthand_fails(const HalScript& script, std::string_view function) {
  return (script.no_tap_description_class && function == "CATapDescription_alloc") ||
         (script.nil_ns_array && function == "NSArray_new") ||
         (script.null_queue && function == "dispatch_queue_create") ||
         (script.null_block && function == "AudioDeviceIOBlock_create");
}

bool on_runtime_call(std::string_view function, std::string_view arguments) {
  if (internal_call) return true;
  State& fake = state();
  std::lock_guard lock(fake.mutex);
  log_locked(fake, std::string(function) + "(" + std::string(arguments) + ")");
  bool fail = shorthand_fails(fake.script, function);
  const auto& failures = fake.script.runtime_failures;
  fake.failure_counts.resize(failures.size(), 0);
  for (std::size_t i = 0; i < failures.size(); ++i) {
    const RuntimeFailure& failure = failures[i];
    if (failure.function != function ||
        arguments.find(failure.arguments_contain) == std::string_view::npos) {
      continue;
    }
    ++fake.failure_counts[i];
    if (failure.occurrence == 0 || fake.failure_counts[i] == failure.occurrence) fail = true;
  }
  return !fail;
}

// The hook goes in as soon as the fake is linked, so that a test that never
// resets still gets one log.
[[maybe_unused]] const bool hook_installed = (install_hook(), true);

}  // namespace

State& state() {
  // Never destroyed: queue workers may still report while the program exits.
  static State* const fake = new State();
  return *fake;
}

void log_locked(State& fake, std::string line) {
  fake.log.push_back(std::move(line));
}

void release_internal(platform::dispatch_queue_t queue, platform::AudioDeviceIOBlock block) {
  internal_call = true;
  if (block != nullptr) platform::Block_release(block);
  if (queue != nullptr) platform::dispatch_release(queue);
  internal_call = false;
}

void retire_io_proc(const std::shared_ptr<IoProc>& proc) {
  {
    State& fake = state();
    std::lock_guard lock(fake.mutex);
    proc->destroyed = true;
  }
  // Like the HAL, do not return while the block is still running; from inside
  // the block itself there is nothing to wait for.
  if (proc->queue == nullptr || standin::current_queue() != proc->queue) {
    std::lock_guard wait_for_call(proc->call_mutex);
  }
  release_internal(proc->queue, proc->block);
}

std::string io_proc_name_locked(State& fake, AudioDeviceIOProcID id) {
  if (id == nullptr) return "NULL";
  for (const auto* list : {&fake.io_procs, &fake.retired_io_procs}) {
    for (const auto& proc : *list) {
      if (reinterpret_cast<AudioDeviceIOProcID>(proc.get()) == id) {
        return "IOProc#" + std::to_string(proc->number);
      }
    }
  }
  return "unknown IOProc";
}

void install_hook() {
  standin::set_call_hook(on_runtime_call);
}

}  // namespace system_audio::fake::detail

namespace system_audio::fake {

HalScript& script() {
  return detail::state().script;
}

void reset() {
  detail::State& fake = detail::state();
  std::vector<std::shared_ptr<detail::IoProc>> registered;
  {
    std::lock_guard lock(fake.mutex);
    registered.swap(fake.io_procs);
  }
  for (const auto& proc : registered) detail::retire_io_proc(proc);
  standin::reset_ledger();
  {
    std::lock_guard lock(fake.mutex);
    fake.script = HalScript{};
    fake.log.clear();
    fake.hal_faults.clear();
    fake.failure_counts.clear();
    fake.taps.clear();
    fake.aggregates.clear();
    fake.retired_io_procs.clear();
    fake.next_io_proc = 1;
    fake.next_start = 1;
    fake.passed = Passed{};
    fake.delivered_cycles = 0;
  }
  detail::install_hook();
}

std::vector<std::string> log() {
  detail::State& fake = detail::state();
  std::lock_guard lock(fake.mutex);
  return fake.log;
}

void clear_log() {
  detail::State& fake = detail::state();
  std::lock_guard lock(fake.mutex);
  fake.log.clear();
}

HalObjects live_hal_objects() {
  detail::State& fake = detail::state();
  std::lock_guard lock(fake.mutex);
  HalObjects objects;
  for (const auto& tap : fake.taps) objects.taps.push_back(tap.id);
  for (const auto& aggregate : fake.aggregates) objects.aggregate_devices.push_back(aggregate.id);
  for (const auto& proc : fake.io_procs) {
    objects.io_procs.push_back("IOProc#" + std::to_string(proc->number) + " on " +
                               std::to_string(proc->device) +
                               (proc->started_order != 0 ? " (started)" : ""));
  }
  return objects;
}

std::vector<std::string> hal_faults() {
  detail::State& fake = detail::state();
  std::lock_guard lock(fake.mutex);
  return fake.hal_faults;
}

std::vector<std::string> leftovers() {
  std::vector<std::string> found;
  const HalObjects hal = live_hal_objects();
  for (const AudioObjectID tap : hal.taps) found.push_back("process tap " + std::to_string(tap));
  for (const AudioObjectID aggregate : hal.aggregate_devices) {
    found.push_back("aggregate device " + std::to_string(aggregate));
  }
  for (const auto& proc : hal.io_procs) found.push_back(proc);
  for (const auto& entry : standin::live_objects()) {
    found.push_back(entry.description + " (" + std::to_string(entry.references) +
                    (entry.references == 1 ? " reference)" : " references)"));
  }
  for (const auto& fault : standin::faults()) found.push_back("runtime fault: " + fault);
  for (const auto& fault : hal_faults()) found.push_back("HAL fault: " + fault);
  return found;
}

Passed passed() {
  detail::State& fake = detail::state();
  std::lock_guard lock(fake.mutex);
  return fake.passed;
}

}  // namespace system_audio::fake
