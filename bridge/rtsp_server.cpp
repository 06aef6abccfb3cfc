#include "bridge/rtsp_server.h"

#include <gst/rtsp-server/rtsp-auth.h>
#include <gst/rtsp-server/rtsp-thread-pool.h>

#include <algorithm>

#include "bridge/channel_gate.h"
#include "bridge/client_address.h"
#include "bridge/watch_result_text.h"

namespace orvix::bridge {
namespace {

// The role that may use every channel; without credentials every client
// has it, with them only the authenticated user.
constexpr const char* kRole = "viewer";

struct CloseRequest {
    RtspServer* server;
    std::string prefix;  // "/NAME/"
};

std::string requestPath(GstRTSPContext* context) {
    return context != nullptr && context->uri != nullptr && context->uri->abspath != nullptr ? context->uri->abspath
                                                                                            : "";
}

}  // namespace

RtspServer::RtspServer(RtspSettings settings, EventLog& log) : settings_(std::move(settings)), log_(log) {}

RtspServer::~RtspServer() { stop(); }

std::string RtspServer::mountOf(const std::string& requestPath, const std::set<std::string>& mounts) {
    // Clients ask for "/NAME/CH", "/NAME/CH/" or a stream below it.
    for (const std::string& mount : mounts) {
        if (requestPath.compare(0, mount.size(), mount) != 0) continue;
        if (requestPath.size() == mount.size() || requestPath[mount.size()] == '/') return mount;
    }
    return {};
}

bool RtspServer::start(RecorderPool& recorders, std::string& error) {
    server_ = gst_rtsp_server_new();
    gst_rtsp_server_set_address(server_, settings_.address.c_str());
    gst_rtsp_server_set_service(server_, std::to_string(settings_.port).c_str());
    GstRTSPThreadPool* pool = gst_rtsp_server_get_thread_pool(server_);
    gst_rtsp_thread_pool_set_max_threads(pool, kClientThreads);
    g_object_unref(pool);

    // Every request passes the gate: credentials when asked for, then the
    // channel's recorder.
    GstRTSPAuth* auth = createChannelGate(
        [this](GstRTSPClient* client, const std::string& path) { return admit(client, path); },
        settings_.user.empty() ? kRole : nullptr);
    if (!settings_.user.empty()) {
        gst_rtsp_auth_set_supported_methods(auth, GST_RTSP_AUTH_DIGEST);
        GstRTSPToken* token =
            gst_rtsp_token_new(GST_RTSP_TOKEN_MEDIA_FACTORY_ROLE, G_TYPE_STRING, kRole, nullptr);
        gst_rtsp_auth_add_digest(auth, settings_.user.c_str(), settings_.password.c_str(), token);
        gst_rtsp_token_unref(token);
    }
    gst_rtsp_server_set_auth(server_, auth);
    g_object_unref(auth);

    for (const std::string& recorder : recorders.recorders()) {
        for (int channel = 0; channel < kMaxChannels; ++channel) {
            const auto& wanted = settings_.channels;
            if (!wanted.empty() && std::find(wanted.begin(), wanted.end(), channel + 1) == wanted.end()) continue;
            ChannelMount mount;
            mount.pool = &recorders;
            mount.recorder = recorder;
            mount.channel = channel;
            mount.path = "/" + recorder + "/" + std::to_string(channel + 1);
            mount.joinWait = settings_.joinWait;
            mount.log = &log_;
            mounts_.push_back(mount);
            mountPaths_.insert(mount.path);
        }
    }
    for (const ChannelMount& mount : mounts_) mountByPath_[mount.path] = &mount;
    GstRTSPMountPoints* mountPoints = gst_rtsp_server_get_mount_points(server_);
    for (const ChannelMount& mount : mounts_) {
        GstRTSPMediaFactory* factory = createChannelMediaFactory(mount);
        gst_rtsp_media_factory_add_role(factory, kRole, GST_RTSP_PERM_MEDIA_FACTORY_ACCESS, G_TYPE_BOOLEAN, TRUE,
                                        GST_RTSP_PERM_MEDIA_FACTORY_CONSTRUCT, G_TYPE_BOOLEAN, TRUE, nullptr);
        gst_rtsp_mount_points_add_factory(mountPoints, mount.path.c_str(), factory);
    }
    g_object_unref(mountPoints);

    g_signal_connect(server_, "client-connected", G_CALLBACK(onClientConnected), this);
    context_ = g_main_context_new();
    sourceId_ = gst_rtsp_server_attach(server_, context_);
    if (sourceId_ == 0) {
        error = "cannot listen on " + settings_.address + ":" + std::to_string(settings_.port);
        g_main_context_unref(context_);
        context_ = nullptr;
        g_object_unref(server_);
        server_ = nullptr;
        return false;
    }
    port_ = gst_rtsp_server_get_bound_port(server_);
    loop_ = g_main_loop_new(context_, FALSE);
    thread_ = std::thread([this] {
        g_main_context_push_thread_default(context_);
        g_main_loop_run(loop_);
        g_main_context_pop_thread_default(context_);
    });
    return true;
}

void RtspServer::stop() {
    if (server_ == nullptr) return;
    // No new clients, then every client ends (its media unwatches its channel).
    if (GSource* source = g_main_context_find_source_by_id(context_, sourceId_)) g_source_destroy(source);
    gst_rtsp_server_client_filter(server_, closeAll, this);
    g_main_loop_quit(loop_);
    if (thread_.joinable()) thread_.join();
    g_main_loop_unref(loop_);
    loop_ = nullptr;
    g_object_unref(server_);
    server_ = nullptr;
    g_main_context_unref(context_);
    context_ = nullptr;
}

void RtspServer::onClientConnected(GstRTSPServer*, GstRTSPClient* client, gpointer self) {
    auto* server = static_cast<RtspServer*>(self);
    {
        std::lock_guard<std::mutex> lock(server->mutex_);
        server->clients_[client].address = clientAddress(client);
    }
    g_signal_connect(client, "play-request", G_CALLBACK(onPlay), self);
    g_signal_connect(client, "teardown-request", G_CALLBACK(onTeardown), self);
    g_signal_connect(client, "closed", G_CALLBACK(onClosed), self);
    g_signal_connect(client, "send-message", G_CALLBACK(onSendMessage), self);
}

GstRTSPStatusCode RtspServer::admit(GstRTSPClient* client, const std::string& requestPath) {
    const std::string path = mountOf(requestPath, mountPaths_);
    const auto found = mountByPath_.find(path);
    if (found == mountByPath_.end()) return GST_RTSP_STS_OK;  // the server answers what is not mounted
    // Waits for the channel's pictures; the media, built next, holds the
    // channel from then on.
    const ChannelMount& mount = *found->second;
    const WatchResult result = mount.pool->watch(mount.recorder, mount.channel).waitReady(mount.joinWait);
    if (result == WatchResult::Ready) return GST_RTSP_STS_OK;
    log_.event("client " + clientAddress(client) + " refused for " + path + ": " + describe(result));
    return result == WatchResult::NoSuchChannel ? GST_RTSP_STS_NOT_FOUND : GST_RTSP_STS_SERVICE_UNAVAILABLE;
}

void RtspServer::onPlay(GstRTSPClient* client, GstRTSPContext* context, gpointer self) {
    auto* server = static_cast<RtspServer*>(self);
    const std::string path = mountOf(requestPath(context), server->mountPaths_);
    if (path.empty()) return;
    std::string address;
    {
        std::lock_guard<std::mutex> lock(server->mutex_);
        ClientInfo& info = server->clients_[client];
        if (!info.paths.insert(path).second) return;  // a PLAY after a PAUSE
        address = info.address;
    }
    server->log_.event("client " + address + " joins " + path);
}

void RtspServer::onTeardown(GstRTSPClient* client, GstRTSPContext* context, gpointer self) {
    auto* server = static_cast<RtspServer*>(self);
    const std::string path = mountOf(requestPath(context), server->mountPaths_);
    if (!path.empty()) server->leave(client, path);
}

void RtspServer::onClosed(GstRTSPClient* client, gpointer self) {
    auto* server = static_cast<RtspServer*>(self);
    ClientInfo info;
    {
        std::lock_guard<std::mutex> lock(server->mutex_);
        auto it = server->clients_.find(client);
        if (it == server->clients_.end()) return;
        info = it->second;
        server->clients_.erase(it);
    }
    for (const std::string& path : info.paths) {
        server->log_.event("client " + info.address + " leaves " + path);
        server->releaseMediaIfLast(path);
    }
}

void RtspServer::releaseMediaIfLast(const std::string& path) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        for (const auto& [client, info] : clients_) {
            if (info.paths.count(path) != 0) return;
        }
    }
    // The shared media is about to be taken down, which takes a while: the
    // next client gets a new one instead of being given the old one and
    // refused.
    const auto found = mountByPath_.find(path);
    if (found != mountByPath_.end()) found->second->generation->value.fetch_add(1);
}

