#pragma once

#include <cstddef>
#include <vector>

// Memory for objects of one size, handed out one after another from large
// blocks, the last one given back first to the next taker. All of it goes
// back to the system when the last object is given back. Used on one
// thread only.
class Arena
{
public:
    explicit Arena(std::size_t size);
    ~Arena();
    Arena(const Arena&) = delete;
    Arena& operator=(const Arena&) = delete;

    // The bytes an object of this size takes, its size rounded up.
    static constexpr std::size_t slotFor(std::size_t size)
    {
        return (size + alignof(std::max_align_t) - 1) / alignof(std::max_align_t) * alignof(std::max_align_t);
    }
    std::size_t size() const { return slot; }

    void* take();
    void give(void* object);

private:
    void release();

    std::size_t slot;
    std::size_t slotsPerBlock;
    std::vector<std::byte*> blocks;
    std::size_t takenOfLast;
    std::vector<void*> given;       // slots given back, to be taken again first
    std::size_t live = 0;
};
