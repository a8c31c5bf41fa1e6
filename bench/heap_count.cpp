// Replaces the global operator new and delete with counting ones. Each block
// carries its size in a header so that unsized deletes can be counted too.
#include "bench/heap_count.h"

#include <cstddef>
#include <cstdlib>
#include <new>

namespace {

thread_local std::int64_t g_live_bytes = 0;
thread_local std::int64_t g_peak_bytes = 0;
constexpr std::size_t kHeader = alignof(std::max_align_t);

void* counted_new(std::size_t size) {
  void* raw = std::malloc(size + kHeader);
  if (raw == nullptr) return nullptr;
  *static_cast<std::size_t*>(raw) = size;
  g_live_bytes += static_cast<std::int64_t>(size);
  if (g_live_bytes > g_peak_bytes) g_peak_bytes = g_live_bytes;
  return static_cast<char*>(raw) + kHeader;
}

void counted_delete(void* p) {
  if (p == nullptr) return;
  void* raw = static_cast<char*>(p) - kHeader;
  g_live_bytes -= static_cast<std::int64_t>(*static_cast<std::size_t*>(raw));
  std::free(raw);
}

void* counted_new_or_throw(std::size_t size) {
  void* p = counted_new(size);
  if (p == nullptr) throw std::bad_alloc();
  return p;
}

}  // namespace

void* operator new(std::size_t size) { return counted_new_or_throw(size); }
void* operator new[](std::size_t size) { return counted_new_or_throw(size); }
void* operator new(std::size_t size, const std::nothrow_t&) noexcept { return counted_new(size); }
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept { return counted_new(size); }
void operator delete(void* p) noexcept { counted_delete(p); }
void operator delete[](void* p) noexcept { counted_delete(p); }
void operator delete(void* p, std::size_t) noexcept { counted_delete(p); }
void operator delete[](void* p, std::size_t) noexcept { counted_delete(p); }
void operator delete(void* p, const std::nothrow_t&) noexcept { counted_delete(p); }
void operator delete[](void* p, const std::nothrow_t&) noexcept { counted_delete(p); }

namespace quenfel::bench {

std::int64_t live_heap_bytes() { return g_live_bytes; }
std::int64_t peak_heap_bytes() { return g_peak_bytes; }
void reset_heap_peak() { g_peak_bytes = g_live_bytes; }

}  // namespace quenfel::bench
