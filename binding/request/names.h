// Python strs for the names of a query, one per distinct name.
#pragma once

#include <cstdint>
#include <cstring>
#include <string_view>
#include <vector>

#include "binding/python/objects.h"
#include "engine/keyed_hash.h"

namespace quenfel::py {

// One str per distinct name in a call: names repeat across a query (every
// "id", every field of a fragment spread twice), and a shared str also keeps
// its hash for the dicts it keys. The client chooses the names, so the table
// hashes them whole with the process's secret key.
class Names {
 public:
  // A new reference to the str of `name`.
  Ref get(std::string_view name) {
    if (2 * (used_ + 1) > slots_.size()) grow();
    const std::uint64_t hash = keyed_hash(name);
    Slot& slot = find_slot(slots_, name, hash);
    if (!slot.str) {
      slot.str = str(name);
      slot.name = name;
      slot.hash = hash;
      ++used_;
    }
    return Ref::borrow(slot.str.get());
  }

 private:
  struct Slot {
    std::string_view name;
    std::uint64_t hash = 0;  // kept, so that growing hashes nothing again
    Ref str;
  };

  static Slot& find_slot(std::vector<Slot>& slots, std::string_view name, std::uint64_t hash) {
    const std::size_t mask = slots.size() - 1;
    for (std::size_t i = static_cast<std::size_t>(hash) & mask;; i = (i + 1) & mask) {
      Slot& slot = slots[i];
      if (!slot.str || (slot.hash == hash && slot.name.size() == name.size() &&
                        (slot.name.data() == name.data() || std::memcmp(slot.name.data(), name.data(), name.size()) == 0))) {
        return slot;
      }
    }
  }

  void grow() {
    std::vector<Slot> bigger(slots_.empty() ? 128 : slots_.size() * 2);
    for (Slot& slot : slots_) {
      if (slot.str) find_slot(bigger, slot.name, slot.hash) = std::move(slot);
    }
    slots_ = std::move(bigger);
  }

  std::vector<Slot> slots_;
  std::size_t used_ = 0;
};

}  // namespace quenfel::py
