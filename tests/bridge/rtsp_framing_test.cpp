// What the RTSP front reads of a client (messages under limits) and of the
// server (where its responses end), in whatever pieces the bytes come.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "bridge/rtsp_framing.h"

namespace orvix::bridge {
namespace {

using Kind = ClientMessage::Kind;

ClientMessage read(const std::string& text, MessageLimits limits = {64, 16}) {
    return nextClientMessage(reinterpret_cast<const uint8_t*>(text.data()), text.size(), limits);
}

TEST(RtspFraming, ClientMessagesAreReadWholeOrRefusedBeforeTheyAreHeld) {
    const std::string frame("$\x00\x00\x03" "abc", 7);
    struct Case {
        std::string bytes;
        Kind kind;
        size_t size;
        std::string cseq;
        bool credentials;
    };
    const std::vector<Case> cases = {
        {"OPTIONS * RTSP/1.0\r\nCSeq: 1\r\n\r\n", Kind::Request, 31, "1", false},
        {"\r\nOPTIONS * RTSP/1.0\nCseq:  7 \n\nX", Kind::Request, 32, "7", false},
        {"DESCRIBE /a RTSP/1.0\r\nAuthorization: Digest x\r\n\r\n", Kind::Request, 49, "", true},
        {"SET_PARAMETER /a RTSP/1.0\r\ncontent-length: 4\r\n\r\nab", Kind::Incomplete, 0, "", false},
        {"SET_PARAMETER /a RTSP/1.0\r\ncontent-length: 4\r\n\r\nabcd", Kind::Request, 52, "", false},
        {"GET_PARAMETER /a RTSP/1.0\r\nCSeq: 9\r\nContent-Length: 17\r\n\r\n", Kind::BodyTooLarge, 0, "9", false},
        {"GET_PARAMETER /a RTSP/1.0\r\nContent-Length: 1000000000\r\n", Kind::Incomplete, 0, "", false},
        {"PLAY /a RTSP/1.0\r\nX: " + std::string(60, 'x'), Kind::HeaderTooLarge, 0, "", false},
        {"PLAY /a RTSP/1.0\r\nContent-Length: many\r\n\r\n", Kind::Malformed, 0, "", false},
        {"RTSP/1.0 200 OK\r\nCSeq: 3\r\n\r\n", Kind::Response, 28, "3", false},
        {frame + "OPTIONS", Kind::Interleaved, 7, "", false},
        {frame.substr(0, 5), Kind::Incomplete, 0, "", false},
        {"", Kind::Incomplete, 0, "", false},
    };
    for (const Case& c : cases) {
        const ClientMessage m = read(c.bytes);
        EXPECT_EQ(m.kind, c.kind) << c.bytes;
        EXPECT_EQ(m.size, c.size) << c.bytes;
        EXPECT_EQ(m.cseq, c.cseq) << c.bytes;
        EXPECT_EQ(m.hasCredentials, c.credentials) << c.bytes;
    }
    EXPECT_EQ(errorResponse(413, "Request Entity Too Large", "9"),
              "RTSP/1.0 413 Request Entity Too Large\r\nCSeq: 9\r\nConnection: close\r\nContent-Length: 0\r\n\r\n");
}

TEST(RtspFraming, TheServersResponsesAreFoundAmongItsFramesInAnyPieces) {
    const std::string stream = std::string("RTSP/1.0 401 Unauthorized\r\nCSeq: 1\r\n\r\n") +
                               std::string("$\x01\x00\x05hello", 9) +
                               "RTSP/1.0 200 OK\r\nContent-Length: 5\r\n\r\n$\x00\x00\x09" +
                               "ANNOUNCE rtsp://x RTSP/1.0\r\n\r\n" + "RTSP/1.0 404 Not Found\n\n";
    for (size_t piece : {stream.size(), size_t{1}, size_t{3}, size_t{7}}) {
        ResponseScanner scanner;
        std::vector<int> statuses;
        for (size_t at = 0; at < stream.size(); at += piece) {
            const size_t size = std::min(piece, stream.size() - at);
            scanner.feed(reinterpret_cast<const uint8_t*>(stream.data()) + at, size,
                         [&](int status) { statuses.push_back(status); });
        }
        EXPECT_EQ(statuses, (std::vector<int>{401, 200, 404})) << piece;
    }
}

}  // namespace
}  // namespace orvix::bridge
