#include "bridge/rtsp_front.h"

#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <optional>

namespace orvix::bridge {
namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::duration_cast;
using std::chrono::milliseconds;

constexpr size_t kReadChunk = 64 * 1024;
constexpr size_t kFrameRoom = 4 + 65535;  // the largest interleaved frame
// After the last answer of a closing connection, what the client still sends
// is read and thrown away this long, so that the answer is not lost to a
// reset.
constexpr auto kDrain = std::chrono::seconds(2);

// "300 ms", "60 s".
std::string durationText(milliseconds duration) {
    if (duration.count() % 1000 == 0) return std::to_string(duration.count() / 1000) + " s";
    return std::to_string(duration.count()) + " ms";
}

// Bytes waiting to be written to one side.
struct Outgoing {
    std::vector<uint8_t> bytes;
    size_t sent = 0;

    size_t pending() const { return bytes.size() - sent; }
    void add(const uint8_t* data, size_t size) {
        if (sent > 0 && sent == bytes.size()) {
            bytes.clear();
            sent = 0;
        }
        bytes.insert(bytes.end(), data, data + size);
    }
    // Writes what it can; false when the socket failed. `progressed` tells
    // whether anything went.
    bool flush(int fd, bool& progressed) {
        progressed = false;
        while (pending() > 0) {
            const ssize_t n = send(fd, bytes.data() + sent, pending(), MSG_NOSIGNAL);
            if (n < 0) return errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR;
            sent += static_cast<size_t>(n);
            progressed = true;
        }
        bytes.clear();
        sent = 0;
        return true;
    }
};

void setNonBlocking(int fd) { fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NONBLOCK); }

}  // namespace

struct RtspFront::Connection {
    int client = -1;
    int backend = -1;
    Peer peer;
    std::vector<uint8_t> in;  // from the client, not handed on yet
    Outgoing toBackend;
    Outgoing toClient;
    ResponseScanner scanner;
    bool awaiting = false;         // a request went on; its response has not come back
    bool withCredentials = false;  // ... and it brought credentials
    bool admitted = false;         // the request at the front waited its turn already
    bool holding = false;
    Clock::time_point holdUntil{};
    bool closing = false;  // ends once what waits for the client is sent
    std::optional<Clock::time_point> drainUntil;  // ... and what the client still says is thrown away
    bool closed = false;
    Clock::time_point lastActivity{};
    Clock::time_point clientProgress{};  // the client last took something
    std::optional<Clock::time_point> partialSince;

    ~Connection() {
        if (client >= 0) ::close(client);
        if (backend >= 0) ::close(backend);
    }
};

RtspFront::RtspFront(FrontSettings settings, Backend backend, Log log)
    : settings_(std::move(settings)), backend_(std::move(backend)), log_(std::move(log)), throttle_(settings_.throttle) {
    if (!log_) log_ = [](const std::string&) {};
}

RtspFront::~RtspFront() { stop(); }

bool RtspFront::start(std::string& error) {
    for (const ListenAddress& address : settings_.listen) {
        // An IPv6 socket leaves IPv4 to a socket of its own on the same port.
        bool ipv4Too = false;
        for (const ListenAddress& other : settings_.listen) {
            ipv4Too = ipv4Too || (!other.ipv6 && other.port == address.port);
        }
        const int fd = openListener(address, settings_.backlog, ipv4Too, error);
        if (fd < 0) {
            stop();
            return false;
        }
        listeners_.push_back(fd);
        ports_.push_back(boundPort(fd));
    }
    if (pipe2(wake_, O_CLOEXEC | O_NONBLOCK) != 0) {
        error = "cannot make a pipe";
        stop();
        return false;
    }
    stopping_.store(false);
    thread_ = std::thread([this] { run(); });
    return true;
}

