// Python strs for the names of a query, one per distinct name.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>
#include <vector>

#include "binding/python/objects.h"
#include "engine/keyed_hash.h"

namespace quenfel::py {

// One str per distinct name in a call: names repeat across a query (every
// "id", every field of a fragment spread twice), and a shared str also keeps
// its hash for the dicts it keys.
//
// The client chooses the names. Ordinary names are told apart by a fast hash
// of their length and first and last eight bytes, and never chain far in the
// table; names made to collide under it do. The first chain longer than any
// ordinary one, or the first two names that share a fast hash, switch the
// table to the keyed hash of whole names, which no client can aim at. Until
// then no lookup walks more than that many slots, or compares more than one
// name that is not its own.
class Names {
 public:
  Names() : index_(kInitialSlots, 0) { entries_.reserve(kInitialSlots / 2); }

  // A new reference to the str of `name`.
  Ref get(std::string_view name) {
    const std::size_t* slot = find(name, hash_of(name));
    if (slot != nullptr && *slot != 0) return Ref::borrow(entries_[*slot - 1].str.get());
    return add(name);
  }

 private:
  static constexpr std::size_t kInitialSlots = 128;
  // Far beyond the chains that ordinary names make in a table at most half full.
  static constexpr std::size_t kMaxProbes = 32;

  struct Entry {
    std::string_view name;
    std::uint64_t hash;  // kept, so that growing hashes nothing again
    Ref str;
  };

  static std::uint64_t fast_hash(std::string_view name) {
    const std::size_t size = name.size();
    const char* data = name.data();
    std::uint64_t head = 0, tail = 0;
    if (size >= 8) {
      std::memcpy(&head, data, 8);
      std::memcpy(&tail, data + size - 8, 8);
    } else {
      for (std::size_t i = 0; i < size; ++i) head = head << 8 | static_cast<unsigned char>(data[i]);
    }
    // One full multiply, folded: every byte read reaches the low bits that pick
    // the slot, so names that differ only in their last characters spread too.
    const unsigned __int128 product =
        static_cast<unsigned __int128>(head ^ size ^ 0x9E3779B97F4A7C15ull) * (tail ^ 0xBF58476D1CE4E5B9ull);
    return static_cast<std::uint64_t>(product) ^ static_cast<std::uint64_t>(product >> 64);
  }

  std::uint64_t hash_of(std::string_view name) const { return keyed_ ? keyed_hash(name) : fast_hash(name); }

  // The index slot of the name, or the empty slot where it goes; null when
  // the fast hash would walk more than kMaxProbes slots or meets another name
  // of the same hash.
  std::size_t* find(std::string_view name, std::uint64_t hash) {
    const std::size_t mask = index_.size() - 1;
    std::size_t probes = 0;
    for (std::size_t i = static_cast<std::size_t>(hash) & mask;; i = (i + 1) & mask) {
      std::size_t& slot = index_[i];
      if (slot == 0) return &slot;
      const Entry& entry = entries_[slot - 1];
      if (entry.hash == hash && entry.name.size() == name.size() &&
          (entry.name.data() == name.data() || std::memcmp(entry.name.data(), name.data(), name.size()) == 0)) {
        return &slot;
      }
      // Another name of the same fast hash: ordinary names hardly ever share
      // one, and names made to would each cost a compare of their whole
      // length on every lookup of another.
      if ((entry.hash == hash || ++probes > kMaxProbes) && !keyed_) return nullptr;
    }
  }

  // Once per distinct name (or to switch hashes), so kept apart from the lookup.
  [[gnu::noinline]] Ref add(std::string_view name) {
    std::uint64_t hash = hash_of(name);
    std::size_t* slot = find(name, hash);
    if (slot == nullptr) {
      use_keyed_hash();
      hash = keyed_hash(name);
      slot = find(name, hash);
      if (*slot != 0) return Ref::borrow(entries_[*slot - 1].str.get());
    }
    entries_.push_back({name, hash, str(name)});
    *slot = entries_.size();
    if (2 * entries_.size() > index_.size()) reindex(2 * index_.size());
    return Ref::borrow(entries_.back().str.get());
  }

  // Rebuilds the index with `size` slots.
  void reindex(std::size_t size) {
    index_.assign(size, 0);
    for (std::size_t k = 0; k < entries_.size(); ++k) {
      std::size_t* slot = find(entries_[k].name, entries_[k].hash);
      if (slot == nullptr) return use_keyed_hash();
      *slot = k + 1;
    }
  }

  void use_keyed_hash() {
    keyed_ = true;
    for (Entry& entry : entries_) entry.hash = keyed_hash(entry.name);
    reindex(index_.size());
  }

  std::vector<Entry> entries_;
  std::vector<std::size_t> index_;  // open addressing: 1 + the entry's position, 0 for an empty slot
  bool keyed_ = false;
};

}  // namespace quenfel::py
