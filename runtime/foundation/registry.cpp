// Numbered-object tables and lists. Relies on: heap.h (runtime_heap).
#include "runtime/foundation/registry.h"

#include <cstring>

#include "runtime/foundation/heap.h"

namespace {
constexpr size_t kNodeHeader = (sizeof(ListNode) + 15) & ~size_t(15);

bool slot_in_use(const void* record) {
    uintptr_t first;
    std::memcpy(&first, record, sizeof first);
    return first != 0;
}

bool in_range(const ObjectTable* table, intptr_t number) { return number >= 0 && number < table->capacity; }
}  // namespace

ListNode* obj_list_node_of(void* payload) {
    return reinterpret_cast<ListNode*>(static_cast<char*>(payload) - kNodeHeader);
}

void* obj_list_payload(ListNode* node) { return reinterpret_cast<char*>(node) + kNodeHeader; }

void* obj_alloc(size_t bytes, void (*initialiser)(void*)) {
    void* block = heap_alloc(runtime_heap, bytes);
    if (block && initialiser) initialiser(block);
    return block;
}

void obj_free(void* block) { heap_free(runtime_heap, block); }

ObjectTable* obj_table_create(int32_t record_size, int32_t initial_slots, ObjFreeOp free_op) {
    auto* table = static_cast<ObjectTable*>(obj_alloc(sizeof(ObjectTable), nullptr));
    if (!table) return nullptr;
    if (record_size < int32_t(sizeof(uintptr_t))) record_size = sizeof(uintptr_t);
    table->slots = static_cast<unsigned char*>(obj_alloc(size_t(initial_slots) * size_t(record_size), nullptr));
    if (!table->slots) {
        obj_free(table);
        return nullptr;
    }
    table->record_size = record_size;
    table->growth = initial_slots;
    table->capacity = initial_slots;
    table->free_op = free_op;
    return table;
}

void* obj_slot_for(ObjectTable* table, intptr_t number) {
    if (!table) return nullptr;
    if (number == AUTO_NUMBER) return obj_list_push(&table->auto_list, size_t(table->record_size));
    if (number < 0) return nullptr;
    if (number >= table->capacity) {
        int64_t capacity = int64_t(number) + table->growth;
        if (capacity > INT32_MAX) return nullptr;
        // heap_realloc zero-fills the new bytes and keeps the old array when it fails.
        void* grown = heap_realloc(runtime_heap, table->slots, size_t(capacity) * size_t(table->record_size));
        if (!grown) return nullptr;
        table->slots = static_cast<unsigned char*>(grown);
        table->capacity = int32_t(capacity);
    }
    if (table->free_op) table->free_op(number);
    return table->slots + size_t(number) * size_t(table->record_size);
}

void* obj_find(ObjectTable* table, intptr_t number) {
    if (!table) return nullptr;
    if (in_range(table, number)) {
        void* record = table->slots + size_t(number) * size_t(table->record_size);
        return slot_in_use(record) ? record : nullptr;
    }
    if (number == 0 || number == AUTO_NUMBER) return nullptr;
    void* record = reinterpret_cast<void*>(number);
    return slot_in_use(record) ? record : nullptr;
}

void* obj_find_checked(ObjectTable* table, intptr_t number) {
    if (!table) return nullptr;
    if (in_range(table, number)) return obj_find(table, number);
    void* payload = obj_list_find(table->auto_list, reinterpret_cast<void*>(number));
    return payload && slot_in_use(payload) ? payload : nullptr;
}

void obj_release(ObjectTable* table, intptr_t number) {
    if (!table) return;
    if (in_range(table, number)) {
        std::memset(table->slots + size_t(number) * size_t(table->record_size), 0, size_t(table->record_size));
        return;
    }
    void* payload = reinterpret_cast<void*>(number);
    if (!obj_list_find(table->auto_list, payload)) return;
    // The iteration cursor may point at the node being removed; step it on first.
    if (table->iter_node == obj_list_node_of(payload)) table->iter_node = table->iter_node->prev;
    obj_list_remove(&table->auto_list, payload);
}

void obj_iterate_start(ObjectTable* table) {
    if (!table) return;
    table->iter_index = 0;
    ListNode* last = table->auto_list;
    while (last && last->next) last = last->next;
    table->iter_node = last;
}

void* obj_iterate_next(ObjectTable* table, intptr_t* number) {
    if (!table) return nullptr;
    while (table->iter_index >= 0 && table->iter_index < table->capacity) {
        int32_t index = table->iter_index++;
        void* record = table->slots + size_t(index) * size_t(table->record_size);
        if (slot_in_use(record)) {
            *number = index;
            return record;
        }
    }
    while (table->iter_node) {
        ListNode* node = table->iter_node;
        table->iter_node = node->prev;
        void* payload = obj_list_payload(node);
        *number = reinterpret_cast<intptr_t>(payload);
        return payload;
    }
    return nullptr;
}

int obj_free_all(ObjectTable* table) {
    if (!table || !table->free_op) return 0;
    intptr_t number = 0;
    obj_iterate_start(table);
    while (obj_iterate_next(table, &number)) table->free_op(number);
    return 1;
}

void* obj_list_push(ListNode** head, size_t payload_size) {
    auto* node = static_cast<ListNode*>(obj_alloc(kNodeHeader + payload_size, nullptr));
    if (!node) return nullptr;
    node->next = *head;
    node->prev = nullptr;
    if (*head) (*head)->prev = node;
    *head = node;
    return obj_list_payload(node);
}

void* obj_list_insert_after(ListNode* p, size_t payload_size) {
    if (!p) return nullptr;
    auto* node = static_cast<ListNode*>(obj_alloc(kNodeHeader + payload_size, nullptr));
    if (!node) return nullptr;
    node->next = p->next;
    p->next = node;
    if (node->next) node->next->prev = node;
    node->prev = p;
    return obj_list_payload(node);
}

void obj_list_remove(ListNode** head, void* payload) {
    if (!payload) return;
    ListNode* node = obj_list_node_of(payload);
    if (node == *head) {
        *head = node->next;
        if (*head) (*head)->prev = nullptr;
    } else {
        if (node->prev) node->prev->next = node->next;
        if (node->next) node->next->prev = node->prev;
    }
    obj_free(node);
}

void* obj_list_find(ListNode* first, void* payload) {
    for (ListNode* n = first; n; n = n->next)
        if (obj_list_payload(n) == payload) return payload;
    return nullptr;
}