void RtspFront::stop() {
    stopping_.store(true);
    if (wake_[1] >= 0) {
        const char byte = 0;
        [[maybe_unused]] const ssize_t n = write(wake_[1], &byte, 1);
    }
    if (thread_.joinable()) thread_.join();
    connections_.clear();
    open_.store(0);
    for (int fd : listeners_) ::close(fd);
    listeners_.clear();
    for (int& fd : wake_) {
        if (fd >= 0) ::close(fd);
        fd = -1;
    }
}

FrontCounters RtspFront::counters() const {
    FrontCounters c;
    c.open = open_.load();
    c.accepted = accepted_.load();
    c.turnedAway = turnedAway_.load();
    c.loginFailures = loginFailures_.load();
    c.refusedRequests = refusedRequests_.load();
    return c;
}

void RtspFront::run() {
    std::vector<pollfd> fds;
    std::vector<std::pair<Connection*, bool>> owners;  // for each fd past the listeners: connection, client side
    while (!stopping_.load()) {
        fds.clear();
        owners.clear();
        fds.push_back({wake_[0], POLLIN, 0});
        for (int fd : listeners_) fds.push_back({fd, POLLIN, 0});
        for (const auto& c : connections_) {
            short clientEvents = c->toClient.pending() > 0 ? POLLOUT : 0;
            if (c->drainUntil ||
                (!c->closing && c->in.size() < settings_.limits.headerBytes + settings_.limits.bodyBytes + kFrameRoom))
                clientEvents |= POLLIN;
            short backendEvents = c->toBackend.pending() > 0 ? POLLOUT : 0;
            if (!c->closing && c->toClient.pending() < settings_.clientBufferBytes) backendEvents |= POLLIN;
            fds.push_back({c->client, clientEvents, 0});
            owners.emplace_back(c.get(), true);
            // A closing connection has nothing more to do with the server.
            fds.push_back({c->closing ? -1 : c->backend, backendEvents, 0});
            owners.emplace_back(c.get(), false);
        }
        if (poll(fds.data(), fds.size(), pollTimeoutMs()) < 0 && errno != EINTR) break;
        if (fds[0].revents != 0) {
            char drain[16];
            while (read(wake_[0], drain, sizeof drain) > 0) {
            }
        }
        for (size_t i = 0; i < listeners_.size(); ++i) {
            if (fds[1 + i].revents & POLLIN) acceptFrom(listeners_[i]);
        }
        const size_t first = 1 + listeners_.size();
        for (size_t i = 0; i < owners.size(); ++i) {
            Connection& c = *owners[i].first;
            const short revents = fds[first + i].revents;
            if (c.closed || revents == 0) continue;
            const bool clientSide = owners[i].second;
            if ((revents & (POLLHUP | POLLERR | POLLNVAL)) && !(revents & POLLIN)) {
                // Gone with nothing left to read (even when its side was not being read).
                if (clientSide) {
                    c.closed = true;
                } else {
                    c.closing = true;
                }
                continue;
            }
            if (revents & POLLIN) clientSide ? readClient(c) : readBackend(c);
            if (!c.closed && (revents & POLLOUT)) {
                bool progressed = false;
                if (!(clientSide ? c.toClient : c.toBackend).flush(clientSide ? c.client : c.backend, progressed)) {
                    c.closed = true;
                } else if (progressed) {
                    c.lastActivity = Clock::now();
                    if (clientSide) c.clientProgress = c.lastActivity;
                }
            }
        }
        for (const auto& c : connections_) {
            if (c->closed) continue;
            handOn(*c);
            checkTimes(*c);
            const auto now = Clock::now();
            if (c->closing && c->toClient.pending() == 0 && !c->drainUntil) {
                shutdown(c->client, SHUT_WR);
                c->drainUntil = now + kDrain;
            }
            if (c->drainUntil && now >= *c->drainUntil) c->closed = true;
        }
        const size_t before = connections_.size();
        connections_.erase(std::remove_if(connections_.begin(), connections_.end(),
                                          [](const std::unique_ptr<Connection>& c) { return c->closed; }),
                           connections_.end());
        if (connections_.size() != before) open_.store(connections_.size());
        for (const std::string& line : throttle_.report(Clock::now())) log_(line);
        loginFailures_.store(throttle_.failuresTotal());
        reportTurnedAway();
    }
}

