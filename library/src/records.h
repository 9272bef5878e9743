// The table of interface records. It grows by doubling (8, 16, 32, ...
// records) while the enumeration runs, and its records never move: each
// growth adds a zero-filled block, so a slot's pointer to its record stays
// valid for the whole session.
#pragma once

#include "win.h"

namespace kestro {

struct HidRecord {
    HANDLE handle;                   // synchronous handle of the interface
    PHIDP_PREPARSED_DATA preparsed;  // parser data, owned while admitted
    HIDP_CAPS caps;
    HIDD_ATTRIBUTES attributes;
};

// Block 0 holds records 0-7; block k >= 1 holds records 8*2^(k-1) to
// 8*2^k - 1. 28 blocks cover more interfaces than a 32-bit count can name.
constexpr int kRecordBlocks = 28;
constexpr uint32_t kFirstBlockRecords = 8;

struct RecordTable {
    HidRecord* blocks[kRecordBlocks];
    uint32_t capacity;
};

// Grows the table to `capacity` records (8 or twice the current capacity).
// False when memory runs out or the table is full; the table is unchanged.
bool table_grow(RecordTable* table, uint32_t capacity);
// The record at `index` (< capacity).
HidRecord* table_record(const RecordTable* table, uint32_t index);
// Frees every block; the table is empty again.
void table_free(RecordTable* table);

}  // namespace kestro
