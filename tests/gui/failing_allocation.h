// Makes allocations of one size fail on the calling thread, to drive the
// video window's and the session's set-up into their failure paths. A test
// program replaces the array forms of operator new and delete with
// failing_allocation.cpp, the single-object forms with
// failing_object_allocation.cpp.
#pragma once

#include <cstddef>

namespace orvix::test {

// Array allocations of exactly `bytes` fail (nothrow form: null) on this
// thread until the guard ends.
class FailingArrayAllocation {
public:
    explicit FailingArrayAllocation(std::size_t bytes);
    ~FailingArrayAllocation();
    FailingArrayAllocation(const FailingArrayAllocation&) = delete;
    FailingArrayAllocation& operator=(const FailingArrayAllocation&) = delete;
};

// The same for single-object allocations of exactly `bytes`.
class FailingObjectAllocation {
public:
    explicit FailingObjectAllocation(std::size_t bytes);
    ~FailingObjectAllocation();
    FailingObjectAllocation(const FailingObjectAllocation&) = delete;
    FailingObjectAllocation& operator=(const FailingObjectAllocation&) = delete;
};

}  // namespace orvix::test
