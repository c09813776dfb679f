#include "agents/arena.h"

#include "world/largeallocator.h"

namespace {
// Blocks of huge pages where the system lends them.
constexpr std::size_t blockBytes = LargeAllocator<std::byte>::hugePage;
}

Arena::Arena(std::size_t size)
    : slot(slotFor(size)), slotsPerBlock(blockBytes / slot), takenOfLast(slotsPerBlock)
{
}

Arena::~Arena()
{
    release();
}

void* Arena::take()
{
    ++live;
    if (!given.empty()) {
        void* object = given.back();
        given.pop_back();
        return object;
    }
    if (takenOfLast == slotsPerBlock) {
        blocks.push_back(static_cast<std::byte*>(LargeAllocator<std::byte>::allocateBytes(blockBytes)));
        takenOfLast = 0;
    }
    return blocks.back() + slot * takenOfLast++;
}

void Arena::give(void* object)
{
    given.push_back(object);
    if (--live == 0)
        release();
}

void Arena::release()
{
    for (std::byte* block : blocks)
        LargeAllocator<std::byte>::deallocateBytes(block, blockBytes);
    blocks.clear();
    given.clear();
    given.shrink_to_fit();
    takenOfLast = slotsPerBlock;
}
