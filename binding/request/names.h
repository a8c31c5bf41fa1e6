// Python strs for the names of a query, one per distinct name.
#pragma once

#include <cstdint>
#include <cstring>
#include <string_view>
#include <vector>

#include "binding/python/objects.h"

namespace quenfel::py {

// One str per distinct name in a call: names repeat across a query (every
// "id", every field of a fragment spread twice), and a shared str also keeps
// its hash for the dicts it keys.
class Names {
 public:
  // A new reference to the str of `name`.
  Ref get(std::string_view name) {
    if (2 * (used_ + 1) > slots_.size()) grow();
    Slot& slot = find_slot(slots_, name);
    if (!slot.str) {
      slot.str = str(name);
      slot.name = name;
      ++used_;
    }
    return Ref::borrow(slot.str.get());
  }

 private:
  struct Slot {
    std::string_view name;
    Ref str;
  };

  // Names are short: their length and first and last eight bytes tell them apart.
  static std::size_t hash(std::string_view name) {
    constexpr std::uint64_t kMultiplier = 0x9E3779B97F4A7C15ull;
    const std::size_t size = name.size();
    const char* data = name.data();
    std::uint64_t head = 0, tail = 0;
    if (size >= 8) {
      std::memcpy(&head, data, 8);
      std::memcpy(&tail, data + size - 8, 8);
    } else {
      for (std::size_t i = 0; i < size; ++i) head = head << 8 | static_cast<unsigned char>(data[i]);
    }
    std::uint64_t h = ((size ^ head) * kMultiplier ^ tail) * kMultiplier;
    return static_cast<std::size_t>(h ^ (h >> 29));
  }

  static Slot& find_slot(std::vector<Slot>& slots, std::string_view name) {
    const std::size_t mask = slots.size() - 1;
    for (std::size_t i = hash(name) & mask;; i = (i + 1) & mask) {
      const Slot& slot = slots[i];
      if (!slot.str || (slot.name.size() == name.size() &&
                        (slot.name.data() == name.data() || std::memcmp(slot.name.data(), name.data(), name.size()) == 0))) {
        return slots[i];
      }
    }
  }

  void grow() {
    std::vector<Slot> bigger(slots_.empty() ? 128 : slots_.size() * 2);
    for (Slot& slot : slots_) {
      if (slot.str) find_slot(bigger, slot.name) = std::move(slot);
    }
    slots_ = std::move(bigger);
  }

  std::vector<Slot> slots_;
  std::size_t used_ = 0;
};

}  // namespace quenfel::py
