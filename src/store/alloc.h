// The library's one allocation seam. Every heap block the library owns comes
// from these functions, so tests can make any allocation fail (alloc_internal.h).
#ifndef KVSET_SRC_STORE_ALLOC_H
#define KVSET_SRC_STORE_ALLOC_H

#include <cstddef>
#include <new>

namespace kvs {

void *mem_malloc(std::size_t size);
void *mem_calloc(std::size_t count, std::size_t size);
void *mem_realloc(void *block, std::size_t size);
void mem_free(void *block);

// Standard allocator over the seam, for the library's own containers. It
// throws std::bad_alloc; every exported function that uses such a container
// catches it and reports CT_errorNoResource.
template <class T>
struct SeamAllocator {
    using value_type = T;
    SeamAllocator() noexcept = default;
    template <class U>
    SeamAllocator(const SeamAllocator<U> &) noexcept {}
    T *allocate(std::size_t n)
    {
        if (n > static_cast<std::size_t>(-1) / sizeof(T)) throw std::bad_alloc();
        void *p = mem_malloc(n * sizeof(T));
        if (p == nullptr) throw std::bad_alloc();
        return static_cast<T *>(p);
    }
    void deallocate(T *p, std::size_t) noexcept { mem_free(p); }
    template <class U>
    bool operator==(const SeamAllocator<U> &) const noexcept { return true; }
    template <class U>
    bool operator!=(const SeamAllocator<U> &) const noexcept { return false; }
};

}  // namespace kvs

#endif
