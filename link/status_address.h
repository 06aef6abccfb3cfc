// The recorder address and port shown with status 1. The link thread sets
// them when it connects; the window thread reads them whenever it paints. A
// copy under a mutex keeps painting apart from the address the link connects
// to, which may come from a DDNS reply.
#pragma once

#include <mutex>
#include <string>
#include <string_view>

namespace orvix {

class StatusAddress {
public:
    struct Value {
        std::string address;
        int port = 0;
    };

    void set(std::string_view address, int port) {
        std::lock_guard<std::mutex> lock(mutex_);
        value_.address.assign(address);
        value_.port = port;
    }
    Value get() const {
        std::lock_guard<std::mutex> lock(mutex_);
        return value_;
    }

private:
    mutable std::mutex mutex_;
    Value value_;
};

}  // namespace orvix
