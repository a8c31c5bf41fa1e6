// A process-wide record of Python objects looked up once, by a fill that runs
// Python code (imports), which may let other threads run or call back in.
#pragma once

#include <array>
#include <atomic>
#include <cstddef>
#include <mutex>

#include "binding/python/objects.h"

namespace quenfel::py {

// Marks a cell as being filled on this thread while it lives, so that a fill
// that calls back into its own cell is told apart from fills on other threads.
class FillingScope {
 public:
  explicit FillingScope(const void* cell) noexcept : cell_(cell), outer_(innermost_) { innermost_ = this; }
  ~FillingScope() { innermost_ = outer_; }
  FillingScope(const FillingScope&) = delete;
  FillingScope& operator=(const FillingScope&) = delete;

  static bool filling(const void* cell) noexcept {
    for (const FillingScope* scope = innermost_; scope != nullptr; scope = scope->outer_) {
      if (scope->cell_ == cell) return true;
    }
    return false;
  }

 private:
  const void* cell_;
  const FillingScope* outer_;
  static inline thread_local const FillingScope* innermost_ = nullptr;
};

// Filled as a whole on first successful use and then kept, with its strong
// references, until the process ends (never released: the interpreter may be
// gone by then).
//
// No caller waits for a fill running on another thread: that fill may be
// blocked on an import lock that the caller holds (a host package whose
// import-time code calls the module while another thread makes its first
// call), and the interpreter cannot see such a wait to break it. So a caller
// that finds the cell not filled runs the fill itself, with the interpreter
// lock held, which the cell never lets go of. Fills only look objects up, so
// every fill finds the same objects: the first complete fill is kept and
// later ones are dropped. A failed fill leaves the cell empty and raises, and
// the next caller tries again.
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
  const Objects* peek() const noexcept { return complete_.load(std::memory_order_acquire) ? &objects_ : nullptr; }

  // The objects (borrowed), filled first if needed; called with the interpreter lock held.
  const Objects& get() {
    if (const Objects* objects = peek()) return *objects;
    return fill();
  }

 private:
  const Objects& fill() {
    // A fill that calls back into its own cell would start again, without end.
    if (FillingScope::filling(this)) {
      PyErr_Format(PyExc_RuntimeError, "the %s was re-entered while it is being filled", name_);
      throw ErrorSet{};
    }
    std::array<Ref, N> filled;
    {
      FillingScope scope(this);
      filled = fill_();
    }
    publish(filled);
    return objects_;  // a fill that came second still holds its objects: released here
  }

  // Keeps the first complete fill. The mutex, not the interpreter lock, makes
  // this safe; no code that holds it waits for anything else.
  void publish(std::array<Ref, N>& filled) {
    std::lock_guard lock(mutex_);
    if (complete_.load(std::memory_order_relaxed)) return;
    for (std::size_t i = 0; i < N; ++i) objects_[i] = filled[i].release();
    complete_.store(true, std::memory_order_release);  // the objects before the state
  }

  const char* name_;
  Fill fill_;
  std::atomic<bool> complete_{false};
  std::mutex mutex_;
  Objects objects_{};
};

}  // namespace quenfel::py
