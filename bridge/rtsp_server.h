// The RTSP side of the bridge, on GStreamer's RTSP server: one mount per
// recorder channel (/NAME/1 ... /NAME/16), optional digest authentication
// for a set of users (checked before a media is built, so a client that
// fails it never touches a recorder), a log line when a client joins or
// leaves a channel, and the count of clients per channel. It does not
// listen itself: the RtspFront hands it each client connection.
#pragma once

#include <gst/rtsp-server/rtsp-server.h>

#include <chrono>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "bridge/channel_media_factory.h"
#include "bridge/event_log.h"
#include "bridge/listen_address.h"
#include "bridge/loop_thread.h"
#include "session/recorder_pool.h"

namespace orvix::bridge {

struct RtspUser {
    std::string name;
    std::string password;
    bool operator==(const RtspUser&) const = default;
};

struct RtspSettings {
    std::chrono::milliseconds joinWait{10000};  // a client waits this long for the recorder
    // Clients must log in (digest) as one of these; without any, anyone may watch.
    std::vector<RtspUser> users;
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

    // Serves the channels of `pool` (which must outlive the server) on a
    // thread of its own.
    void start(RecorderPool& pool);
    // Ends every client connection and stops serving.
    void stop();

    // Any thread. A client connection from `peer` that the front accepted:
    // the server takes `fd`. False (fd closed) when it cannot.
    bool adopt(int fd, const Peer& peer);
    // Mounts /RECORDER/CH for `channels` (1-based) of a recorder of the pool.
    void mount(const std::string& recorder, const std::vector<int>& channels);
    // Ends the connections of the recorder's clients and takes its mounts away.
    void unmount(const std::string& recorder);
    // The users clients log in as from now on (none: no login).
    void setUsers(const std::vector<RtspUser>& users);

    // Ends the connections of the clients that play a channel of the
    // recorder named `name`. Any thread.
    void closeClientsOf(const std::string& name);
    // The clients playing each mount path ("/NAME/CH").
    std::map<std::string, int> clientsByPath() const;
    // Every mount path, with its recorder and channel (1-based).
    struct Mounted {
        std::string path;
        std::string recorder;
        int channel = 0;
    };
    std::vector<Mounted> mounted() const;

    // The mount path a request path belongs to, or "" (for the tests).
    static std::string mountOf(const std::string& requestPath, const std::set<std::string>& mounts);

private:
    struct ClientInfo {
        std::string address;          // and port
        std::string user;             // it logged in as, "" before or without
        std::set<std::string> paths;  // mounts it plays
        // "ADDRESS:PORT (user NAME)", for the log.
        std::string name() const { return user.empty() ? address : address + " (user " + user + ")"; }
    };

    static void onClientConnected(GstRTSPServer* server, GstRTSPClient* client, gpointer self);
    static void onPlay(GstRTSPClient* client, GstRTSPContext* context, gpointer self);
    static void onTeardown(GstRTSPClient* client, GstRTSPContext* context, gpointer self);
    static void onClosed(GstRTSPClient* client, gpointer self);
    static GstRTSPFilterResult closeMatching(GstRTSPServer* server, GstRTSPClient* client, gpointer request);
    static GstRTSPFilterResult closeAll(GstRTSPServer* server, GstRTSPClient* client, gpointer self);

    void leave(GstRTSPClient* client, const std::string& path);
    std::string nameOf(GstRTSPClient* client) const;
    // The gate's check: waits for the channel of `requestPath`.
    GstRTSPStatusCode admit(GstRTSPClient* client, const std::string& requestPath);
    std::string pathOf(const std::string& requestPath, ChannelMount* mount) const;

    RtspSettings settings_;
    EventLog& log_;
    RecorderPool* pool_ = nullptr;
    std::shared_ptr<AdmittedWatches> admitted_ = std::make_shared<AdmittedWatches>();
    GstRTSPServer* server_ = nullptr;
    GstRTSPAuth* auth_ = nullptr;
    LoopThread loop_;  // the server's own sources (sessions that time out)

    mutable std::mutex mutex_;
    std::map<std::string, ChannelMount> mounts_;  // by path
    std::vector<RtspUser> users_;
    std::map<GstRTSPClient*, ClientInfo> clients_;
    bool running_ = false;
};

}  // namespace orvix::bridge
