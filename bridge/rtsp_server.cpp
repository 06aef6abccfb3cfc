#include "bridge/rtsp_server.h"

#include <gio/gio.h>
#include <gst/rtsp-server/rtsp-auth.h>
#include <gst/rtsp-server/rtsp-session-pool.h>
#include <gst/rtsp-server/rtsp-thread-pool.h>
#include <unistd.h>

#include <algorithm>

#include "bridge/channel_gate.h"
#include "bridge/client_address.h"
#include "bridge/watch_result_text.h"

namespace orvix::bridge {
namespace {

// The role that may use every channel; without users every client has it,
// with them only one that logged in.
constexpr const char* kRole = "viewer";

struct CloseRequest {
    RtspServer* server;
    std::string prefix;  // "/NAME/"
};

std::string requestPath(GstRTSPContext* context) {
    return context != nullptr && context->uri != nullptr && context->uri->abspath != nullptr ? context->uri->abspath
                                                                                            : "";
}

GstRTSPToken* roleToken(const char* user) {
    return user != nullptr ? gst_rtsp_token_new(GST_RTSP_TOKEN_MEDIA_FACTORY_ROLE, G_TYPE_STRING, kRole, kUserField,
                                                G_TYPE_STRING, user, nullptr)
                           : gst_rtsp_token_new(GST_RTSP_TOKEN_MEDIA_FACTORY_ROLE, G_TYPE_STRING, kRole, nullptr);
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

std::string RtspServer::pathOf(const std::string& requestPath, ChannelMount* mount) const {
    std::lock_guard<std::mutex> lock(mutex_);
    for (const auto& [path, m] : mounts_) {
        if (mountOf(requestPath, {path}).empty()) continue;
        if (mount != nullptr) *mount = m;
        return path;
    }
    return {};
}

void RtspServer::start(RecorderPool& pool) {
    pool_ = &pool;
    server_ = gst_rtsp_server_new();
    GstRTSPThreadPool* threads = gst_rtsp_server_get_thread_pool(server_);
    gst_rtsp_thread_pool_set_max_threads(threads, kClientThreads);
    g_object_unref(threads);

    // Every request passes the gate: credentials when asked for, then the
    // channel's recorder.
    auth_ = createChannelGate([this](GstRTSPClient* client, const std::string& path) { return admit(client, path); },
                              [this](GstRTSPClient* client, const std::string& user) {
                                  std::lock_guard<std::mutex> lock(mutex_);
                                  const auto found = clients_.find(client);
                                  if (found != clients_.end()) found->second.user = user;
                              });
    gst_rtsp_auth_set_supported_methods(auth_, GST_RTSP_AUTH_DIGEST);
    gst_rtsp_server_set_auth(server_, auth_);
    setUsers(settings_.users);

    g_signal_connect(server_, "client-connected", G_CALLBACK(onClientConnected), this);
    // Sessions whose clients vanished (UDP clients that never say TEARDOWN)
    // end when they time out.
    GstRTSPSessionPool* sessions = gst_rtsp_server_get_session_pool(server_);
    GSource* cleanup = gst_rtsp_session_pool_create_watch(sessions);
    g_source_set_callback(cleanup, G_SOURCE_FUNC(+[](GstRTSPSessionPool*, gpointer) { return G_SOURCE_CONTINUE; }),
                          nullptr, nullptr);
    g_source_attach(cleanup, loop_.context());
    g_source_unref(cleanup);
    g_object_unref(sessions);

    loop_.start();
    std::lock_guard<std::mutex> lock(mutex_);
    running_ = true;
}

void RtspServer::stop() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (!running_) return;
        running_ = false;
    }
    // Every client ends (its media unwatches its channel).
    gst_rtsp_server_client_filter(server_, closeAll, this);
    admitted_->clear();
    loop_.stop();
    g_object_unref(auth_);
    auth_ = nullptr;
    g_object_unref(server_);
    server_ = nullptr;
}

bool RtspServer::adopt(int fd, const Peer& peer) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (!running_) {
            close(fd);
            return false;
        }
    }
    GSocket* socket = g_socket_new_from_fd(fd, nullptr);
    if (socket == nullptr) {
        close(fd);
        return false;
    }
    // The server takes the socket, and knows the client by its own address.
    return gst_rtsp_server_transfer_connection(server_, socket, peer.ip.c_str(), peer.port, nullptr) == TRUE;
}

void RtspServer::mount(const std::string& recorder, const std::vector<int>& channels) {
    GstRTSPMountPoints* points = gst_rtsp_server_get_mount_points(server_);
    for (int channel = 1; channel <= kMaxChannels; ++channel) {
        if (!channels.empty() && std::find(channels.begin(), channels.end(), channel) == channels.end()) continue;
        ChannelMount mount;
        mount.pool = pool_;
        mount.recorder = recorder;
        mount.channel = channel - 1;
        mount.path = "/" + recorder + "/" + std::to_string(channel);
        mount.joinWait = settings_.joinWait;
        mount.log = &log_;
        mount.admitted = admitted_;
        GstRTSPMediaFactory* factory = createChannelMediaFactory(mount);
        gst_rtsp_media_factory_add_role(factory, kRole, GST_RTSP_PERM_MEDIA_FACTORY_ACCESS, G_TYPE_BOOLEAN, TRUE,
                                        GST_RTSP_PERM_MEDIA_FACTORY_CONSTRUCT, G_TYPE_BOOLEAN, TRUE, nullptr);
        gst_rtsp_mount_points_add_factory(points, mount.path.c_str(), factory);
        std::lock_guard<std::mutex> lock(mutex_);
        mounts_[mount.path] = mount;
    }
    g_object_unref(points);
}

