// A small plain-text status page over HTTP on loopback, for the usual
// monitoring tools: any GET gets the text the owner makes at that moment.
// One request per connection, answered on the server's own thread.
#pragma once

#include <atomic>
#include <functional>
#include <string>
#include <thread>

#include "frontend/listen_socket.h"

namespace orvix::bridge {

class StatusServer {
public:
    using Page = std::function<std::string()>;

    explicit StatusServer(Page page) : page_(std::move(page)) {}
    ~StatusServer() { stop(); }
    StatusServer(const StatusServer&) = delete;
    StatusServer& operator=(const StatusServer&) = delete;

    // Listens on 127.0.0.1:`port` (0: a free one). False, with the reason,
    // when it cannot.
    bool start(int port, std::string& error);
    void stop();
    int port() const { return listener_.port(); }

    // The reply to one request: 200 with the page for GET (and HEAD, without
    // the body), 405 for other methods, 400 for what is no HTTP request.
    static std::string reply(const std::string& request, const std::string& page);

private:
    void run();
    void serve(int fd);

    Page page_;
    ListenSocket listener_;
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

}  // namespace orvix::bridge
