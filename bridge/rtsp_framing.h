// The framing of an RTSP connection as the bridge's front sees it: what a
// client sends (requests with their header block and body, responses, and
// interleaved "$" frames), read from the front of a buffer under limits so
// that nothing larger is ever held, and the responses in what the server
// sends back.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace orvix::bridge {

struct MessageLimits {
    size_t headerBytes = 16 * 1024;  // request line and headers, with the empty line
    size_t bodyBytes = 16 * 1024;    // Content-Length
};

struct ClientMessage {
    enum class Kind {
        Incomplete,      // more bytes are needed
        Interleaved,     // a "$" frame of `size` bytes
        Request,         // a request of `size` bytes, header block and body
        Response,        // a response to something the server asked
        HeaderTooLarge,  // no end of the header block within the limit
        BodyTooLarge,    // Content-Length over the limit (`cseq` known)
        Malformed,       // a Content-Length that is no number
    };
    Kind kind = Kind::Incomplete;
    size_t size = 0;
    std::string cseq;            // as the request gave it, "" when it gave none
    bool hasCredentials = false;  // an Authorization header
};

// The message at the front of `data` (leading empty lines are part of it).
ClientMessage nextClientMessage(const uint8_t* data, size_t size, const MessageLimits& limits);

// "RTSP/1.0 CODE REASON" with the request's CSeq, closing the connection.
std::string errorResponse(int code, const char* reason, const std::string& cseq);

// Follows what the server sends a client, in pieces as they come, and
// counts the responses in it (the server answers every request in order).
class ResponseScanner {
public:
    // Takes the next bytes; returns the status of each response that ends in
    // them, in order (calls `done` for each).
    template <typename Done>
    void feed(const uint8_t* data, size_t size, Done&& done) {
        for (size_t i = 0; i < size;) {
            const int status = step(data + i, size - i, i);
            if (status > 0) done(status);
        }
    }

private:
    enum class State { Start, FrameHeader, Frame, Header, Body };
    // Consumes from `data`, moving `offset`; a response's status when one
    // ended, else 0.
    int step(const uint8_t* data, size_t size, size_t& offset);
    int endOfHeader();

    static constexpr size_t kMaxHeader = 64 * 1024;
    State state_ = State::Start;
    size_t remaining_ = 0;
    uint8_t frameHeader_[4] = {};
    size_t frameHeaderBytes_ = 0;
    std::string header_;
    bool response_ = false;
    int status_ = 0;
};

}  // namespace orvix::bridge
