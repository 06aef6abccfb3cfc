#include <cstdlib>
#include <new>

#include "tests/gui/failing_allocation.h"

namespace {

thread_local std::size_t failingSize = 0;

}  // namespace

namespace orvix::test {

FailingObjectAllocation::FailingObjectAllocation(std::size_t bytes) { failingSize = bytes; }
FailingObjectAllocation::~FailingObjectAllocation() { failingSize = 0; }

}  // namespace orvix::test

// Every single-object form is replaced, so that allocation and release
// always pair (malloc and free), also under the address sanitizer.
void* operator new(std::size_t size) {
    void* memory = failingSize != 0 && size == failingSize ? nullptr : std::malloc(size == 0 ? 1 : size);
    if (memory == nullptr) throw std::bad_alloc();
    return memory;
}

void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
    if (failingSize != 0 && size == failingSize) return nullptr;
    return std::malloc(size == 0 ? 1 : size);
}

void operator delete(void* memory) noexcept { std::free(memory); }
void operator delete(void* memory, std::size_t) noexcept { std::free(memory); }
void operator delete(void* memory, const std::nothrow_t&) noexcept { std::free(memory); }
