// Heaps as intrusive lists of individually allocated blocks, so that heap_destroy can release
// whatever its users still hold. Relies on: malloc/realloc/free, std::mutex.
#include "runtime/foundation/heap.h"

#include <cstdlib>
#include <cstring>
#include <mutex>
#include <new>

Heap* runtime_heap = nullptr;

namespace {
// 32 bytes keep the payload 16-byte aligned.
struct alignas(16) BlockHeader {
    BlockHeader* prev;
    BlockHeader* next;
    size_t size;
    size_t magic;
};
// Marks live blocks, catches foreign frees (its low half where size_t has 32 bits).
constexpr size_t kMagic = size_t(0x54574F4F44484541ull);

BlockHeader* header_of(const void* block) {
    return reinterpret_cast<BlockHeader*>(const_cast<char*>(static_cast<const char*>(block)) - sizeof(BlockHeader));
}
}  // namespace

struct Heap {
    bool serialised;
    std::mutex lock;
    BlockHeader* first = nullptr;
    size_t count = 0;
};

namespace {
struct MaybeLock {
    Heap* heap;
    explicit MaybeLock(Heap* h) : heap(h) { if (heap->serialised) heap->lock.lock(); }
    ~MaybeLock() { if (heap->serialised) heap->lock.unlock(); }
};

void link_front(Heap* heap, BlockHeader* h) {
    h->prev = nullptr;
    h->next = heap->first;
    if (heap->first) heap->first->prev = h;
    heap->first = h;
    heap->count++;
}

void unlink(Heap* heap, BlockHeader* h) {
    if (h->prev) h->prev->next = h->next; else heap->first = h->next;
    if (h->next) h->next->prev = h->prev;
    heap->count--;
}
}  // namespace

Heap* heap_create(size_t, bool serialised) {
    Heap* heap = new (std::nothrow) Heap();
    if (heap) heap->serialised = serialised;
    return heap;
}

void heap_destroy(Heap* heap) {
    if (!heap) return;
    BlockHeader* h = heap->first;
    while (h) {
        BlockHeader* next = h->next;
        h->magic = 0;
        std::free(h);
        h = next;
    }
    delete heap;
}

void* heap_alloc(Heap* heap, size_t bytes) {
    if (!heap || bytes > (SIZE_MAX >> 2)) return nullptr;
    auto* h = static_cast<BlockHeader*>(std::calloc(1, sizeof(BlockHeader) + bytes));
    if (!h) return nullptr;
    h->size = bytes;
    h->magic = kMagic;
    MaybeLock guard(heap);
    link_front(heap, h);
    return h + 1;
}

void* heap_realloc(Heap* heap, void* block, size_t bytes) {
    if (!block) return heap_alloc(heap, bytes);
    if (!heap || bytes > (SIZE_MAX >> 2)) return nullptr;
    BlockHeader* old = header_of(block);
    if (old->magic != kMagic) return nullptr;
    MaybeLock guard(heap);
    size_t old_size = old->size;
    unlink(heap, old);
    auto* h = static_cast<BlockHeader*>(std::realloc(old, sizeof(BlockHeader) + bytes));
    if (!h) {
        link_front(heap, old);
        return nullptr;
    }
    if (bytes > old_size) std::memset(reinterpret_cast<char*>(h + 1) + old_size, 0, bytes - old_size);
    h->size = bytes;
    link_front(heap, h);
    return h + 1;
}

void heap_free(Heap* heap, void* block) {
    if (!heap || !block) return;
    BlockHeader* h = header_of(block);
    if (h->magic != kMagic) return;
    MaybeLock guard(heap);
    unlink(heap, h);
    h->magic = 0;
    std::free(h);
}

size_t heap_block_size(const void* block) { return block ? header_of(block)->size : 0; }

size_t heap_block_count(Heap* heap) {
    if (!heap) return 0;
    MaybeLock guard(heap);
    return heap->count;
}
