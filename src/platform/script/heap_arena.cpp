#include "platform/script/heap_arena.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace tavolen::script {

namespace {

// Every block is preceded by 16 bytes whose second word tells a small block (its class) from a
// large one. Large blocks carry two more words in front: their list links.
constexpr std::size_t header_bytes = 16;
constexpr std::size_t large_tag = ~std::size_t{0};

std::size_t tag_of(const void* ptr) {
    std::size_t tag;
    std::memcpy(&tag, static_cast<const unsigned char*>(ptr) - sizeof(std::size_t), sizeof tag);
    return tag;
}

}  // namespace

struct HeapArena::Large {
    Large* prev;
    Large* next;
    std::size_t size;
    std::size_t tag;  // large_tag: the word just before the block
};
static_assert(sizeof(void*) * 2 + sizeof(std::size_t) * 2 == 32);

HeapArena::~HeapArena() {
    while (chunks_ != nullptr) {
        void* next;
        std::memcpy(&next, chunks_, sizeof next);
        std::free(chunks_);
        chunks_ = next;
    }
    while (large_ != nullptr) {
        Large* next = large_->next;
        std::free(large_);
        large_ = next;
    }
}

std::size_t HeapArena::class_of(std::size_t size) {
    for (std::size_t c = 0; c < class_count; ++c)
        if (size <= class_sizes[c]) return c;
    return class_count;
}

void* HeapArena::allocate(std::size_t size) {
    const std::size_t cls = class_of(size);
    return cls < class_count ? allocate_small(cls) : allocate_large(size);
}

void* HeapArena::allocate_small(std::size_t cls) {
    const std::size_t size = class_sizes[cls];
    if (size > cap_ - used_) return nullptr;
    if (void* block = free_lists_[cls]) {
        std::memcpy(&free_lists_[cls], block, sizeof(void*));
        used_ += size;
        return block;
    }
    const std::size_t need = header_bytes + size;
    if (static_cast<std::size_t>(bump_end_ - bump_) < need) {
        auto* chunk = static_cast<unsigned char*>(std::malloc(chunk_bytes));
        if (chunk == nullptr) return nullptr;
        std::memcpy(chunk, &chunks_, sizeof chunks_);
        chunks_ = chunk;
        bump_ = chunk + header_bytes;  // keeps blocks 16-byte aligned
        bump_end_ = chunk + chunk_bytes;
    }
    unsigned char* header = bump_;
    bump_ += need;
    std::memcpy(header, &size, sizeof size);
    std::memcpy(header + sizeof(std::size_t), &cls, sizeof cls);
    used_ += size;
    return header + header_bytes;
}

void* HeapArena::allocate_large(std::size_t size) {
    if (size > cap_ - used_) return nullptr;
    auto* block = static_cast<Large*>(std::malloc(sizeof(Large) + size));
    if (block == nullptr) return nullptr;
    block->prev = nullptr;
    block->next = large_;
    block->size = size;
    block->tag = large_tag;
    if (large_ != nullptr) large_->prev = block;
    large_ = block;
    used_ += size;
    return block + 1;
}

void HeapArena::release(void* ptr) {
    if (ptr == nullptr) return;
    const std::size_t tag = tag_of(ptr);
    if (tag != large_tag) {
        std::memcpy(ptr, &free_lists_[tag], sizeof(void*));
        free_lists_[tag] = ptr;
        used_ -= class_sizes[tag];
        return;
    }
    Large* block = static_cast<Large*>(ptr) - 1;
    if (block->prev != nullptr)
        block->prev->next = block->next;
    else
        large_ = block->next;
    if (block->next != nullptr) block->next->prev = block->prev;
    used_ -= block->size;
    std::free(block);
}

void* HeapArena::reallocate(void* ptr, std::size_t size) {
    if (ptr == nullptr) return allocate(size);
    if (size == 0) {
        release(ptr);
        return nullptr;
    }
    const std::size_t tag = tag_of(ptr);
    if (tag != large_tag) {
        const std::size_t old_size = class_sizes[tag];
        if (size <= old_size) return ptr;
        void* moved = allocate(size);
        if (moved == nullptr) return nullptr;
        std::memcpy(moved, ptr, old_size);
        release(ptr);
        return moved;
    }
    Large* block = static_cast<Large*>(ptr) - 1;
    const std::size_t old_size = block->size;
    if (class_of(size) < class_count) {
        void* moved = allocate(size);
        if (moved == nullptr) return nullptr;
        std::memcpy(moved, ptr, size);
        release(ptr);
        return moved;
    }
    if (size > old_size && size - old_size > cap_ - used_) return nullptr;
    auto* grown = static_cast<Large*>(std::realloc(block, sizeof(Large) + size));
    if (grown == nullptr) return nullptr;
    if (grown->prev != nullptr)
        grown->prev->next = grown;
    else
        large_ = grown;
    if (grown->next != nullptr) grown->next->prev = grown;
    grown->size = size;
    used_ = used_ - old_size + size;
    return grown + 1;
}

}  // namespace tavolen::script