void RtspServer::leave(GstRTSPClient* client, const std::string& path) {
    std::string address;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        auto it = clients_.find(client);
        if (it == clients_.end() || it->second.paths.erase(path) == 0) return;
        address = it->second.address;
    }
    log_.event("client " + address + " leaves " + path);
    releaseMediaIfLast(path);
}

void RtspServer::onSendMessage(GstRTSPClient* client, GstRTSPContext* context, GstRTSPMessage* response,
                               gpointer self) {
    GstRTSPStatusCode code = GST_RTSP_STS_OK;
    if (response == nullptr || gst_rtsp_message_get_type(response) != GST_RTSP_MESSAGE_RESPONSE ||
        gst_rtsp_message_parse_response(response, &code, nullptr, nullptr) != GST_RTSP_OK ||
        code != GST_RTSP_STS_UNAUTHORIZED || context == nullptr || context->request == nullptr) {
        return;
    }
    // The first 401 of a digest exchange is the challenge; only a request
    // that brought credentials has failed.
    gchar* credentials = nullptr;
    if (gst_rtsp_message_get_header(context->request, GST_RTSP_HDR_AUTHORIZATION, &credentials, 0) != GST_RTSP_OK) {
        return;
    }
    auto* server = static_cast<RtspServer*>(self);
    server->log_.event("client " + clientAddress(client) + " refused for " + requestPath(context) +
                       ": wrong RTSP user or password");
}

