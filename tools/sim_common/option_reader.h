// Long options of the simulators' command lines: "--name value" or
// "--name=value" for options that take a value, "--name" for switches.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace orvix::sim {

struct OptionSpec {
    std::string_view name;  // without the leading "--"
    bool takesValue = false;
};

struct ParsedOption {
    std::string name;
    std::string value;
};

// Splits argv[1..] into options. False, with the reason in `error`, for an
// unknown option, a missing or unexpected value, or an argument that is not
// an option.
bool readOptions(int argc, const char* const* argv, std::span<const OptionSpec> specs,
                 std::vector<ParsedOption>& out, std::string& error);

// A whole decimal number within [min, max].
bool parseInteger(std::string_view text, int64_t min, int64_t max, int64_t& out);

}  // namespace orvix::sim
