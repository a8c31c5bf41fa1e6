// Heap bytes requested through the global operator new, which the bench
// binary replaces (heap_count.cpp). Counted per thread: each timed run stays
// on one.
#pragma once

#include <cstdint>

namespace quenfel::bench {

// Bytes allocated and not yet freed on this thread.
std::int64_t live_heap_bytes();
// The most live_heap_bytes() has been since the last reset_heap_peak().
std::int64_t peak_heap_bytes();
void reset_heap_peak();

}  // namespace quenfel::bench
