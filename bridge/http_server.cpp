#include "bridge/http_server.h"

#include <libsoup/soup.h>

#include <algorithm>
#include <cstring>
#include <future>

#include "bridge/loop_thread.h"

namespace orvix::bridge {
namespace {

void reply(SoupServerMessage* message, const HttpReply& answer) {
    soup_server_message_set_status(message, static_cast<guint>(answer.status), nullptr);
    SoupMessageHeaders* headers = soup_server_message_get_response_headers(message);
    for (const auto& [name, value] : answer.headers) soup_message_headers_replace(headers, name.c_str(), value.c_str());
    soup_server_message_set_response(message, answer.contentType.c_str(), SOUP_MEMORY_COPY, answer.body.data(),
                                     answer.body.size());
}

HttpRequest requestOf(SoupServerMessage* message, const char* path) {
    HttpRequest request;
    request.method = soup_server_message_get_method(message);
    request.path = path != nullptr ? path : "/";
    SoupMessageBody* body = soup_server_message_get_request_body(message);
    if (body != nullptr && body->data != nullptr) request.body.assign(body->data, static_cast<size_t>(body->length));
    SoupMessageHeadersIter iter;
    soup_message_headers_iter_init(&iter, soup_server_message_get_request_headers(message));
    const char* name = nullptr;
    const char* value = nullptr;
    while (soup_message_headers_iter_next(&iter, &name, &value)) {
        std::string lower = name;
        for (char& c : lower) c = static_cast<char>(g_ascii_tolower(c));
        request.headers[lower] = value;
    }
    const char* host = soup_server_message_get_remote_host(message);
    GSocketAddress* remote = soup_server_message_get_remote_address(message);
    const int port = remote != nullptr && G_IS_INET_SOCKET_ADDRESS(remote)
                         ? g_inet_socket_address_get_port(G_INET_SOCKET_ADDRESS(remote))
                         : 0;
    request.client = std::string(host != nullptr ? host : "?") + ":" + std::to_string(port);
    return request;
}

// A reply given from any thread reaches its message on the server's
// thread, which was paused for it.
struct PendingReply {
    SoupServerMessage* message;
    HttpReply reply;
};

gboolean deliverReply(gpointer data) {
    auto* pending = static_cast<PendingReply*>(data);
    reply(pending->message, pending->reply);
    soup_server_message_unpause(pending->message);
    g_object_unref(pending->message);
    delete pending;
    return G_SOURCE_REMOVE;
}

void onRequest(SoupServer*, SoupServerMessage* message, const char* path, GHashTable*, gpointer self) {
    const auto* server = static_cast<const HttpServer*>(self);
    HttpRequest request = requestOf(message, path);
    // The digest domain has checked the login before this handler runs.
    if (server->needsLogin(request.path)) request.user = server->loggedIn(message);
    soup_server_message_pause(message);
    g_object_ref(message);
    GMainContext* context = server->context();
    server->answer(request, [message, context](HttpReply r) {
        g_main_context_invoke_full(context, G_PRIORITY_DEFAULT, deliverReply, new PendingReply{message, std::move(r)},
                                   nullptr);
    });
}

char* digestPassword(SoupAuthDomain* domain, SoupServerMessage*, const char* user, gpointer self) {
    const std::optional<std::string> password = static_cast<const HttpServer*>(self)->password(user);
    if (!password) return nullptr;
    return soup_auth_domain_digest_encode_password(user, soup_auth_domain_get_realm(domain), password->c_str());
}

gboolean loginFilter(SoupAuthDomain*, SoupServerMessage* message, gpointer self) {
    const char* path = g_uri_get_path(soup_server_message_get_uri(message));
    return static_cast<const HttpServer*>(self)->needsLogin(path != nullptr ? path : "/");
}

// Before a body is read: one over the limit, or of unknown length, is
// answered at once and its connection closed, so that nothing of it is read.
void onHeaders(SoupServer*, SoupServerMessage* message, const char*, GHashTable*, gpointer) {
    SoupMessageHeaders* headers = soup_server_message_get_request_headers(message);
    const SoupEncoding encoding = soup_message_headers_get_encoding(headers);
    const char* answer = nullptr;
    if (encoding == SOUP_ENCODING_CHUNKED || encoding == SOUP_ENCODING_EOF) {
        answer = "HTTP/1.1 411 Length Required\r\nConnection: close\r\nContent-Length: 0\r\n\r\n";
    } else if (encoding == SOUP_ENCODING_CONTENT_LENGTH &&
               soup_message_headers_get_content_length(headers) > static_cast<goffset>(HttpServer::kMaxBodyBytes)) {
        answer = "HTTP/1.1 413 Content Too Large\r\nConnection: close\r\nContent-Length: 0\r\n\r\n";
    }
    if (answer == nullptr) return;
    GIOStream* connection = soup_server_message_steal_connection(message);
    if (connection == nullptr) return;
    gsize written = 0;
    g_output_stream_write_all(g_io_stream_get_output_stream(connection), answer, std::strlen(answer), &written,
                              nullptr, nullptr);
    g_io_stream_close(connection, nullptr, nullptr);
    g_object_unref(connection);
}

}  // namespace

std::string HttpRequest::header(const std::string& name) const {
    const auto found = headers.find(name);
    return found != headers.end() ? found->second : std::string();
}

namespace {

HttpServer::LaterHandler atOnce(HttpServer::Handler handler) {
    return [handler = std::move(handler)](const HttpRequest& request, const HttpServer::Responder& respond) {
        respond(handler(request));
    };
}

}  // namespace

void HttpServer::route(const std::string& path, Handler handler, std::vector<std::string> methods) {
    routes_[path] = Route{atOnce(std::move(handler)), std::move(methods)};
}

void HttpServer::routePrefix(const std::string& prefix, Handler handler, std::vector<std::string> methods) {
    prefixes_[prefix] = Route{atOnce(std::move(handler)), std::move(methods)};
}

void HttpServer::routePrefixLater(const std::string& prefix, LaterHandler handler, std::vector<std::string> methods) {
    prefixes_[prefix] = Route{std::move(handler), std::move(methods)};
}

void HttpServer::requireLogin(std::vector<std::string> prefixes, const std::string& realm) {
    loginPrefixes_ = std::move(prefixes);
    realm_ = realm;
}

void HttpServer::setUsers(std::vector<RtspUser> users) {
    std::lock_guard<std::mutex> lock(usersMutex_);
    users_ = std::move(users);
}

std::optional<std::string> HttpServer::password(const std::string& user) const {
    std::lock_guard<std::mutex> lock(usersMutex_);
    for (const RtspUser& u : users_) {
        if (u.name == user) return u.password;
    }
    return std::nullopt;
}

bool HttpServer::needsLogin(const std::string& path) const {
    {
        std::lock_guard<std::mutex> lock(usersMutex_);
        if (users_.empty()) return false;
    }
    return std::any_of(loginPrefixes_.begin(), loginPrefixes_.end(),
                       [&](const std::string& prefix) { return path.rfind(prefix, 0) == 0; });
}

const HttpServer::Route* HttpServer::find(const std::string& path) const {
    const auto exact = routes_.find(path);
    if (exact != routes_.end()) return &exact->second;
    const Route* best = nullptr;
    size_t bestLength = 0;
    for (const auto& [prefix, route] : prefixes_) {
        if (path.rfind(prefix, 0) == 0 && prefix.size() > bestLength) {
            best = &route;
            bestLength = prefix.size();
        }
    }
    return best;
}

void HttpServer::answer(const HttpRequest& request, const Responder& respond) const {
    const Route* route = find(request.path);
    if (route == nullptr) return respond({404, "text/plain; charset=utf-8", "not found\n"});
    if (std::find(route->methods.begin(), route->methods.end(), request.method) == route->methods.end()) {
        return respond({405, "text/plain; charset=utf-8", "method not allowed\n"});
    }
    route->handler(request, respond);
}

std::string HttpServer::loggedIn(SoupServerMessage* message) const {
    if (login_ == nullptr) return {};
    char* user = soup_auth_domain_accepts(login_, message);
    const std::string name = user != nullptr ? user : "";
    g_free(user);
    return name;
}

HttpReply HttpServer::answer(const HttpRequest& request) const {
    HttpReply reply;
    answer(request, [&reply](HttpReply r) { reply = std::move(r); });
    return reply;
}

bool HttpServer::start(const ListenAddress& address, std::string& error) {
    std::promise<std::string> listening;
    auto result = listening.get_future();
    loop_ = std::make_unique<LoopThread>();
    loop_->start(
        [this, address, &listening] {
            server_ = soup_server_new("server-header", "orvix-bridge ", nullptr);
            soup_server_add_handler(server_, nullptr, onRequest, this, nullptr);
            soup_server_add_early_handler(server_, nullptr, onHeaders, this, nullptr);
            if (!loginPrefixes_.empty()) {
                login_ = soup_auth_domain_digest_new("realm", realm_.c_str(), nullptr);
                soup_auth_domain_digest_set_auth_callback(login_, digestPassword, this, nullptr);
                soup_auth_domain_set_filter(login_, loginFilter, this, nullptr);
                for (const std::string& prefix : loginPrefixes_) soup_auth_domain_add_path(login_, prefix.c_str());
                soup_server_add_auth_domain(server_, login_);
            }
            listening.set_value(listen(server_, address));
        },
        [this] {
            soup_server_disconnect(server_);
            g_object_unref(server_);
            server_ = nullptr;
            if (login_ != nullptr) g_object_unref(login_);
            login_ = nullptr;
        });
    error = result.get();
    if (!error.empty()) stop();
    return error.empty();
}

std::string HttpServer::listen(SoupServer* server, const ListenAddress& address) {
    GSocketAddress* where = g_inet_socket_address_new_from_string(address.host.c_str(), static_cast<guint>(address.port));
    GError* failure = nullptr;
    const bool ok = where != nullptr && soup_server_listen(server, where, static_cast<SoupServerListenOptions>(0), &failure);
    if (where != nullptr) g_object_unref(where);
    if (!ok) {
        const std::string why = failure != nullptr ? failure->message : "not an address";
        if (failure != nullptr) g_error_free(failure);
        return "cannot listen on " + address.text() + ": " + why;
    }
    GSList* listeners = soup_server_get_listeners(server);
    if (listeners != nullptr) {
        GSocketAddress* local = g_socket_get_local_address(G_SOCKET(listeners->data), nullptr);
        if (local != nullptr) {
            port_ = g_inet_socket_address_get_port(G_INET_SOCKET_ADDRESS(local));
            g_object_unref(local);
        }
    }
    g_slist_free(listeners);
    return {};
}

void HttpServer::stop() {
    // The server is made and freed on the loop's thread.
    if (loop_ != nullptr) loop_->stop();
    loop_.reset();
}

}  // namespace orvix::bridge
