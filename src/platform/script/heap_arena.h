#pragma once

// The memory of one script engine: small blocks come from size classes carved out of 64 KB
// chunks, larger ones straight from malloc. Everything is counted against a cap, and dropping
// the arena frees the engine's whole heap at once, without walking the engine's objects.

#include <array>
#include <cstddef>

namespace tavolen::script {

class HeapArena {
  public:
    explicit HeapArena(std::size_t cap) : cap_(cap) {}
    ~HeapArena();
    HeapArena(const HeapArena&) = delete;
    HeapArena& operator=(const HeapArena&) = delete;

    // Null when the cap would be passed or the system has no memory left. The block is aligned
    // for any type.
    void* allocate(std::size_t size);
    // realloc's contract: null ptr allocates, size 0 releases (answering null), and on failure
    // the old block stays as it was.
    void* reallocate(void* ptr, std::size_t size);
    void release(void* ptr);

    // Bytes held by live blocks (a small block counts its whole size class).
    std::size_t used() const { return used_; }

  private:
    static constexpr std::size_t class_count = 13;
    static constexpr std::array<std::size_t, class_count> class_sizes = {
        16, 32, 48, 64, 80, 96, 128, 160, 192, 256, 320, 384, 512};
    static constexpr std::size_t chunk_bytes = 64 * 1024;

    struct Large;
    void* allocate_small(std::size_t cls);
    void* allocate_large(std::size_t size);
    static std::size_t class_of(std::size_t size);

    std::size_t cap_;
    std::size_t used_ = 0;
    std::array<void*, class_count> free_lists_{};
    unsigned char* bump_ = nullptr;
    unsigned char* bump_end_ = nullptr;
    void* chunks_ = nullptr;  // singly linked through each chunk's first word
    Large* large_ = nullptr;  // doubly linked
};

}  // namespace tavolen::script
