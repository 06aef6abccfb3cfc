#include "link/model_class.h"

#include <array>
#include <utility>

namespace orvix {

std::optional<int32_t> modelIndexForCode(uint32_t modelCode) {
    static constexpr std::array<std::pair<uint32_t, int32_t>, 34> kTable{{
        {11, 0},  {12, 1},  {13, 2},  {21, 10}, {22, 11}, {41, 13}, {42, 12}, {43, 14}, {44, 15},
        {45, 16}, {51, 25}, {52, 24}, {53, 23}, {61, 26}, {62, 27}, {63, 28}, {64, 40}, {65, 41},
        {66, 42}, {71, 29}, {72, 32}, {73, 33}, {74, 31}, {75, 43}, {76, 44}, {77, 30}, {78, 45},
        {79, 46}, {81, 48}, {82, 49}, {83, 50}, {84, 51}, {91, 47}, {101, 52},
    }};
    for (const auto& [code, index] : kTable) {
        if (code == modelCode) return index;
    }
    return std::nullopt;
}

bool isWideClass(int32_t m) {
    return (m >= 0 && m <= 2) || (m >= 10 && m <= 16) || m == 20 || m == 21 || m == 47;
}

bool isPlainClass(int32_t m) { return (m >= 23 && m <= 46) || (m >= 48 && m <= 52); }

std::optional<FramingKind> commandFraming(int32_t modelIndex) {
    if (isWideClass(modelIndex)) return FramingKind::Wide;
    if (isPlainClass(modelIndex)) return FramingKind::Plain;
    return std::nullopt;
}

bool usesNumericPlayControl(int32_t m) {
    return (m >= 0 && m <= 2) || (m >= 12 && m <= 16) || m == 20 || m == 21 || m == 47;
}

}  // namespace orvix
