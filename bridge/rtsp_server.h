// The RTSP side of the bridge, on GStreamer's RTSP server: one mount per
// recorder channel (/NAME/1 ... /NAME/16), optional digest authentication
// (checked before a media is built, so a client that fails it never touches
// a recorder), a log line when a client joins or leaves a channel or fails
// the authentication, and the count of clients per channel.
#pragma once

#include <gst/rtsp-server/rtsp-server.h>

#include <chrono>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "bridge/channel_media_factory.h"
#include "bridge/event_log.h"
#include "session/recorder_pool.h"

namespace orvix::bridge {

struct RtspSettings {
    std::string address = "127.0.0.1";
    int port = 8554;  // 0: a free port (see port())
    std::vector<int> channels;  // 1-based channels mounted; every channel when empty
    std::chrono::milliseconds joinWait{10000};  // a client waits this long for the recorder
    // Digest authentication when `user` is not empty.
    std::string user;
    std::string password;
};

class RtspServer {
public:
    // Clients whose requests are handled side by side; a client waiting for
    // its recorder holds one.
    static constexpr int kClientThreads = 64;

    RtspServer(RtspSettings settings, EventLog& log);
    ~RtspServer();
    RtspServer(const RtspServer&) = delete;
    RtspServer& operator=(const RtspServer&) = delete;

    // Mounts every channel of every recorder of `pool` (which must outlive
    // the server), listens and serves on a thread of its own. False, with
    // the reason, when it cannot listen.
    bool start(RecorderPool& pool, std::string& error);
    // Ends every client connection and stops serving.
    void stop();
    int port() const { return port_; }

    // Ends the connections of the clients that play a channel of the
    // recorder named `name`. Any thread.
    void closeClientsOf(const std::string& name);
    // The clients playing each mount path ("/NAME/CH").
    std::map<std::string, int> clientsByPath() const;

    // The mount path a request path belongs to, or "" (for the tests).
    static std::string mountOf(const std::string& requestPath, const std::set<std::string>& mounts);

private:
    struct ClientInfo {
        std::string address;
        std::set<std::string> paths;  // mounts it plays
    };

    static void onClientConnected(GstRTSPServer* server, GstRTSPClient* client, gpointer self);
    static void onPlay(GstRTSPClient* client, GstRTSPContext* context, gpointer self);
    static void onTeardown(GstRTSPClient* client, GstRTSPContext* context, gpointer self);
    static void onClosed(GstRTSPClient* client, gpointer self);
    static void onSendMessage(GstRTSPClient* client, GstRTSPContext* context, GstRTSPMessage* response,
                              gpointer self);
    static GstRTSPFilterResult closeMatching(GstRTSPServer* server, GstRTSPClient* client, gpointer request);
    static GstRTSPFilterResult closeAll(GstRTSPServer* server, GstRTSPClient* client, gpointer self);

    void leave(GstRTSPClient* client, const std::string& path);
    // After a client left `path`: when no other client plays it, new
    // clients of the mount get a media of their own.
    void releaseMediaIfLast(const std::string& path);
    // The gate's check: waits for the channel of `requestPath`.
    GstRTSPStatusCode admit(GstRTSPClient* client, const std::string& requestPath);

    RtspSettings settings_;
    EventLog& log_;
    std::vector<ChannelMount> mounts_;
    std::map<std::string, const ChannelMount*> mountByPath_;
    std::set<std::string> mountPaths_;
    GstRTSPServer* server_ = nullptr;
    GMainContext* context_ = nullptr;
    GMainLoop* loop_ = nullptr;
    guint sourceId_ = 0;
    std::thread thread_;
    int port_ = 0;

    mutable std::mutex mutex_;
    std::map<GstRTSPClient*, ClientInfo> clients_;
};

}  // namespace orvix::bridge
