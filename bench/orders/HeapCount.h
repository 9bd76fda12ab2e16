#pragma once

// Included by one file of a benchmark only: it replaces the process's malloc family.

#include <malloc.h>

#include <atomic>
#include <cerrno>
#include <cstddef>

// Heap accounting: every allocation of the process (Qt's containers use malloc directly, so
// operator new alone would miss them) passes through here on its way to glibc.
extern "C" {
void* __libc_malloc(size_t size);
void* __libc_calloc(size_t count, size_t size);
void* __libc_realloc(void* pointer, size_t size);
void* __libc_memalign(size_t alignment, size_t size);
void __libc_free(void* pointer);
}

namespace {

std::atomic<long long> g_heapNow{0};
std::atomic<long long> g_heapPeak{0};

void account(long long delta) {
    const long long now = g_heapNow.fetch_add(delta) + delta;
    long long peak = g_heapPeak.load();
    while (now > peak && !g_heapPeak.compare_exchange_weak(peak, now)) {
    }
}

long long sizeOf(void* pointer) {
    return pointer ? static_cast<long long>(malloc_usable_size(pointer)) : 0;
}

} // namespace

extern "C" {
void* malloc(size_t size) noexcept {
    void* p = __libc_malloc(size);
    account(sizeOf(p));
    return p;
}
void* calloc(size_t count, size_t size) noexcept {
    void* p = __libc_calloc(count, size);
    account(sizeOf(p));
    return p;
}
void* realloc(void* pointer, size_t size) noexcept {
    const long long before = sizeOf(pointer);
    void* p = __libc_realloc(pointer, size);
    if (p)
        account(sizeOf(p) - before);
    else if (size == 0)
        account(-before);
    return p;
}
void free(void* pointer) noexcept {
    account(-sizeOf(pointer));
    __libc_free(pointer);
}
void* memalign(size_t alignment, size_t size) noexcept {
    void* p = __libc_memalign(alignment, size);
    account(sizeOf(p));
    return p;
}
void* aligned_alloc(size_t alignment, size_t size) noexcept {
    return memalign(alignment, size);
}
int posix_memalign(void** out, size_t alignment, size_t size) noexcept {
    void* p = memalign(alignment, size);
    if (!p)
        return ENOMEM;
    *out = p;
    return 0;
}
}
