#include "records.h"

#include <stdlib.h>

namespace kestro {
namespace {

// Number of the block that holds record `index`, and the first index in it.
int block_of(uint32_t index, uint32_t* first) {
    if (index < kFirstBlockRecords) {
        *first = 0;
        return 0;
    }
    int k = 1;
    uint32_t start = kFirstBlockRecords;
    while (index >= start * 2) {
        start *= 2;
        ++k;
    }
    *first = start;
    return k;
}

}  // namespace

bool table_grow(RecordTable* table, uint32_t capacity) {
    uint32_t first = 0;
    int k = block_of(capacity - 1, &first);
    if (k >= kRecordBlocks || table->blocks[k] != nullptr) {
        return false;
    }
    uint32_t records = capacity - first;
    auto* block = static_cast<HidRecord*>(calloc(records, sizeof(HidRecord)));
    if (block == nullptr) {
        return false;
    }
    table->blocks[k] = block;
    table->capacity = capacity;
    return true;
}

HidRecord* table_record(const RecordTable* table, uint32_t index) {
    uint32_t first = 0;
    int k = block_of(index, &first);
    return &table->blocks[k][index - first];
}

void table_free(RecordTable* table) {
    for (HidRecord*& block : table->blocks) {
        free(block);
        block = nullptr;
    }
    table->capacity = 0;
}

}  // namespace kestro
