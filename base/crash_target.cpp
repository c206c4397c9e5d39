// The file that a crash cuts back, kept where the crash hooks of either
// platform can read it from any thread or signal handler.
#include <atomic>

#include "base/process.h"

namespace qp {
namespace {

std::atomic<intptr_t> crash_target_handle{-1};
std::atomic<int64_t> crash_target_size{0};
static_assert(std::atomic<intptr_t>::is_always_lock_free &&
                  std::atomic<int64_t>::is_always_lock_free,
              "the crash hooks read these inside a signal handler");

}  // namespace

void set_crash_target(intptr_t handle, int64_t size) {
  if (crash_target_handle.load() != handle) {
    crash_target_handle.store(-1);
  }
  crash_target_size.store(size);
  crash_target_handle.store(handle);
}

void clear_crash_target(intptr_t handle) {
  intptr_t expected = handle;
  crash_target_handle.compare_exchange_strong(expected, -1);
}

bool take_crash_target(intptr_t& handle, int64_t& size) {
  handle = crash_target_handle.exchange(-1);
  size = crash_target_size.load();
  return handle != -1;
}

}  // namespace qp
