// The program's options: what each asks for, and what is refused.
#include "app/command_line.h"

#include <gtest/gtest.h>

using namespace orvix;
using Action = StartOptions::Action;

namespace {

StartOptions parse(std::vector<std::string> arguments) { return parseStartOptions(arguments); }

TEST(CommandLine, ConnectTakesANameAndChannelOneToSixteenInEitherSpelling) {
    EXPECT_EQ(parse({}).action, Action::Run);
    const StartOptions a = parse({"--connect", "Front gate", "--channel", "16"});
    EXPECT_EQ(a.action, Action::Run);
    EXPECT_EQ(a.connectName, "Front gate");
    EXPECT_EQ(a.channel, 16);
    const StartOptions b = parse({"--channel=1", "--connect=Yard"});
    EXPECT_EQ(b.connectName, "Yard");
    EXPECT_EQ(b.channel, 1);
    // A name may look like an option once it is the value of --connect.
    EXPECT_EQ(parse({"--connect", "--odd name"}).connectName, "--odd name");
    EXPECT_FALSE(a.fullScreen);
    const StartOptions wall = parse({"--fullscreen", "--connect", "Hall"});
    EXPECT_EQ(wall.action, Action::Run);
    EXPECT_TRUE(wall.fullScreen);
    EXPECT_EQ(wall.connectName, "Hall");
    EXPECT_EQ(parse({}).renderer, RendererPreference::Auto);
    EXPECT_EQ(parse({"--renderer", "software"}).renderer, RendererPreference::Software);
    EXPECT_EQ(parse({"--renderer=opengl"}).renderer, RendererPreference::OpenGl);
    EXPECT_FALSE(parse({}).view.has_value());
    EXPECT_EQ(parse({"--connect", "Hall", "--view", "4"}).view, 4);
    EXPECT_EQ(parse({"--view=16"}).view, 16);
}

TEST(CommandLine, WrongOrIncompleteOptionsAreRefusedWithTheFirstReason) {
    const std::pair<std::vector<std::string>, std::string> cases[] = {
        {{"--connect"}, "--connect needs"},
        {{"--connect="}, "--connect needs"},
        {{"--channel", "0"}, "--channel needs a number from 1 to 16"},
        {{"--channel", "17"}, "--channel needs"},
        {{"--channel", "3x"}, "--channel needs"},
        {{"--channel", "-1"}, "--channel needs"},
        {{"--channel"}, "--channel needs"},
        {{"--fullscreen-please", "--channel", "99"}, "unknown option --fullscreen-please"},
        {{"stray"}, "unknown option stray"},
        {{"--renderer", "vulkan"}, "--renderer needs auto, software or opengl"},
        {{"--renderer"}, "--renderer needs"},
        {{"--view", "6"}, "--view needs 1, 4, 9 or 16"},
        {{"--view", "04"}, "--view needs"},
        {{"--view"}, "--view needs"},
        {{"--wall", "--tour", "4"}, "--tour needs a number of seconds from 5 to 600"},
        {{"--wall", "--tour", "601"}, "--tour needs"},
        {{"--tour", "10"}, "--tour needs --wall"},
    };
    for (const auto& [arguments, reason] : cases) {
        const StartOptions options = parse(arguments);
        EXPECT_EQ(options.action, Action::Invalid) << arguments.front();
        EXPECT_EQ(options.error.rfind(reason, 0), 0u) << options.error;
    }
}

TEST(CommandLine, WallTakesAnOptionalNameAndATour) {
    struct Case {
        std::vector<std::string> arguments;
        std::string name;
        std::optional<int> tour;
        bool fullScreen;
    };
    const Case cases[] = {
        {{"--wall"}, "", std::nullopt, false},
        {{"--wall", "--fullscreen"}, "", std::nullopt, true},
        {{"--wall", "Shop", "--tour", "5"}, "Shop", 5, false},
        {{"--wall=Two words", "--tour=600", "--fullscreen"}, "Two words", 600, true},
    };
    for (const Case& c : cases) {
        const StartOptions options = parse(c.arguments);
        EXPECT_EQ(options.action, Action::Run) << options.error;
        EXPECT_TRUE(options.wall);
        EXPECT_EQ(options.wallName, c.name);
        EXPECT_EQ(options.tourSeconds, c.tour);
        EXPECT_EQ(options.fullScreen, c.fullScreen);
    }
    EXPECT_FALSE(parse({"--connect", "Hall"}).wall);
}

TEST(CommandLine, HelpAndVersionWinOverEverythingElse) {
    EXPECT_EQ(parse({"--bogus", "--help"}).action, Action::Help);
    EXPECT_EQ(parse({"-h"}).action, Action::Help);
    EXPECT_EQ(parse({"--version", "--connect", "X"}).action, Action::Version);
    EXPECT_EQ(parse({"--version", "--help"}).action, Action::Help);
    EXPECT_EQ(versionText(), std::string("orvix ") + ORVIX_VERSION);
    EXPECT_NE(usageText().find("--connect NAME"), std::string::npos);
    EXPECT_NE(usageText().find("--view N"), std::string::npos);
}

}  // namespace
