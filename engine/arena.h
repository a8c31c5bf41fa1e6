// A bump allocator for the parsed document: the tree is built once, never
// changed and freed all at once, so per-node allocations would be wasted work.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <new>
#include <type_traits>

namespace quenfel {

class Arena {
  struct Block {
    Block* next;
    std::size_t size;
  };

 public:
  explicit Arena(std::size_t first_block_bytes = 1024) : next_block_bytes_(first_block_bytes) {}
  Arena(const Arena&) = delete;
  Arena& operator=(const Arena&) = delete;
  ~Arena() {
    while (head_ != nullptr) {
      Block* next = head_->next;
      ::operator delete(head_);
      head_ = next;
    }
  }

  void* allocate(std::size_t bytes, std::size_t align = alignof(std::max_align_t)) {
    std::uintptr_t p = (reinterpret_cast<std::uintptr_t>(cursor_) + (align - 1)) & ~(align - 1);
    if (cursor_ == nullptr || p + bytes > reinterpret_cast<std::uintptr_t>(end_)) {
      return allocate_slow(bytes, align);
    }
    cursor_ = reinterpret_cast<char*>(p + bytes);
    return reinterpret_cast<void*>(p);
  }

  template <class T, class... Args>
  T* make(Args&&... args) {
    static_assert(std::is_trivially_destructible_v<T>);
    return new (allocate(sizeof(T), alignof(T))) T(static_cast<Args&&>(args)...);
  }

  char* copy_chars(const char* src, std::size_t n) {
    char* dst = static_cast<char*>(allocate(n == 0 ? 1 : n, 1));
    if (n != 0) std::memcpy(dst, src, n);
    return dst;
  }

  // Bytes obtained from the heap, headers included.
  std::size_t bytes_reserved() const { return reserved_; }

  // Where the arena stands; release() gives back everything allocated since.
  struct Mark {
    Block* head;
    char* cursor;
    char* end;
    std::size_t next_block_bytes;
    std::size_t reserved;
  };
  Mark mark() const { return {head_, cursor_, end_, next_block_bytes_, reserved_}; }
  void release(const Mark& mark) {
    while (head_ != mark.head) {
      Block* next = head_->next;
      ::operator delete(head_);
      head_ = next;
    }
    cursor_ = mark.cursor;
    end_ = mark.end;
    next_block_bytes_ = mark.next_block_bytes;
    reserved_ = mark.reserved;
  }

  static constexpr std::size_t kMinBlockBytes = 256;

  // After the first block, each block is an eighth of what is already
  // reserved: the unused tail of the last block stays under a ninth of the
  // total, where doubling could leave half of it unused, and the number of
  // blocks still grows only with the logarithm of the total. No block is ever
  // moved. A request larger than the next block gets a block of its own size,
  // and the current block goes on serving the small ones. Kept out of line so
  // that the bump path stays small where it inlines into the parser.
  [[gnu::noinline]] void* allocate_slow(std::size_t bytes, std::size_t align) {
    const std::size_t need = bytes + align + sizeof(Block);
    if (need > next_block_bytes_ && cursor_ != nullptr) {
      Block* block = new_block(need);
      const std::uintptr_t start = reinterpret_cast<std::uintptr_t>(block + 1);
      return reinterpret_cast<void*>((start + (align - 1)) & ~(align - 1));
    }
    Block* block = new_block(next_block_bytes_ > need ? next_block_bytes_ : need);
    cursor_ = reinterpret_cast<char*>(block + 1);
    end_ = reinterpret_cast<char*>(block) + block->size;
    next_block_bytes_ = reserved_ / 8 > kMinBlockBytes ? reserved_ / 8 : kMinBlockBytes;
    return allocate(bytes, align);
  }

  Block* new_block(std::size_t size) {
    auto* block = static_cast<Block*>(::operator new(size));
    block->next = head_;
    block->size = size;
    head_ = block;
    reserved_ += size;
    return block;
  }

  Block* head_ = nullptr;
  char* cursor_ = nullptr;
  char* end_ = nullptr;
  std::size_t next_block_bytes_;
  std::size_t reserved_ = 0;
};

}  // namespace quenfel
