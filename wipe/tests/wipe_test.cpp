// Tests of the wiping helpers: what they leave in a block that stays, and
// what the allocator's blocks hold when they are freed.
#include "wipe/wipe.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace {

const std::string kTrack = ";4111111111111111=2512?";

bool all_zero(const uint8_t* data, size_t length) {
    return std::all_of(data, data + length, [](uint8_t b) { return b == 0; });
}

// A block that stays keeps nothing of what left it: the bytes behind the new
// end (inside the block, so readable; the allocator is not one that a
// sanitizer guards) are zeros, whichever is longer, the part dropped or the
// part kept.
TEST(Wipe, ClearAndEraseFrontLeaveOnlyZerosBehindTheEnd) {
    struct Case {
        size_t size;
        size_t drop;  // SIZE_MAX: clear
    };
    const Case cases[] = {{24, 0},  {24, 1},  {24, 5}, {24, 12},       {24, 20},
                          {24, 24}, {24, 99}, {0, 3},  {24, SIZE_MAX}, {0, SIZE_MAX}};
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.size << " bytes, drop " << c.drop);
        wipe::Bytes bytes(c.size);
        for (size_t i = 0; i < c.size; ++i) {
            bytes[i] = static_cast<uint8_t>(0x80 + i);
        }
        const uint8_t* block = bytes.data();
        if (c.drop == SIZE_MAX) {
            wipe::clear(bytes);
        } else {
            wipe::erase_front(bytes, c.drop);
        }
        const size_t dropped = std::min(c.drop, c.size);
        ASSERT_EQ(bytes.size(), c.size - dropped);
        EXPECT_EQ(bytes.data(), block) << "the block stays";
        for (size_t i = 0; i < bytes.size(); ++i) {
            EXPECT_EQ(bytes[i], 0x80 + dropped + i) << "kept byte " << i;
        }
        EXPECT_TRUE(all_zero(block + bytes.size(), c.size - bytes.size()));
    }
}

// Every block of a wiping container is all zeros when it is freed, as it
// grows and when it goes: each block the hook sees here held the track.
TEST(Wipe, TheAllocatorsBlocksAreZerosWhenFreed) {
    std::vector<std::vector<uint8_t>> freed;
    wipe::set_freed_block_hook(
        [&](const uint8_t* data, size_t length) { freed.emplace_back(data, data + length); });
    {
        wipe::Text text;
        for (char c : kTrack + kTrack) {
            text += c;  // grows past the short-string room, then again
        }
        wipe::Bytes bytes(kTrack.begin(), kTrack.end());
        bytes.insert(bytes.end(), kTrack.begin(), kTrack.end());  // grows
        EXPECT_EQ(std::string(text.begin(), text.end()), kTrack + kTrack);
    }
    wipe::set_freed_block_hook(nullptr);
    std::vector<size_t> sizes;
    for (const auto& block : freed) {
        sizes.push_back(block.size());
        EXPECT_TRUE(all_zero(block.data(), block.size())) << block.size() << " bytes kept data";
    }
    // The text (libstdc++ doubles the capacity, and a block has room for the
    // terminator): 31 bytes freed as it grows past 30 characters, 61 when it
    // goes. The bytes: their first block of 23 as they grow, then 46.
    std::sort(sizes.begin(), sizes.end());
    EXPECT_EQ(sizes, (std::vector<size_t>{23, 31, 46, 61}));
}

}  // namespace
