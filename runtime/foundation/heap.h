// Private growable heaps: the object heap (runtime_heap) for every runtime record, table, list
// node and work buffer, and the string heap of strings.h. Blocks come zero-filled. Destroying a
// heap frees every block still in it, which is how the process-wide records of one start-up are
// dropped at its end so that a second start-up in the same process starts clean.
// Relies on: the C allocator, std::mutex for the serialised heap.
#pragma once
#include <cstddef>

struct Heap;

// initial_size is advisory (the blocks are individual allocations); serialised heaps take a lock.
Heap* heap_create(size_t initial_size, bool serialised);
void heap_destroy(Heap* heap);
void* heap_alloc(Heap* heap, size_t bytes);                  // zero-filled, null on failure
void* heap_realloc(Heap* heap, void* block, size_t bytes);   // grown bytes zero-filled; null on failure (block kept)
void heap_free(Heap* heap, void* block);                     // null ignored
size_t heap_block_size(const void* block);
size_t heap_block_count(Heap* heap);

// The object heap of the running start-up; null outside game_main (tests create their own).
extern Heap* runtime_heap;
