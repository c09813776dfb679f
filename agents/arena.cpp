#include "agents/arena.h"

#include <new>

namespace {
constexpr std::size_t line = 64;
}

Arena::Arena(std::size_t size)
    : slot(slotFor(size))
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
        blocks.push_back(static_cast<std::byte*>(::operator new(slot * slotsPerBlock, std::align_val_t(line))));
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
        ::operator delete(block, std::align_val_t(line));
    blocks.clear();
    given.clear();
    given.shrink_to_fit();
    takenOfLast = slotsPerBlock;
}
