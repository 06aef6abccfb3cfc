// A small HTTP server on libsoup for the bridge's status, metrics, health,
// web page and WebRTC offers: routes by exact path or by a path's start,
// each answered by a function on the server's own thread, or later from any
// thread (a route whose answer waits on other work). Unknown paths get 404,
// methods a route does not take 405, request bodies over a small limit 413
// before they are read. Paths under the prefixes given to requireLogin()
// need an HTTP digest login as one of the users, while there are any.
#pragma once

#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "bridge/listen_address.h"
#include "bridge/loop_thread.h"
#include "bridge/rtsp_server.h"

typedef struct _SoupServer SoupServer;
typedef struct _SoupServerMessage SoupServerMessage;
typedef struct _SoupAuthDomain SoupAuthDomain;
typedef struct _GMainContext GMainContext;

namespace orvix::bridge {

struct HttpRequest {
    std::string method;
    std::string path;
    std::string body;
    std::map<std::string, std::string> headers;  // by lower-case name
    std::string user;    // the user logged in as, empty without a login
    std::string client;  // "ADDR:PORT"

    // The header's value, empty when absent; `name` in lower case.
    std::string header(const std::string& name) const;
};

struct HttpReply {
    using Headers = std::vector<std::pair<std::string, std::string>>;
    HttpReply() = default;
    HttpReply(int code, std::string type, std::string text, Headers extra = {})
        : status(code), contentType(std::move(type)), body(std::move(text)), headers(std::move(extra)) {}

    int status = 200;
    std::string contentType = "text/plain; charset=utf-8";
    std::string body;
    Headers headers;
};

class HttpServer {
public:
    using Handler = std::function<HttpReply(const HttpRequest& request)>;
    // Takes the reply once, from any thread.
    using Responder = std::function<void(HttpReply reply)>;
    using LaterHandler = std::function<void(const HttpRequest& request, Responder respond)>;
    static constexpr size_t kMaxBodyBytes = 64 * 1024;

    HttpServer() = default;
    ~HttpServer() { stop(); }
    HttpServer(const HttpServer&) = delete;
    HttpServer& operator=(const HttpServer&) = delete;

    // Before start(): `path` answered by `handler` for `methods`.
    void route(const std::string& path, Handler handler, std::vector<std::string> methods = {"GET", "HEAD"});
    // Before start(): every path that starts with `prefix` (ending in "/"),
    // unless an exact route or a longer prefix takes it.
    void routePrefix(const std::string& prefix, Handler handler, std::vector<std::string> methods = {"GET", "HEAD"});
    // Before start(): the same, answered through `respond` when the handler
    // has it, which may be after it returned.
    void routePrefixLater(const std::string& prefix, LaterHandler handler, std::vector<std::string> methods);
    // Before start(): paths under these prefixes need a digest login in
    // `realm` as one of the users.
    void requireLogin(std::vector<std::string> prefixes, const std::string& realm);
    // Any thread: the users who may log in from now on (none: no login).
    void setUsers(std::vector<RtspUser> users);

    // Listens on `address` and serves on a thread of its own; false with
    // "cannot listen on ADDR: REASON" when it cannot.
    bool start(const ListenAddress& address, std::string& error);
    void stop();
    int port() const { return port_; }

    // The reply to `request` by the routes (the server's thread calls it),
    // given to `respond` now or later.
    void answer(const HttpRequest& request, const Responder& respond) const;
    // The same for the routes that answer at once (tests).
    HttpReply answer(const HttpRequest& request) const;
    // The server's thread: the password of `user`, empty for none.
    std::optional<std::string> password(const std::string& user) const;
    bool needsLogin(const std::string& path) const;
    // The server's thread: the user `message` logged in as, empty for none.
    std::string loggedIn(SoupServerMessage* message) const;
    GMainContext* context() const { return loop_ != nullptr ? loop_->context() : nullptr; }

private:
    struct Route {
        LaterHandler handler;
        std::vector<std::string> methods;
    };
    const Route* find(const std::string& path) const;
    // The loop's thread: listens on `address`; the reason when it cannot.
    std::string listen(SoupServer* server, const ListenAddress& address);

    std::map<std::string, Route> routes_;
    std::map<std::string, Route> prefixes_;
    std::vector<std::string> loginPrefixes_;
    std::string realm_;
    mutable std::mutex usersMutex_;
    std::vector<RtspUser> users_;
    std::unique_ptr<LoopThread> loop_;
    SoupServer* server_ = nullptr;  // the loop's thread only
    SoupAuthDomain* login_ = nullptr;  // the loop's thread only
    int port_ = 0;
};

}  // namespace orvix::bridge
