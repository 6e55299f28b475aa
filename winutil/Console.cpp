// Arguments and console on POSIX: already UTF-8 (or the bytes the user gave).
#include "winutil/Console.h"

#include <cstdint>
#include <cstdlib>
#include <malloc.h>
#include <sys/mman.h>
#include <unistd.h>
#include <vector>

std::vector<std::string> ProgramArguments(int argc, char** argv) {
    return std::vector<std::string>(argv, argv + argc);
}

void UseUtf8Console() {}

void UseLargePagesForHeap(std::size_t reserveBytes) {
    // Blocks below the largest mmap threshold come from the heap, which
    // keeps what is freed at its top; the heap is then grown by reserveBytes
    // at once, in pieces under that threshold, and the grown part advised.
    // A heap that grows past it later is an ordinary one.
    constexpr int kLargestMmapThreshold = 32 << 20;
    constexpr std::size_t kLargePage = std::size_t(2) << 20;
    if (::mallopt(M_MMAP_THRESHOLD, kLargestMmapThreshold) == 0 ||
        ::mallopt(M_TRIM_THRESHOLD, INT32_MAX) == 0)
        return;
    const auto start = reinterpret_cast<std::uintptr_t>(::sbrk(0));
    std::vector<void*> pieces;
    for (std::size_t grown = 0; grown < reserveBytes; grown += kLargestMmapThreshold / 2) {
        void* piece = std::malloc(kLargestMmapThreshold / 2);
        if (!piece)
            break;
        pieces.push_back(piece);
    }
    for (void* piece : pieces)
        std::free(piece);
    const auto end = reinterpret_cast<std::uintptr_t>(::sbrk(0));
    const std::uintptr_t from = (start + kLargePage - 1) & ~(kLargePage - 1);
    if (end > from)
        ::madvise(reinterpret_cast<void*>(from), end - from, MADV_HUGEPAGE);
}