int RtspFront::pollTimeoutMs() const {
    auto next = Clock::now() + std::chrono::seconds(1);
    for (const auto& c : connections_) {
        if (c->holding) next = std::min(next, c->holdUntil);
        if (c->drainUntil) next = std::min(next, *c->drainUntil);
        if (c->partialSince) next = std::min(next, *c->partialSince + settings_.partialRequest);
        if (c->toClient.pending() > 0) next = std::min(next, c->clientProgress + settings_.stalledClient);
    }
    return static_cast<int>(std::max<int64_t>(0, duration_cast<milliseconds>(next - Clock::now()).count() + 1));
}

void RtspFront::turnAway(const std::string& why) {
    turnedAway_.fetch_add(1);
    ++turnedAwayUntold_;
    turnedAwayWhy_ = why;
    reportTurnedAway();
}

void RtspFront::reportTurnedAway() {
    const auto now = Clock::now();
    if (turnedAwayUntold_ == 0 || now < turnedAwayReported_) return;
    log_(std::to_string(turnedAwayUntold_) + " client connection" + (turnedAwayUntold_ == 1 ? "" : "s") +
         " turned away: " + turnedAwayWhy_);
    turnedAwayUntold_ = 0;
    turnedAwayReported_ = now + std::chrono::minutes(1);
}

