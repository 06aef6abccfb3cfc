// The DDNS stream parser on arbitrary bytes. Input: the model index byte
// (which decides whether commands are decoded at all), a chunk-size byte,
// then the stream.
#include <cstddef>
#include <cstdint>

#include "tests/fuzz/fuzz_harness.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static orvix::fuzz::Harness harness;
    if (size < 2) return 0;
    harness.reset(0, orvix::kLinkDdnsExchange);
    harness.record->modelIndex = static_cast<int8_t>(data[0]);
    orvix::fuzz::feedInChunks(data + 2, size - 2, data[1], [](const uint8_t* chunk, size_t n) {
        orvix::parseDdnsStream(harness.connection, chunk, n, harness);
    });
    return 0;
}
