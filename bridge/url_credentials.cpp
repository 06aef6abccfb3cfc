#include "bridge/url_credentials.h"

namespace orvix::bridge {
namespace {

// Where the user part of the URL at `scheme` ("://" at `scheme`) ends, at
// its '@'; npos without one.
size_t userPartEnd(const std::string& text, size_t scheme) {
    const size_t start = scheme + 3;
    const size_t end = text.find_first_of("/?# \t\r\n", start);
    const size_t at = text.rfind('@', end == std::string::npos ? std::string::npos : end - 1);
    return at != std::string::npos && at >= start ? at : std::string::npos;
}

}  // namespace

std::string redactCredentials(const std::string& text) {
    std::string result = text;
    for (size_t scheme = result.find("://"); scheme != std::string::npos; scheme = result.find("://", scheme + 3)) {
        const size_t at = userPartEnd(result, scheme);
        if (at == std::string::npos) continue;
        const size_t colon = result.find(':', scheme + 3);
        if (colon == std::string::npos || colon > at) continue;
        result.replace(colon + 1, at - colon - 1, "***");
    }
    return result;
}

bool withPassword(const std::string& url, const std::string& password, std::string& result, std::string& error) {
    const size_t scheme = url.find("://");
    const size_t at = scheme == std::string::npos ? std::string::npos : userPartEnd(url, scheme);
    if (at == std::string::npos || at == scheme + 3) {
        error = "the URL needs the user to log in as, as in rtsp://USER@server/...";
        return false;
    }
    if (url.find(':', scheme + 3) < at) {
        error = "the URL holds a password already";
        return false;
    }
    if (password.find_first_of("@/?#") != std::string::npos) {
        error = "the password holds '@', '/', '?' or '#', which a URL cannot carry there";
        return false;
    }
    result = url.substr(0, at) + ":" + password + url.substr(at);
    return true;
}

}  // namespace orvix::bridge