void RtspServer::closeClientsOf(const std::string& name) {
    if (server_ == nullptr) return;
    CloseRequest request{this, "/" + name + "/"};
    gst_rtsp_server_client_filter(server_, closeMatching, &request);
}

GstRTSPFilterResult RtspServer::closeMatching(GstRTSPServer*, GstRTSPClient* client, gpointer data) {
    const auto* request = static_cast<const CloseRequest*>(data);
    std::lock_guard<std::mutex> lock(request->server->mutex_);
    auto it = request->server->clients_.find(client);
    if (it == request->server->clients_.end()) return GST_RTSP_FILTER_KEEP;
    for (const std::string& path : it->second.paths) {
        if (path.compare(0, request->prefix.size(), request->prefix) == 0) return GST_RTSP_FILTER_REMOVE;
    }
    return GST_RTSP_FILTER_KEEP;
}

GstRTSPFilterResult RtspServer::closeAll(GstRTSPServer*, GstRTSPClient*, gpointer) { return GST_RTSP_FILTER_REMOVE; }

std::map<std::string, int> RtspServer::clientsByPath() const {
    std::map<std::string, int> counts;
    std::lock_guard<std::mutex> lock(mutex_);
    for (const auto& [client, info] : clients_) {
        for (const std::string& path : info.paths) ++counts[path];
    }
    return counts;
}

}  // namespace orvix::bridge
