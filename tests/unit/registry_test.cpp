// The numbered-object registry: growth, reuse, automatic numbers, iteration and lists.
#include <vector>

#include "runtime/foundation/registry.h"
#include "support/runtime_fixture.h"

namespace {
struct Record {
    intptr_t handle;
    int32_t value;
};

ObjectTable* table = nullptr;
std::vector<intptr_t> freed;

int free_record(intptr_t number) {
    auto* r = static_cast<Record*>(obj_find(table, number));
    if (!r) return 0;
    freed.push_back(number);
    obj_release(table, number);
    return 1;
}

Record* create(intptr_t number, int32_t value) {
    auto* r = static_cast<Record*>(obj_slot_for(table, number));
    r->handle = 1;
    r->value = value;
    return r;
}

class RegistryTest : public RuntimeTest {
protected:
    void SetUp() override {
        RuntimeTest::SetUp();
        freed.clear();
        table = obj_table_create(sizeof(Record), 64, free_record);
    }
};
}  // namespace

TEST_F(RegistryTest, SlotWithinCapacityDoesNotGrow) {
    ObjectTable* fonts = obj_table_create(sizeof(Record), 16, nullptr);
    void* slot = obj_slot_for(fonts, 5);
    EXPECT_EQ(fonts->capacity, 16);
    EXPECT_EQ(slot, fonts->slots + 5 * sizeof(Record));
}

TEST_F(RegistryTest, GrowsByTheInitialCountBeyondTheNumber) {
    create(3, 33);
    create(100, 1000);
    EXPECT_EQ(table->capacity, 164);
    for (intptr_t n = 64; n < 164; n++)
        if (n != 100) {
            EXPECT_EQ(obj_find(table, n), nullptr) << n;
        }
    EXPECT_EQ(static_cast<Record*>(obj_find(table, 3))->value, 33);
    EXPECT_EQ(static_cast<Record*>(obj_find(table, 100))->value, 1000);
    EXPECT_EQ(obj_find_checked(table, table->capacity), nullptr);  // one past the last slot is no slot
}

TEST_F(RegistryTest, ReusingANumberFreesTheOldObjectFirst) {
    create(7, 1);
    EXPECT_TRUE(freed.empty());
    Record* r = create(7, 2);
    ASSERT_EQ(freed.size(), 1u);
    EXPECT_EQ(freed[0], 7);
    EXPECT_EQ(r->value, 2);
}

TEST_F(RegistryTest, FreeingLeavesSlotZeroFilledAndReusable) {
    Record* r = create(9, 5);
    free_record(9);
    EXPECT_EQ(r->handle, 0);
    EXPECT_EQ(r->value, 0);
    EXPECT_EQ(obj_find(table, 9), nullptr);
    EXPECT_EQ(create(9, 6), r);
}

TEST_F(RegistryTest, AutomaticNumbersAreDistinctAndCheckedLookupRejectsStrangers) {
    auto* a = static_cast<Record*>(obj_slot_for(table, AUTO_NUMBER));
    auto* b = static_cast<Record*>(obj_slot_for(table, AUTO_NUMBER));
    a->handle = 1;
    b->handle = 1;
    intptr_t na = reinterpret_cast<intptr_t>(a), nb = reinterpret_cast<intptr_t>(b);
    EXPECT_NE(na, nb);
    EXPECT_EQ(obj_find(table, na), a);
    EXPECT_EQ(obj_find(table, nb), b);
    EXPECT_EQ(obj_find_checked(table, na), a);
    Record stranger{1, 0};
    EXPECT_EQ(obj_find_checked(table, reinterpret_cast<intptr_t>(&stranger)), nullptr);
    EXPECT_EQ(obj_find_checked(table, -5), nullptr);
    EXPECT_TRUE(freed.empty());  // automatic numbers never free anything on creation
}

TEST_F(RegistryTest, IterationOrderAndFreeingDuringTheWalk) {
    create(5, 0);
    auto* first_auto = static_cast<Record*>(obj_slot_for(table, AUTO_NUMBER));
    first_auto->handle = 1;
    create(2, 0);
    auto* second_auto = static_cast<Record*>(obj_slot_for(table, AUTO_NUMBER));
    second_auto->handle = 1;
    create(63, 0);

    std::vector<intptr_t> order;
    intptr_t number = 0;
    obj_iterate_start(table);
    while (obj_iterate_next(table, &number)) order.push_back(number);
    std::vector<intptr_t> expected = {2, 5, 63, reinterpret_cast<intptr_t>(first_auto),
                                      reinterpret_cast<intptr_t>(second_auto)};
    EXPECT_EQ(order, expected);

    EXPECT_EQ(obj_free_all(table), 1);
    EXPECT_EQ(freed, expected);
    EXPECT_EQ(table->auto_list, nullptr);
    obj_iterate_start(table);
    EXPECT_EQ(obj_iterate_next(table, &number), nullptr);
}

TEST_F(RegistryTest, FreeAllWithoutFreeOperationDoesNothing) {
    ObjectTable* plain = obj_table_create(sizeof(Record), 4, nullptr);
    static_cast<Record*>(obj_slot_for(plain, 1))->handle = 1;
    EXPECT_EQ(obj_free_all(plain), 0);
    EXPECT_NE(obj_find(plain, 1), nullptr);
}

TEST_F(RegistryTest, ListInsertRemoveFind) {
    ListNode* head = nullptr;
    auto* a = static_cast<int*>(obj_list_push(&head, sizeof(int)));
    auto* b = static_cast<int*>(obj_list_push(&head, sizeof(int)));  // b, a
    auto* c = static_cast<int*>(obj_list_insert_after(obj_list_node_of(b), sizeof(int)));  // b, c, a
    *a = 1, *b = 2, *c = 3;
    std::vector<int> values;
    for (ListNode* n = head; n; n = n->next) values.push_back(*static_cast<int*>(obj_list_payload(n)));
    EXPECT_EQ(values, (std::vector<int>{2, 3, 1}));
    EXPECT_EQ(obj_list_node_of(a)->prev, obj_list_node_of(c));

    obj_list_remove(&head, b);  // the first node
    EXPECT_EQ(head, obj_list_node_of(c));
    EXPECT_EQ(head->prev, nullptr);
    obj_list_remove(&head, a);  // the last node
    EXPECT_EQ(head->next, nullptr);
    EXPECT_EQ(obj_list_find(head, c), c);
    EXPECT_EQ(obj_list_find(head, a), nullptr);
    obj_list_remove(&head, c);
    EXPECT_EQ(head, nullptr);
}

TEST_F(RegistryTest, AllocZeroFillsAndRunsInitialiser) {
    auto* block = static_cast<unsigned char*>(obj_alloc(64, [](void* p) { static_cast<unsigned char*>(p)[0] = 7; }));
    ASSERT_NE(block, nullptr);
    EXPECT_EQ(block[0], 7);
    for (int i = 1; i < 64; i++) EXPECT_EQ(block[i], 0);
    // A block the heap did not hand out (no live mark before it) is left alone.
    size_t blocks = heap_block_count(runtime_heap);
    std::vector<uint64_t> foreign(16, 0x5A5A5A5A5A5A5A5Aull);
    obj_free(&foreign[8]);
    EXPECT_EQ(heap_block_count(runtime_heap), blocks);
    obj_free(block);
    EXPECT_EQ(heap_block_count(runtime_heap), blocks - 1);
}