void RtspFront::acceptFrom(int listener) {
    for (;;) {
        const int fd = accept4(listener, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
        if (fd < 0) return;
        const Peer peer = peerOf(fd);
        const auto now = Clock::now();
        // Counted before the close, which the client may see at once.
        if (connections_.size() >= static_cast<size_t>(settings_.maxConnections)) {
            turnAway("the limit of " + std::to_string(settings_.maxConnections) + " clients is reached");
            ::close(fd);
            continue;
        }
        if (throttle_.admit(peer.ip, false, now).kind == LoginThrottle::Decision::Kind::Refuse) {
            turnedAway_.fetch_add(1);
            ::close(fd);
            continue;
        }
        const int backend = backend_(peer);
        if (backend < 0) {
            ::close(fd);
            log_("client " + peer.text() + " turned away: the RTSP server took no connection");
            continue;
        }
        setNonBlocking(backend);
        int one = 1;
        setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
        auto connection = std::make_unique<Connection>();
        connection->client = fd;
        connection->backend = backend;
        connection->peer = peer;
        connection->lastActivity = now;
        connection->clientProgress = now;
        connections_.push_back(std::move(connection));
        accepted_.fetch_add(1);
        open_.store(connections_.size());
    }
}

void RtspFront::readClient(Connection& c) {
    if (c.drainUntil) {
        uint8_t discarded[kReadChunk];
        const ssize_t n = recv(c.client, discarded, sizeof discarded, 0);
        if (n == 0 || (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR)) c.closed = true;
        return;
    }
    const size_t room = settings_.limits.headerBytes + settings_.limits.bodyBytes + kFrameRoom;
    if (c.in.size() >= room) return;
    const size_t old = c.in.size();
    c.in.resize(room);
    const ssize_t n = recv(c.client, c.in.data() + old, room - old, 0);
    c.in.resize(old + static_cast<size_t>(std::max<ssize_t>(n, 0)));
    if (n == 0 || (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR)) {
        c.closed = true;  // the client went; the server sees its connection end
        return;
    }
    if (n > 0) c.lastActivity = Clock::now();
}

void RtspFront::readBackend(Connection& c) {
    uint8_t buffer[kReadChunk];
    const ssize_t n = recv(c.backend, buffer, sizeof buffer, 0);
    if (n == 0 || (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR)) {
        c.closing = true;  // the server ended it: what it said still goes out
        return;
    }
    if (n < 0) return;
    c.lastActivity = Clock::now();
    c.scanner.feed(buffer, static_cast<size_t>(n), [&](int status) {
        if (!c.awaiting) return;
        c.awaiting = false;
        if (!c.withCredentials) return;
        if (status == 401) {
            throttle_.failed(c.peer.ip, Clock::now());
        } else {
            throttle_.succeeded(c.peer.ip);
        }
    });
    c.toClient.add(buffer, static_cast<size_t>(n));
    if (c.toClient.pending() == static_cast<size_t>(n)) c.clientProgress = c.lastActivity;
}

void RtspFront::forward(Connection& c, size_t size) {
    c.toBackend.add(c.in.data(), size);
    c.in.erase(c.in.begin(), c.in.begin() + static_cast<std::ptrdiff_t>(size));
    c.partialSince.reset();
}

void RtspFront::refuse(Connection& c, int code, const char* reason, const std::string& cseq, const std::string& why) {
    const std::string answer = errorResponse(code, reason, cseq);
    c.toClient.add(reinterpret_cast<const uint8_t*>(answer.data()), answer.size());
    c.closing = true;
    c.in.clear();
    refusedRequests_.fetch_add(1);
    if (!why.empty()) log_("client " + c.peer.text() + " refused: " + why);
}

void RtspFront::handOn(Connection& c) {
    const auto now = Clock::now();
    while (!c.closing && !c.awaiting) {
        if (c.holding) {
            if (now < c.holdUntil) return;
            c.holding = false;
            c.admitted = true;
        }
        const ClientMessage message = nextClientMessage(c.in.data(), c.in.size(), settings_.limits);
        using Kind = ClientMessage::Kind;
        switch (message.kind) {
            case Kind::Incomplete:
                if (!c.in.empty() && !c.partialSince) c.partialSince = now;
                return;
            case Kind::Interleaved:
            case Kind::Response: forward(c, message.size); break;
            case Kind::HeaderTooLarge:
                refuse(c, 400, "Bad Request", "",
                       "a request header block over " + std::to_string(settings_.limits.headerBytes) + " bytes");
                return;
            case Kind::BodyTooLarge:
                refuse(c, 413, "Request Entity Too Large", message.cseq,
                       "a request body over " + std::to_string(settings_.limits.bodyBytes) + " bytes");
                return;
            case Kind::Malformed: refuse(c, 400, "Bad Request", message.cseq, "an unreadable Content-Length"); return;
            case Kind::Request: {
                if (!c.admitted) {
                    const auto decision = throttle_.admit(c.peer.ip, message.hasCredentials, now);
                    if (decision.kind == LoginThrottle::Decision::Kind::Refuse) {
                        refuse(c, 429, "Too Many Requests", message.cseq, "");
                        return;
                    }
                    if (decision.kind == LoginThrottle::Decision::Kind::Wait) {
                        c.holding = true;
                        c.holdUntil = decision.until;
                        return;
                    }
                }
                c.admitted = false;
                c.awaiting = true;
                c.withCredentials = message.hasCredentials;
                forward(c, message.size);
                break;
            }
        }
    }
}

void RtspFront::checkTimes(Connection& c) {
    const auto now = Clock::now();
    if (c.toClient.pending() > 0 && now - c.clientProgress >= settings_.stalledClient) {
        log_("client " + c.peer.text() + " closed: it took nothing for " + durationText(settings_.stalledClient));
        c.closed = true;
    } else if (c.partialSince && !c.closing && now - *c.partialSince >= settings_.partialRequest) {
        log_("client " + c.peer.text() + " closed: no whole request in " + durationText(settings_.partialRequest));
        c.closed = true;
    } else if (now - c.lastActivity >= settings_.idleConnection) {
        c.closed = true;
    }
}

}  // namespace orvix::bridge
