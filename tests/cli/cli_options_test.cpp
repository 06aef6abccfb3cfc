// The command line, the recorder time texts and the PTZ and alarm requests.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "cli/cli_options.h"

using namespace orvix;
using namespace orvix::cli;

namespace {

ParsedCommandLine parse(std::vector<std::string> arguments) { return parseCommandLine(arguments); }

}  // namespace

TEST(CliOptions, DirectAndDdnsRecordersWithDefaults) {
    auto direct = parse({"--host", "127.0.0.1", "--port", "3000", "--user", "admin"});
    ASSERT_EQ(direct.outcome, ParsedCommandLine::Outcome::Run) << direct.error;
    EXPECT_FALSE(direct.options.useDdns);
    EXPECT_EQ(direct.options.port, 3000);
    EXPECT_EQ(direct.options.framingKind, 0);
    EXPECT_EQ(direct.options.channel, 1);
    EXPECT_EQ(direct.options.frames, 50);
    EXPECT_EQ(direct.options.timeoutSeconds, 20);
    EXPECT_FALSE(direct.options.iframeOnly);
    EXPECT_FALSE(direct.options.rangeIsGoal());

    auto ddns = parse({"--ddns-server", "localhost", "--ddns-port", "2000", "--ddns-id", "shop", "--user", "u",
                       "--password", "p", "--stream", "h264", "--channel", "16", "--record-info"});
    ASSERT_EQ(ddns.outcome, ParsedCommandLine::Outcome::Run) << ddns.error;
    EXPECT_TRUE(ddns.options.useDdns);
    EXPECT_EQ(ddns.options.framingKind, 1);
    EXPECT_EQ(ddns.options.channel, 16);
    EXPECT_TRUE(ddns.options.rangeIsGoal());
    // With a frame count or a search the range is printed on the way.
    auto withFrames = parse({"--host", "h", "--port", "1", "--user", "u", "--record-info", "--frames", "3"});
    EXPECT_FALSE(withFrames.options.rangeIsGoal());
}

TEST(CliOptions, UsageErrors) {
    const std::vector<std::vector<std::string>> bad = {
        {},
        {"--host", "h", "--user", "u"},                                       // no port
        {"--host", "h", "--port", "1", "--ddns-id", "x", "--user", "u"},      // both ways
        {"--ddns-server", "s", "--ddns-port", "2000", "--user", "u"},         // no id
        {"--host", "h", "--port", "1"},                                       // no user
        {"--host", "h", "--port", "65536", "--user", "u"},
        {"--host", "h", "--port", "0", "--user", "u"},
        {"--host", "h", "--port", "1", "--user", "u", "--channel", "17"},
        {"--host", "h", "--port", "1", "--user", "u", "--channel", "0"},
        {"--host", "h", "--port", "1", "--user", "u", "--stream", "mjpeg"},
        {"--host", "h", "--port", "1", "--user", "u", "--frames", "0"},
        {"--host", "h", "--port", "1", "--user", "u", "--frames", "5x"},
        {"--host", "h", "--port", "1", "--user", "u", "--timeout"},
        {"--host", "h", "--port", "1", "--user", "u", "--search", "2012-02-30 00:00:00"},
        {"--host", "h", "--port", "1", "--user", "u", "--ptz", "goto"},
        {"--host", "h", "--port", "1", "--user", "u", "--alarm", "on:129:5"},
        {"--host", "h", "--port", "1", "--user", "u", "--bogus"},
        {"--host", "h", "--port", "1", "--user", "u", "--to", "2012-01-01 00:00:01"},  // no --from
        {"--host", "h", "--port", "1", "--user", "u", "--from", "2012-01-01 00:00:01", "--to", "2012-01-01 00:00:01"},
        {"--host", "h", "--port", "1", "--user", "u", "--channel", "1-2", "--from", "2012-01-01 00:00:00", "--to",
         "2012-01-01 00:00:01"},
    };
    for (const auto& arguments : bad) {
        const auto parsed = parseCommandLine(arguments);
        EXPECT_EQ(parsed.outcome, ParsedCommandLine::Outcome::Error) << arguments.size();
        EXPECT_FALSE(parsed.error.empty());
        EXPECT_EQ(parsed.error.find('\n'), std::string::npos);
    }
    EXPECT_EQ(parse({"--help"}).outcome, ParsedCommandLine::Outcome::Help);
}

TEST(CliOptions, SnapshotAndRecordingMustBeDifferentFiles) {
    namespace fs = std::filesystem;
    const fs::path dir = fs::temp_directory_path() / ("orvix_cli_options_" + std::to_string(::getpid()));
    fs::create_directories(dir / "sub");
    const auto outputs = [](const fs::path& snapshot, const fs::path& record) {
        return parse({"--host", "h", "--port", "1", "--user", "u", "--snapshot", snapshot.string(), "--record",
                      record.string()});
    };
    const fs::path file = dir / "out.mp4";
    const auto refused = [&](const fs::path& other) {
        const auto parsed = outputs(file, other);
        return parsed.outcome == ParsedCommandLine::Outcome::Error &&
               parsed.error == "--snapshot and --record name the same file";
    };

    // Before the file exists: the same name, written differently.
    EXPECT_TRUE(refused(file));
    EXPECT_TRUE(refused(dir / "." / "out.mp4"));
    EXPECT_TRUE(refused(dir / "sub" / ".." / "out.mp4"));
    EXPECT_TRUE(refused(dir / "missing" / ".." / "out.mp4"));
    fs::create_directory_symlink(dir, dir / "alias");
    EXPECT_TRUE(refused(dir / "alias" / "out.mp4"));
    // Once it exists, also under another name of the same file.
    { std::ofstream(file) << "recording"; }
    fs::create_hard_link(file, dir / "hard.mp4");
    fs::create_symlink(file, dir / "soft.png");
    EXPECT_TRUE(refused(dir / "hard.mp4"));
    EXPECT_TRUE(refused(dir / "soft.png"));

    // Different files are fine, existing or not.
    EXPECT_EQ(outputs(file, dir / "out.png").outcome, ParsedCommandLine::Outcome::Run);
    EXPECT_EQ(outputs(dir / "sub" / "out.mp4", file).outcome, ParsedCommandLine::Outcome::Run);
    fs::remove_all(dir);
}

