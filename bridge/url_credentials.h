// Passwords in URLs: put into a publishing URL from a file (so that they
// never show in the process list), and hidden in every line the bridge
// logs or shows.
#pragma once

#include <string>

namespace orvix::bridge {

// `text` with the password of every "scheme://user:password@" in it
// replaced by "***".
std::string redactCredentials(const std::string& text);

// `url` ("rtsp://user@host/...") with `password` after its user. False with
// the reason when the URL names no user, already holds a password, or the
// password has a character a URL cannot carry there ('@', '/', '?', '#').
bool withPassword(const std::string& url, const std::string& password, std::string& result, std::string& error);

}  // namespace orvix::bridge
