#include "tools/sim_common/option_reader.h"

#include <charconv>

namespace orvix::sim {

bool readOptions(int argc, const char* const* argv, std::span<const OptionSpec> specs,
                 std::vector<ParsedOption>& out, std::string& error) {
    out.clear();
    for (int i = 1; i < argc; ++i) {
        std::string_view argument = argv[i] != nullptr ? argv[i] : "";
        if (argument.substr(0, 2) != "--" || argument.size() == 2) {
            error = "unexpected argument: " + std::string(argument);
            return false;
        }
        argument.remove_prefix(2);
        std::string_view name = argument;
        std::string_view inlineValue;
        bool hasInlineValue = false;
        if (const size_t equals = argument.find('='); equals != std::string_view::npos) {
            name = argument.substr(0, equals);
            inlineValue = argument.substr(equals + 1);
            hasInlineValue = true;
        }
        const OptionSpec* spec = nullptr;
        for (const OptionSpec& candidate : specs) {
            if (candidate.name == name) spec = &candidate;
        }
        if (spec == nullptr) {
            error = "unknown option: --" + std::string(name);
            return false;
        }
        ParsedOption option{std::string(name), {}};
        if (spec->takesValue) {
            if (hasInlineValue) {
                option.value = std::string(inlineValue);
            } else if (i + 1 < argc && argv[i + 1] != nullptr) {
                option.value = argv[++i];
            } else {
                error = "option --" + option.name + " needs a value";
                return false;
            }
        } else if (hasInlineValue) {
            error = "option --" + option.name + " takes no value";
            return false;
        }
        out.push_back(std::move(option));
    }
    return true;
}

bool parseInteger(std::string_view text, int64_t min, int64_t max, int64_t& out) {
    int64_t value = 0;
    const char* end = text.data() + text.size();
    const auto [next, problem] = std::from_chars(text.data(), end, value);
    if (text.empty() || problem != std::errc() || next != end || value < min || value > max) return false;
    out = value;
    return true;
}

}  // namespace orvix::sim
