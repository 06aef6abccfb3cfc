#include <gtest/gtest.h>

#include "setup/ddns_port_rules.h"
#include "setup/default_ddns_servers.h"
#include "setup/port_text.h"

using namespace orvix;

TEST(DdnsPortRules, PrefixChoosesPortByVariant) {
    struct Case {
        const char16_t* id;
        int32_t variant;
        std::optional<uint16_t> port;
    };
    const Case cases[] = {
        {u"G4x", 0, 3100}, {u"g9", 0, 3100},  {u"G6", 3, 3100},   {u"p8", 1, 2200},  {u"P6abc", 0, 2200},
        {u"h4", 0, 2400},  {u"H9", 1, 2400},  {u"h6", 3, 2400},   {u"d4", 0, 2500},  {u"D8", 0, 2500},
        {u"d6", 1, 2500},  {u"l4", 0, 2600},  {u"L8", 3, 2600},   {u"l6", 0, 2600},  {u"g9", 4, 2400},
        {u"P8", 4, 2400},  {u"L6", 4, 2400},
        // No match, too short, or a variant that takes no port from the id.
        {u"X1", 0, std::nullopt}, {u"G5", 0, std::nullopt}, {u"G", 0, std::nullopt}, {u"", 4, std::nullopt},
        {u"g9", 2, std::nullopt}, {u"g9", 5, std::nullopt}, {u"g9", -1, std::nullopt},
        {u"\u0120" u"9", 0, std::nullopt},  // not an ASCII letter, however it folds
    };
    for (const Case& c : cases) {
        EXPECT_EQ(ddnsPortForId(c.id, c.variant), c.port) << "variant " << c.variant;
    }
}

TEST(DdnsPortRules, VariantDefaults) {
    EXPECT_EQ(std::u16string_view(defaultDdnsServer(0)), u"192.0.2.10");
    EXPECT_EQ(std::u16string_view(defaultDdnsServer(1)), u"ddns.example.com");
    EXPECT_EQ(std::u16string_view(defaultDdnsServer(2)), u"198.51.100.20");
    EXPECT_EQ(std::u16string_view(defaultDdnsServer(3)), u"192.0.2.10");
    EXPECT_EQ(std::u16string_view(defaultDdnsServer(4)), u"203.0.113.30");
    EXPECT_EQ(defaultDdnsServer(5), nullptr);
    EXPECT_EQ(forcedDdnsPort(2), uint16_t{2400});
    EXPECT_EQ(forcedDdnsPort(4), uint16_t{2400});
    EXPECT_EQ(forcedDdnsPort(0), std::nullopt);
    EXPECT_TRUE(ddnsServerLocked(1));
    EXPECT_FALSE(ddnsServerLocked(0));
}

TEST(PortText, ReadsLeadingDigitsAndRefusesValuesAbove65535) {
    EXPECT_EQ(parsePortText(u""), uint16_t{0});
    EXPECT_EQ(parsePortText(u"0"), uint16_t{0});
    EXPECT_EQ(parsePortText(u"00080"), uint16_t{80});
    EXPECT_EQ(parsePortText(u"65535"), uint16_t{65535});
    EXPECT_EQ(parsePortText(u"12ab"), uint16_t{12});
    EXPECT_EQ(parsePortText(u"x12"), uint16_t{0});
    EXPECT_EQ(parsePortText(u"65536"), std::nullopt);
    EXPECT_EQ(parsePortText(u"99999"), std::nullopt);
    EXPECT_EQ(parsePortText(u"99999999999999999999999"), std::nullopt);  // no overflow
}
