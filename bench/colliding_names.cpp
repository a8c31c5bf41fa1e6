// Prints names that a hostile client would send to flood the hash tables that
// request names once went into: names that share a bucket under a hash that
// has no secret, found by trying names until enough land in one bucket.
//
//   colliding_names fnv N          N names in one slot of the old fragment and
//                                  operation table (FNV-1a, sized for N names)
//   colliding_names std N reserve  N names in one bucket of a std::unordered_set
//                                  reserved for N names (std::hash)
//   colliding_names std N grow     the same, for a set grown to N names
//
// Names are "c" followed by base-36 digits, valid GraphQL names.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>
#include <string_view>
#include <unordered_set>

namespace {

std::string candidate(std::uint64_t i) {
  std::string name = "c";
  do {
    name += "0123456789abcdefghijklmnopqrstuvwxyz"[i % 36];
    i /= 36;
  } while (i != 0);
  return name;
}

// The hash and table size the document's fragment table used.
std::uint64_t old_fragment_hash(std::string_view name) {
  std::uint64_t h = 1469598103934665603ull;
  for (unsigned char c : name) {
    h ^= c;
    h *= 1099511628211ull;
  }
  return h ^ (h >> 29);
}

std::uint64_t old_fragment_table_size(std::uint64_t n) {
  std::uint64_t size = 4;
  while (size < n * 2) size <<= 1;
  return size;
}

std::size_t std_bucket_count(std::size_t n, bool reserve) {
  std::unordered_set<std::string> set;
  if (reserve) {
    set.reserve(n);
  } else {
    for (std::size_t i = 0; i < n; ++i) set.insert(candidate(i));
  }
  return set.bucket_count();
}

template <class Bucket>
void print_colliding(std::size_t n, Bucket bucket) {
  const std::uint64_t target = bucket(candidate(0));
  std::size_t found = 0;
  for (std::uint64_t i = 0; found < n; ++i) {
    std::string name = candidate(i);
    if (bucket(name) == target) {
      std::printf("%s\n", name.c_str());
      ++found;
    }
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: colliding_names fnv N | colliding_names std N reserve|grow\n");
    return 2;
  }
  const std::size_t n = std::strtoull(argv[2], nullptr, 10);
  if (std::strcmp(argv[1], "fnv") == 0) {
    const std::uint64_t mask = old_fragment_table_size(n) - 1;
    print_colliding(n, [&](std::string_view name) { return old_fragment_hash(name) & mask; });
    return 0;
  }
  if (std::strcmp(argv[1], "std") == 0 && argc == 4) {
    const std::size_t buckets = std_bucket_count(n, std::strcmp(argv[3], "reserve") == 0);
    print_colliding(n, [&](std::string_view name) { return std::hash<std::string_view>{}(name) % buckets; });
    return 0;
  }
  std::fprintf(stderr, "unknown mode\n");
  return 2;
}