void RtspServer::unmount(const std::string& recorder) {
    const std::string prefix = "/" + recorder + "/";
    std::vector<std::string> paths;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        for (auto it = mounts_.begin(); it != mounts_.end();) {
            if (it->second.recorder != recorder) {
                ++it;
                continue;
            }
            paths.push_back(it->first);
            it = mounts_.erase(it);
        }
    }
    GstRTSPMountPoints* points = gst_rtsp_server_get_mount_points(server_);
    for (const std::string& path : paths) gst_rtsp_mount_points_remove_factory(points, path.c_str());
    g_object_unref(points);
    closeClientsOf(recorder);
}

void RtspServer::setUsers(const std::vector<RtspUser>& users) {
    std::vector<RtspUser> old;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        old = users_;
        users_ = users;
    }
    for (const RtspUser& user : old) gst_rtsp_auth_remove_digest(auth_, user.name.c_str());
    for (const RtspUser& user : users) {
        GstRTSPToken* token = roleToken(user.name.c_str());
        gst_rtsp_auth_add_digest(auth_, user.name.c_str(), user.password.c_str(), token);
        gst_rtsp_token_unref(token);
    }
    // Without users every client has the role; with them only those who log in.
    GstRTSPToken* anyone = users.empty() ? roleToken(nullptr) : nullptr;
    gst_rtsp_auth_set_default_token(auth_, anyone);
    if (anyone != nullptr) gst_rtsp_token_unref(anyone);
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
}

GstRTSPStatusCode RtspServer::admit(GstRTSPClient* client, const std::string& requestPath) {
    ChannelMount mount;
    const std::string path = pathOf(requestPath, &mount);
    if (path.empty()) return GST_RTSP_STS_OK;  // the server answers what is not mounted
    // A SETUP after the DESCRIBE uses the media the client has.
    if (admitted_->has(client, path)) return GST_RTSP_STS_OK;
    // Waits for the channel's pictures; the media built next takes the handle.
    PoolHandle handle = mount.pool->watch(mount.recorder, mount.channel);
    const WatchResult result = handle ? handle.waitReady(mount.joinWait) : WatchResult::Stopping;
    if (result == WatchResult::Ready) {
        admitted_->put(client, path, std::move(handle));
        return GST_RTSP_STS_OK;
    }
    log_.event("client " + nameOf(client) + " refused for " + path + ": " + describe(result));
    return result == WatchResult::NoSuchChannel ? GST_RTSP_STS_NOT_FOUND : GST_RTSP_STS_SERVICE_UNAVAILABLE;
}

void RtspServer::onPlay(GstRTSPClient* client, GstRTSPContext* context, gpointer self) {
    auto* server = static_cast<RtspServer*>(self);
    const std::string path = server->pathOf(requestPath(context), nullptr);
    if (path.empty()) return;
    {
        std::lock_guard<std::mutex> lock(server->mutex_);
        if (!server->clients_[client].paths.insert(path).second) return;  // a PLAY after a PAUSE
    }
    server->log_.event("client " + server->nameOf(client) + " joins " + path);
}

void RtspServer::onTeardown(GstRTSPClient* client, GstRTSPContext* context, gpointer self) {
    auto* server = static_cast<RtspServer*>(self);
    const std::string path = server->pathOf(requestPath(context), nullptr);
    if (!path.empty()) server->leave(client, path);
}

void RtspServer::onClosed(GstRTSPClient* client, gpointer self) {
    auto* server = static_cast<RtspServer*>(self);
    server->admitted_->forget(client);
    ClientInfo info;
    {
        std::lock_guard<std::mutex> lock(server->mutex_);
        auto it = server->clients_.find(client);
        if (it == server->clients_.end()) return;
        info = it->second;
        server->clients_.erase(it);
    }
    for (const std::string& path : info.paths) server->log_.event("client " + info.name() + " leaves " + path);
}

void RtspServer::leave(GstRTSPClient* client, const std::string& path) {
    std::string name;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        auto it = clients_.find(client);
        if (it == clients_.end() || it->second.paths.erase(path) == 0) return;
        name = it->second.name();
    }
    log_.event("client " + name + " leaves " + path);
}

void RtspServer::closeClientsOf(const std::string& name) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (!running_) return;
    }
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

std::string RtspServer::nameOf(GstRTSPClient* client) const {
    std::lock_guard<std::mutex> lock(mutex_);
    const auto found = clients_.find(client);
    return found != clients_.end() ? found->second.name() : clientAddress(client);
}

std::map<std::string, int> RtspServer::clientsByPath() const {
    std::map<std::string, int> counts;
    std::lock_guard<std::mutex> lock(mutex_);
    for (const auto& [client, info] : clients_) {
        for (const std::string& path : info.paths) ++counts[path];
    }
    return counts;
}

std::vector<RtspServer::Mounted> RtspServer::mounted() const {
    std::vector<Mounted> all;
    std::lock_guard<std::mutex> lock(mutex_);
    for (const auto& [path, mount] : mounts_) all.push_back({path, mount.recorder, mount.channel + 1});
    return all;
}

}  // namespace orvix::bridge