TEST(CliOptions, RecorderTimesCountTheCalendarWithoutZone) {
    EXPECT_EQ(parseRecorderTime("2011-12-31 23:59:59"), 1325375999u);
    EXPECT_EQ(parseRecorderTime("2012-02-29 12:00:00"), 1330516800u);
    EXPECT_EQ(parseRecorderTime("1970-01-01 00:00:00"), 0u);
    EXPECT_EQ(parseRecorderTime("2105-12-31 23:59:59"), 4291747199u);
    for (const char* bad : {"2011-02-29 00:00:00", "1969-12-31 23:59:59", "2012-13-01 00:00:00",
                            "2012-01-01 24:00:00", "2012-01-01 00:60:00", "2012-1-01 00:00:00",
                            "2012-01-01T00:00:00", "2012-01-01 00:00:00x", "+012-01-01 00:00:00", ""}) {
        EXPECT_FALSE(parseRecorderTime(bad)) << bad;
    }
    EXPECT_EQ(formatRecorderTime(1325375999u), "2011-12-31 23:59:59");
    EXPECT_EQ(formatRecorderTime(951782400u), "2000-02-29 00:00:00");
    // Past the signed range, where the overlay's conversion stops.
    EXPECT_EQ(formatRecorderTime(4291747199u), "2105-12-31 23:59:59");
}

TEST(CliOptions, PtzAndAlarmRequests) {
    std::string error;
    auto go = parsePtz("goto:16", error);
    ASSERT_TRUE(go);
    EXPECT_EQ(go->action, 5);
    EXPECT_EQ(go->preset, 16);
    EXPECT_EQ(parsePtz("set:1", error)->action, 6);
    EXPECT_EQ(parsePtz("zoom-in", error)->action, 8);
    EXPECT_EQ(parsePtz("10", error)->action, 10);
    EXPECT_EQ(parsePtz("stop", error)->preset, 0);
    EXPECT_FALSE(parsePtz("11", error));
    EXPECT_FALSE(parsePtz("up:3", error));
    EXPECT_FALSE(parsePtz("goto:17", error));
    EXPECT_FALSE(parsePtz("goto:0", error));

    auto on = parseAlarm("on:128:7200", error);
    ASSERT_TRUE(on);
    EXPECT_TRUE(on->on);
    EXPECT_EQ(on->output, 128);
    EXPECT_EQ(on->seconds, 7200u);
    auto all = parseAlarm("on:0:0", error);
    ASSERT_TRUE(all);
    EXPECT_EQ(all->output, 0);
    EXPECT_FALSE(parseAlarm("off", error)->on);
    for (const char* bad : {"on", "on:1", "on:-1:5", "on:1:5:6", "of", "on:1:86401"}) {
        EXPECT_FALSE(parseAlarm(bad, error)) << bad;
    }
}

TEST(CliOptions, ReconnectIsOffUnlessAskedAndItsLimitNeedsIt) {
    const std::vector<std::string> recorder = {"--host", "h", "--port", "1", "--user", "u"};
    const auto with = [&](std::vector<std::string> extra) {
        std::vector<std::string> arguments = recorder;
        arguments.insert(arguments.end(), extra.begin(), extra.end());
        return parse(arguments);
    };
    const auto plain = with({});
    EXPECT_FALSE(plain.options.reconnect);
    EXPECT_EQ(plain.options.maxReconnects, 0);
    const auto limited = with({"--reconnect", "--max-reconnects", "3"});
    ASSERT_EQ(limited.outcome, ParsedCommandLine::Outcome::Run) << limited.error;
    EXPECT_TRUE(limited.options.reconnect);
    EXPECT_EQ(limited.options.maxReconnects, 3);
    EXPECT_EQ(with({"--max-reconnects", "3"}).outcome, ParsedCommandLine::Outcome::Error);
    EXPECT_EQ(with({"--reconnect", "--max-reconnects", "0"}).outcome, ParsedCommandLine::Outcome::Error);
    EXPECT_EQ(with({"--reconnect", "--max-reconnects"}).outcome, ParsedCommandLine::Outcome::Error);
}

TEST(CliOptions, ASpanPlaysFromToAndItsLengthAddsToTheDefaultTimeout) {
    const std::vector<std::string> span = {"--host", "h", "--port", "1", "--user", "u", "--from",
                                           "2012-01-01 10:00:00", "--to", "2012-01-01 10:01:00"};
    auto parsed = parse(span);
    ASSERT_EQ(parsed.outcome, ParsedCommandLine::Outcome::Run) << parsed.error;
    EXPECT_EQ(parsed.options.searchTime, 1325412000u);
    EXPECT_EQ(parsed.options.spanEnd, 1325412060u);
    EXPECT_EQ(parsed.options.timeoutSeconds, 80);
    std::vector<std::string> timed = span;
    timed.insert(timed.end(), {"--timeout", "30"});
    EXPECT_EQ(parse(timed).options.timeoutSeconds, 30);
}
