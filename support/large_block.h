// Storage for large blocks of reals, released with std::free like any other.
#ifndef SUPPORT_LARGE_BLOCK_H
#define SUPPORT_LARGE_BLOCK_H

#include <cstddef>
#include <cstdlib>

#if defined(__linux__)
#include <sys/mman.h>
#endif

// bytes of uninitialised storage, or null when memory is short. Blocks of
// a huge page or more are asked to be backed by huge pages where the system
// offers them: on some machines first touching each small page of an n x n
// matrix costs more than the arithmetic done on it.
inline void* allocate_block(size_t bytes)
{
#if defined(__linux__) && defined(MADV_HUGEPAGE)
    const size_t huge_page = size_t(2) << 20;
    if (bytes >= huge_page) {
        size_t whole = (bytes + huge_page - 1) / huge_page * huge_page;
        void* block = nullptr;
        if (whole >= bytes && posix_memalign(&block, huge_page, whole) == 0) {
            madvise(block, whole, MADV_HUGEPAGE);  // a refusal leaves small pages
            return block;
        }
    }
#endif
    return std::malloc(bytes > 0 ? bytes : 1);
}

#endif
