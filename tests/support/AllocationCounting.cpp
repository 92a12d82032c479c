#include "support/AllocationCounting.h"

#include <algorithm>
#include <cstdlib>
#include <new>

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
// The sanitizer runtimes call these hooks on every malloc and free.
extern "C" int __sanitizer_install_malloc_and_free_hooks(void (*onMalloc)(const volatile void*, std::size_t),
                                                         void (*onFree)(const volatile void*));
#define QUAR_COUNT_MALLOC 1
#endif

namespace {

thread_local int64_t allocations = 0;
thread_local int64_t frees = 0;
thread_local int64_t heapAllocations = 0;
thread_local int64_t heapFrees = 0;

void* allocate(std::size_t size) {
  ++allocations;
  return std::malloc(size == 0 ? 1 : size);
}

void* allocate(std::size_t size, std::align_val_t alignment) {
  ++allocations;
  void* memory = nullptr;
  const std::size_t align = std::max(static_cast<std::size_t>(alignment), sizeof(void*));
  return ::posix_memalign(&memory, align, size == 0 ? 1 : size) == 0 ? memory : nullptr;
}

template <typename... Alignment>
void* allocateOrThrow(std::size_t size, Alignment... alignment) {
  if (void* memory = allocate(size, alignment...)) return memory;
  throw std::bad_alloc();
}

void release(void* memory) {
  if (memory) ++frees;
  std::free(memory);
}

#ifdef QUAR_COUNT_MALLOC
void countMalloc(const volatile void*, std::size_t) { ++heapAllocations; }
void countFree(const volatile void* memory) {
  if (memory) ++heapFrees;
}
[[maybe_unused]] const int hooksInstalled = __sanitizer_install_malloc_and_free_hooks(countMalloc, countFree);
#endif

} // namespace

namespace quar::testing {

int64_t allocationsOnThisThread() { return allocations; }

AllocationCounts countsOnThisThread() { return {allocations + heapAllocations, frees + heapFrees}; }

} // namespace quar::testing

void* operator new(std::size_t size) { return allocateOrThrow(size); }
void* operator new[](std::size_t size) { return allocateOrThrow(size); }
void* operator new(std::size_t size, const std::nothrow_t&) noexcept { return allocate(size); }
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept { return allocate(size); }
void* operator new(std::size_t size, std::align_val_t alignment) { return allocateOrThrow(size, alignment); }
void* operator new[](std::size_t size, std::align_val_t alignment) { return allocateOrThrow(size, alignment); }
void* operator new(std::size_t size, std::align_val_t alignment, const std::nothrow_t&) noexcept {
  return allocate(size, alignment);
}
void* operator new[](std::size_t size, std::align_val_t alignment, const std::nothrow_t&) noexcept {
  return allocate(size, alignment);
}

void operator delete(void* memory) noexcept { release(memory); }
void operator delete[](void* memory) noexcept { release(memory); }
void operator delete(void* memory, std::size_t) noexcept { release(memory); }
void operator delete[](void* memory, std::size_t) noexcept { release(memory); }
void operator delete(void* memory, const std::nothrow_t&) noexcept { release(memory); }
void operator delete[](void* memory, const std::nothrow_t&) noexcept { release(memory); }
void operator delete(void* memory, std::align_val_t) noexcept { release(memory); }
void operator delete[](void* memory, std::align_val_t) noexcept { release(memory); }
void operator delete(void* memory, std::size_t, std::align_val_t) noexcept { release(memory); }
void operator delete[](void* memory, std::size_t, std::align_val_t) noexcept { release(memory); }
void operator delete(void* memory, std::align_val_t, const std::nothrow_t&) noexcept { release(memory); }
void operator delete[](void* memory, std::align_val_t, const std::nothrow_t&) noexcept { release(memory); }
