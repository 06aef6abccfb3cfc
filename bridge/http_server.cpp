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
    soup_server_message_set_response(message, answer.contentType.c_str(), SOUP_MEMORY_COPY, answer.body.data(),
                                     answer.body.size());
}

void onRequest(SoupServer*, SoupServerMessage* message, const char* path, GHashTable*, gpointer self) {
    HttpRequest request;
    request.method = soup_server_message_get_method(message);
    request.path = path != nullptr ? path : "/";
    SoupMessageBody* body = soup_server_message_get_request_body(message);
    if (body != nullptr && body->data != nullptr) request.body.assign(body->data, static_cast<size_t>(body->length));
    reply(message, static_cast<const HttpServer*>(self)->answer(request));
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

void HttpServer::route(const std::string& path, Handler handler, std::vector<std::string> methods) {
    routes_[path] = Route{std::move(handler), std::move(methods)};
}

HttpReply HttpServer::answer(const HttpRequest& request) const {
    const auto found = routes_.find(request.path);
    if (found == routes_.end()) return {404, "text/plain; charset=utf-8", "not found\n"};
    const auto& methods = found->second.methods;
    if (std::find(methods.begin(), methods.end(), request.method) == methods.end()) {
        return {405, "text/plain; charset=utf-8", "method not allowed\n"};
    }
    return found->second.handler(request);
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
            listening.set_value(listen(server_, address));
        },
        [this] {
            soup_server_disconnect(server_);
            g_object_unref(server_);
            server_ = nullptr;
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
