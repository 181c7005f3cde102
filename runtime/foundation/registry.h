// The numbered-object registry: one ObjectTable per object kind maps a number to a fixed-size
// record, grows on demand, frees the previous object when a number is reused, and can be walked to
// free everything. AUTO_NUMBER (-1) hands out the record's own address as its number, so numbers
// are intptr_t. A record is in use while its first pointer-sized field is non-zero.
// Also the runtime's small doubly linked lists (ListNode with the payload behind it).
// Relies on: heap.h (every block from runtime_heap, zero-filled).
#pragma once
#include <cstddef>
#include <cstdint>

constexpr intptr_t AUTO_NUMBER = -1;

struct ListNode {
    ListNode* next;
    ListNode* prev;
    // the payload follows, 16-byte aligned
};

using ObjFreeOp = int (*)(intptr_t number);

struct ObjectTable {
    int32_t record_size;
    int32_t growth;
    int32_t capacity;
    ListNode* auto_list;
    ObjFreeOp free_op;
    int32_t iter_index;
    ListNode* iter_node;
    unsigned char* slots;
};

ObjectTable* obj_table_create(int32_t record_size, int32_t initial_slots, ObjFreeOp free_op);
void* obj_slot_for(ObjectTable* table, intptr_t number);
void* obj_find(ObjectTable* table, intptr_t number);
void* obj_find_checked(ObjectTable* table, intptr_t number);
void obj_release(ObjectTable* table, intptr_t number);
void obj_iterate_start(ObjectTable* table);
void* obj_iterate_next(ObjectTable* table, intptr_t* number);
int obj_free_all(ObjectTable* table);

void* obj_alloc(size_t bytes, void (*initialiser)(void* block));
void obj_free(void* block);  // back to the object heap; null ignored

void* obj_list_push(ListNode** head, size_t payload_size);
void* obj_list_insert_after(ListNode* node, size_t payload_size);
void obj_list_remove(ListNode** head, void* payload);
void* obj_list_find(ListNode* first, void* payload);
ListNode* obj_list_node_of(void* payload);
void* obj_list_payload(ListNode* node);
