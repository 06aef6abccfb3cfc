// A plain HTTP/1.0 client for the tests of the bridge's status server.
#pragma once

#include <string>

namespace orvix::bridge::test {

// Sends `request` to 127.0.0.1:`port` and reads the reply until the peer
// closes, `seconds` pass without data or, with `untilContentLength`, the
// body its Content-Length gives has come ("" when there is no answer).
std::string loopbackExchange(int port, const std::string& request, int seconds, bool untilContentLength);
// The whole reply to `request` sent to 127.0.0.1:`port` ("" when there is
// no answer).
std::string httpRequest(int port, const std::string& request);
// The body of GET http://127.0.0.1:`port``path` ("" when there is no answer).
std::string httpGet(int port, const std::string& path = "/");
// The status code of GET `path`, 0 when there is no answer.
int httpStatus(int port, const std::string& path);

}  // namespace orvix::bridge::test
