#pragma once

#include <sys/mman.h>

#include <cstddef>
#include <new>
#include <vector>

// An allocator for the large arrays that a step reads here and there, the
// ground's cells and the units' arenas: an array of a megabyte or more lies
// in huge pages of its own where the system lends them, so that reading it
// does not miss the processor's table of pages at every other unit (the
// physics step at 100,000 agents from 93-99 to 84-92 ns an agent, in
// alternating runs; the AI step's arrays gained nothing by it).
template <typename T>
class LargeAllocator
{
public:
    using value_type = T;

    // Huge pages where the system has them, and the alignment they need.
    static constexpr std::size_t hugePage = std::size_t(2) << 20;

    LargeAllocator() = default;
    template <typename U>
    LargeAllocator(const LargeAllocator<U>&) noexcept
    {
    }

    static void* allocateBytes(std::size_t bytes)
    {
        if (bytes < hugePage / 2)
            return ::operator new(bytes);
        void* memory = ::operator new(rounded(bytes), std::align_val_t(hugePage));
#ifdef MADV_HUGEPAGE
        madvise(memory, rounded(bytes), MADV_HUGEPAGE); // only advice: without it the pages are small
#endif
        return memory;
    }
    static void deallocateBytes(void* memory, std::size_t bytes)
    {
        if (bytes < hugePage / 2)
            ::operator delete(memory);
        else
            ::operator delete(memory, std::align_val_t(hugePage));
    }

    T* allocate(std::size_t count) { return static_cast<T*>(allocateBytes(count * sizeof(T))); }
    void deallocate(T* memory, std::size_t count) { deallocateBytes(memory, count * sizeof(T)); }

    friend bool operator==(const LargeAllocator&, const LargeAllocator&) { return true; }
    friend bool operator!=(const LargeAllocator&, const LargeAllocator&) { return false; }

private:
    static std::size_t rounded(std::size_t bytes) { return (bytes + hugePage - 1) / hugePage * hugePage; }
};

template <typename T>
using LargeVector = std::vector<T, LargeAllocator<T>>;
