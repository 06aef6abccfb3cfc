// The recorder a front end connects to, as orvix-cli and orvix-bridge take
// it on their command lines: a static address or a DDNS server and id, the
// account, where the password comes from, a recorder of the device list, and
// the stream type. Also the number and time texts both command lines read.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace orvix {

struct DeviceRecord;

struct RecorderOptions {
    // Either a recorder address, or a DDNS server and the recorder's id.
    std::string host;
    int port = 0;
    std::string ddnsServer;
    int ddnsPort = 0;
    std::string ddnsId;
    bool useDdns = false;

    std::string user;
    bool userGiven = false;
    std::string password;
    bool passwordGiven = false;  // --password
    std::string passwordFile;    // --password-file: the password is its first line
    std::string deviceName;      // --device: a recorder of the device list
    int framingKind = 0;         // --stream: mpeg4 0, h264 1
    bool streamGiven = false;
};

// Reads the recorder options of a command line, one at a time, and checks
// them as a whole at the end.
class RecorderOptionReader {
public:
    // Whether `option` is one of the recorder options (all take a value).
    static bool takesOption(const std::string& option);
    // Takes one recorder option with its value; false with `error` when the
    // value is not valid.
    bool take(const std::string& option, const std::string& value, RecorderOptions& o, std::string& error);
    // The options as a whole: an address, or DDNS, or a device name, an
    // account where needed, one password source. False with `error`.
    bool finish(RecorderOptions& o, std::string& error) const;

private:
    bool haveHost_ = false, havePort_ = false, haveServer_ = false, haveDdnsPort_ = false, haveId_ = false,
         haveUser_ = false;
};

// Parses a command line of recorder options only.
struct ParsedRecorderOptions {
    bool ok = false;
    RecorderOptions options;
    std::string error;  // one line, when not ok
};
ParsedRecorderOptions parseRecorderOptions(const std::vector<std::string>& arguments);

// Fills a zeroed record with the recorder to connect to: id 1, name
// "orvix-cli", account and password, framing kind, the static address or the
// DDNS server and id. Account, password and DDNS id are read in the current
// locale's character set, as the command line gives them.
void fillRecord(DeviceRecord& record, const RecorderOptions& options);

// A whole decimal number in [min, max], nothing else in the text.
std::optional<long long> parseNumber(std::string_view text, long long min, long long max);
// "YYYY-MM-DD HH:MM:SS" as recorder seconds (no time zone); nullopt when the
// text is not such a date between 1970 and 2105.
std::optional<uint32_t> parseRecorderTime(const std::string& text);
// The inverse, for printing.
std::string formatRecorderTime(uint32_t seconds);

}  // namespace orvix
