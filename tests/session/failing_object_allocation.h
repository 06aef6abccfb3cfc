// Makes object allocations of one size fail on the calling thread, to drive
// the session into the paths where a part cannot be made. The test program
// replaces the single-object forms of operator new and delete.
#pragma once

#include <cstddef>

namespace orvix::test {

// Single-object allocations of exactly `bytes` fail (nothrow form: null) on
// this thread until the guard ends.
class FailingObjectAllocation {
public:
    explicit FailingObjectAllocation(std::size_t bytes);
    ~FailingObjectAllocation();
    FailingObjectAllocation(const FailingObjectAllocation&) = delete;
    FailingObjectAllocation& operator=(const FailingObjectAllocation&) = delete;
};

}  // namespace orvix::test
