// A small HTTP server on libsoup for the bridge's status, metrics and health
// (and whatever pages come later): routes by exact path, each answered by a
// function on the server's own thread. Unknown paths get 404, methods a
// route does not take 405, request bodies over a small limit 413 before they
// are read.
#pragma once

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "bridge/listen_address.h"
#include "bridge/loop_thread.h"

typedef struct _SoupServer SoupServer;

namespace orvix::bridge {

struct HttpRequest {
    std::string method;
    std::string path;
    std::string body;
};

struct HttpReply {
    int status = 200;
    std::string contentType = "text/plain; charset=utf-8";
    std::string body;
};

class HttpServer {
public:
    using Handler = std::function<HttpReply(const HttpRequest& request)>;
    static constexpr size_t kMaxBodyBytes = 64 * 1024;

    HttpServer() = default;
    ~HttpServer() { stop(); }
    HttpServer(const HttpServer&) = delete;
    HttpServer& operator=(const HttpServer&) = delete;

    // Before start(): `path` answered by `handler` for `methods`.
    void route(const std::string& path, Handler handler, std::vector<std::string> methods = {"GET", "HEAD"});

    // Listens on `address` and serves on a thread of its own; false with
    // "cannot listen on ADDR: REASON" when it cannot.
    bool start(const ListenAddress& address, std::string& error);
    void stop();
    int port() const { return port_; }

    // The reply to `request` by the routes (the server's thread calls it).
    HttpReply answer(const HttpRequest& request) const;

private:
    struct Route {
        Handler handler;
        std::vector<std::string> methods;
    };
    // The loop's thread: listens on `address`; the reason when it cannot.
    std::string listen(SoupServer* server, const ListenAddress& address);

    std::map<std::string, Route> routes_;
    std::unique_ptr<LoopThread> loop_;
    SoupServer* server_ = nullptr;  // the loop's thread only
    int port_ = 0;
};

}  // namespace orvix::bridge
