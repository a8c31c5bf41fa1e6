// A process-wide record of Python objects looked up once, by a fill that runs
// Python code (imports), which may let other threads run or call back in.
#pragma once

#include <array>
#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <mutex>
#include <thread>

#include "binding/python/objects.h"

namespace quenfel::py {

// Filled as a whole on first successful use and then kept, with its strong
// references, until the process ends (never released: the interpreter may be
// gone by then). A caller that finds it not filled lets go of the interpreter
// lock before it waits, so the thread filling it can run its imports; a failed
// fill leaves it empty and raises, and the next caller tries again.
template <std::size_t N>
class OnceCell {
 public:
  using Objects = std::array<PyObject*, N>;
  using Fill = std::array<Ref, N> (*)();

  // `name` appears in the error raised when a fill re-enters its own cell.
  OnceCell(const char* name, Fill fill) : name_(name), fill_(fill) {}
  OnceCell(const OnceCell&) = delete;
  OnceCell& operator=(const OnceCell&) = delete;

  // The objects when filled, else null: one acquire load.
  const Objects* peek() const noexcept {
    return state_.load(std::memory_order_acquire) == kComplete ? &objects_ : nullptr;
  }

  // The objects (borrowed), filled first if needed; called with the interpreter lock held.
  const Objects& get() {
    if (const Objects* objects = peek()) return *objects;
    return fill_or_wait();
  }

 private:
  enum State : int { kIncomplete, kRunning, kComplete };

  const Objects& fill_or_wait() {
    const std::thread::id self = std::this_thread::get_id();
    // Waiting for our own fill would never end.
    if (filler_.load(std::memory_order_relaxed) == self) {
      PyErr_Format(PyExc_RuntimeError, "the %s was re-entered while it is being filled", name_);
      throw ErrorSet{};
    }
    PyThreadState* thread = PyEval_SaveThread();
    std::unique_lock lock(mutex_);
    for (;;) {
      const int state = state_.load(std::memory_order_relaxed);
      if (state == kComplete) break;
      if (state == kIncomplete) {
        state_.store(kRunning, std::memory_order_relaxed);
        filler_.store(self, std::memory_order_relaxed);
        lock.unlock();
        PyEval_RestoreThread(thread);
        run_fill();
        return objects_;
      }
      waiting_.wait(lock);
    }
    lock.unlock();
    PyEval_RestoreThread(thread);
    return objects_;
  }

  // Runs with the interpreter lock held. Taking the mutex here cannot
  // deadlock: no thread waits for the interpreter lock while holding it.
  void run_fill() {
    std::array<Ref, N> filled;
    try {
      filled = fill_();
    } catch (...) {
      finish(kIncomplete);
      throw;
    }
    for (std::size_t i = 0; i < N; ++i) objects_[i] = filled[i].release();
    finish(kComplete);
  }

  void finish(State state) noexcept {
    std::lock_guard lock(mutex_);
    filler_.store(std::thread::id(), std::memory_order_relaxed);
    state_.store(state, std::memory_order_release);  // the objects before the state
    waiting_.notify_all();
  }

  const char* name_;
  Fill fill_;
  std::atomic<int> state_{kIncomplete};
  // Written only by the filling thread, so a thread that reads its own id here is that thread.
  std::atomic<std::thread::id> filler_{};
  std::mutex mutex_;
  std::condition_variable waiting_;
  Objects objects_{};
};

}  // namespace quenfel::py
