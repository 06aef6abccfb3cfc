// The recorders of a process and who watches which of their channels. A
// front end asks the pool to watch (recorder, channel) and gets a handle;
// the pool keeps one connection per recorder whose channel set is the union
// of its handles' channels (a join or a leave is one data request; a channel
// nobody watches stays a second, so that a quick watch again costs nothing),
// closes it a while after the last handle went, and makes a lost connection
// again by the recorder's reconnect policy. However many handles watch a
// recorder (the RTSP clients of the bridge, the tiles of a wall, a recording),
// it has one connection and one login.
//
// Each handle gets its channel's packets (a FeedTarget: codec-ready access
// units on a smoothed timeline, from a key picture on; for the bridge and
// recordings), its decoded pictures (a PictureTarget; for views; a channel is
// decoded once whatever the number of such handles, and only while one
// wants it), and the recorder's state (RecorderState, with its words).
//
// Threads:
// - The pool and its handles are used from any thread; one handle from one
//   thread at a time. Nothing here blocks on the link, except waitReady().
// - Each recorder has a thread of its own: it runs the session, and calls
//   the state listeners and the lost handler, in order. They must return
//   soon; a listener may release its own handle.
// - Packet targets are called on the session's packet thread or decode
//   workers, or in attachPackets() (the kept group); picture targets on the
//   packet thread or decode workers. Neither may block nor release or
//   change its handle; release() and the setters return once no call into
//   the target they let go of runs.
// - The link thread never waits for any of them: packets and pictures come
//   from bounded queues that drop to the next key picture when full.
#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "session/pooled_recorder.h"

namespace orvix {

class RecorderPool;

class PoolHandle {
public:
    PoolHandle() = default;
    ~PoolHandle() { release(); }
    PoolHandle(PoolHandle&& other) noexcept;
    PoolHandle& operator=(PoolHandle&& other) noexcept;
    PoolHandle(const PoolHandle&) = delete;
    PoolHandle& operator=(const PoolHandle&) = delete;

    // False for a released handle, or one the pool could not give.
    explicit operator bool() const { return watch_ != nullptr; }
    std::string recorder() const;
    int channel() const;  // 0-based, -1 without a watch

    // The channel's packets go to `target` (null: none), from the kept
    // group when `withGroup`, else from the next key picture. The target is
    // told end() when the recorder's connection is given up (not on a
    // reconnect, which goes on in the same stream) and gets nothing from
    // that stream any more.
    void attachPackets(FeedTarget* target, bool withGroup = true);
    // The channel's pictures go to `target` (null: none).
    void setPictures(PictureTarget* target);
    // The recorder's state, each time it changes (not the state it has
    // now: read state() for that).
    void setStateListener(std::function<void(const RecorderState&)> listener);

    RecorderState state() const;
    // Waits until the channel's packets flow, at most `limit`; says why
    // they do not. A handle that comes after a failure asks for a new
    // connection; one left over from it does not.
    WatchResult waitReady(std::chrono::milliseconds limit) const;
    // The channel's codec, None before the recorder described itself.
    VideoCodec codec() const;

    // Camera control of the watched channel: a PtzAction (0 stop ... 10
    // focus out), with the preset number (from 1) for 5 and 6. Sent while
    // video flows, dropped otherwise.
    void cameraControl(int action, int32_t preset = 0);

    // Watches `channel` of `recorder` instead, targets and listener along:
    // both recorders' channel sets change (one request each). False, with
    // nothing changed, for an unknown recorder or channel.
    bool moveTo(const std::string& recorder, int channel);
    // The channel is no longer watched by this handle.
    void release();

private:
    friend class RecorderPool;
    PoolHandle(RecorderPool* pool, std::shared_ptr<PoolWatch> watch) : pool_(pool), watch_(std::move(watch)) {}

    RecorderPool* pool_ = nullptr;
    std::shared_ptr<PoolWatch> watch_;
};

class RecorderPool {
public:
    // One line per event of a recorder (connects, streams, changes its
    // channels, reconnects, fails, is closed), on its thread; recorders may
    // log at the same time.
    using Log = PooledRecorder::Log;

    explicit RecorderPool(Log log = {}) : log_(std::move(log)) {}
    ~RecorderPool() { stop(); }
    RecorderPool(const RecorderPool&) = delete;
    RecorderPool& operator=(const RecorderPool&) = delete;

    // A recorder the pool may connect to, by its name. False when the name
    // is taken or the pool stopped. A retired recorder of that name comes
    // back with these settings.
    bool add(RecorderSettings settings);
    // Closes the recorder's connection (saying `reason`) and takes it out of
    // the pool: its waiting handles get Stopping, and it can no longer be
    // watched. Handles left on it stay valid until released. False for an
    // unknown name.
    bool retire(const std::string& name, const std::string& reason);
    std::vector<std::string> recorders() const;

    // A handle on `channel` (0-based) of `recorder`; an empty handle for an
    // unknown recorder or a channel out of range. Handles must not outlive
    // the pool.
    PoolHandle watch(const std::string& recorder, int channel);

    // Called on a recorder's thread with its name after its connection
    // failed for good while handles watched it.
    void setLostHandler(std::function<void(const std::string& recorder)> handler);

    std::vector<RecorderStatus> status() const;

    // Another front end's connection to `recorder` (a window that shows it
    // too) carries the channels the handles watch from now on, so that the
    // recorder keeps one connection: the pool's own is closed. That
    // connection hands their pictures and packets to guestEvents(recorder).
    // False for an unknown recorder.
    bool adoptConnection(const std::string& recorder, AdoptedConnection connection);
    // It no longer does: the pool connects on its own again while handles
    // watch.
    void returnConnection(const std::string& recorder);
    // Null for an unknown recorder.
    ChannelEvents* guestEvents(const std::string& recorder) const;

    // Closes every connection, saying `reason`; waiting handles get Stopping.
    void stop(const std::string& reason = "the pool is stopping");

private:
    friend class PoolHandle;
    PooledRecorder* find(const std::string& name) const;

    Log log_;
    std::mutex membership_;  // one add() or retire() at a time
    mutable std::mutex mutex_;
    std::vector<std::unique_ptr<PooledRecorder>> recorders_;
    // Retired recorders stay until the pool ends: handles may still hold
    // them, and the same name may come back.
    std::vector<std::unique_ptr<PooledRecorder>> retired_;
    std::function<void(const std::string&)> lostHandler_;
    bool stopped_ = false;
};

}  // namespace orvix
