#include "bridge/http_server.h"

#include <libsoup/soup.h>

#include <algorithm>
#include <cstring>
#include <future>

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
    std::promise<std::pair<bool, std::string>> listening;
    auto result = listening.get_future();
    context_ = g_main_context_new();
    loop_ = g_main_loop_new(context_, FALSE);
    thread_ = std::thread([this, address, &listening] {
        run(address, [&listening](bool ok, const std::string& why) { listening.set_value({ok, why}); });
    });
    const auto [ok, why] = result.get();
    if (!ok) {
        error = why;
        stop();
    }
    return ok;
}

void HttpServer::run(const ListenAddress& address,
                     const std::function<void(bool ok, const std::string& error)>& listening) {
    g_main_context_push_thread_default(context_);
    SoupServer* server = soup_server_new("server-header", "orvix-bridge ", nullptr);
    soup_server_add_handler(server, nullptr, onRequest, this, nullptr);
    soup_server_add_early_handler(server, nullptr, onHeaders, this, nullptr);
    GSocketAddress* where = g_inet_socket_address_new_from_string(address.host.c_str(), static_cast<guint>(address.port));
    GError* failure = nullptr;
    const bool ok = where != nullptr && soup_server_listen(server, where, static_cast<SoupServerListenOptions>(0), &failure);
    if (where != nullptr) g_object_unref(where);
    if (ok) {
        GSList* listeners = soup_server_get_listeners(server);
        if (listeners != nullptr) {
            GSocketAddress* local = g_socket_get_local_address(G_SOCKET(listeners->data), nullptr);
            if (local != nullptr) {
                port_ = g_inet_socket_address_get_port(G_INET_SOCKET_ADDRESS(local));
                g_object_unref(local);
            }
        }
        g_slist_free(listeners);
    }
    if (!ok) {
        listening(false, "cannot listen on " + address.text() + ": " +
                             (failure != nullptr ? failure->message : "not an address"));
        if (failure != nullptr) g_error_free(failure);
    } else {
        // Told once the loop runs, so that a stop() right after start() ends it.
        GSource* running = g_idle_source_new();
        g_source_set_callback(
            running,
            [](gpointer tell) {
                (*static_cast<const std::function<void(bool, const std::string&)>*>(tell))(true, std::string());
                return G_SOURCE_REMOVE;
            },
            const_cast<std::function<void(bool, const std::string&)>*>(&listening), nullptr);
        g_source_attach(running, context_);
        g_source_unref(running);
        g_main_loop_run(loop_);
    }
    soup_server_disconnect(server);
    g_object_unref(server);
    g_main_context_pop_thread_default(context_);
}

void HttpServer::stop() {
    if (loop_ != nullptr) g_main_loop_quit(loop_);
    if (thread_.joinable()) thread_.join();
    if (loop_ != nullptr) g_main_loop_unref(loop_);
    loop_ = nullptr;
    if (context_ != nullptr) g_main_context_unref(context_);
    context_ = nullptr;
}

}  // namespace orvix::bridge
