// Makes zero-filled buffer allocations of one size fail on the calling
// thread, to drive the video window's set-up into its failure path. The
// test program replaces the array forms of operator new and delete.
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

}  // namespace orvix::test
