#include "bridge/channel_media_factory.h"

#include <gst/app/gstappsrc.h>
#include <gst/rtsp-server/rtsp-client.h>
#include <gst/rtsp-server/rtsp-context.h>
#include <gst/rtsp-server/rtsp-media.h>

#include <memory>
#include <mutex>
#include <utility>

#include "bridge/appsrc_target.h"
#include "bridge/client_address.h"
#include "bridge/mp4v_payloader.h"
#include "bridge/watch_result_text.h"

namespace orvix::bridge {
namespace {

constexpr const char* kWatchKey = "orvix-media-watch";

// A media's hold on its channel: the pool handle it watches with, and the
// appsrc attached to its packets once the pipeline asks for data. Released
// once, when the media is unprepared or, at the latest, when its element
// is freed.
class MediaWatch {
public:
    MediaWatch(PoolHandle handle, GstElement* appsrc, std::shared_ptr<AdmittedWatches> admitted,
               GstRTSPClient* client, std::string path)
        : handle_(std::move(handle)),
          target_(appsrc),
          admitted_(std::move(admitted)),
          client_(client),
          path_(std::move(path)) {
        if (admitted_ != nullptr) admitted_->built(client_, path_);
    }

    void attach() {
        std::lock_guard<std::mutex> lock(mutex_);
        if (released_ || attached_) return;
        attached_ = true;
        handle_.attachPackets(&target_);
    }
    void release() {
        std::lock_guard<std::mutex> lock(mutex_);
        if (released_) return;
        released_ = true;
        handle_.release();
        if (admitted_ != nullptr) admitted_->unbuilt(client_, path_);
    }

private:
    PoolHandle handle_;
    AppsrcTarget target_;
    std::shared_ptr<AdmittedWatches> admitted_;  // may outlive the server
    GstRTSPClient* client_;  // only compared, never used
    const std::string path_;
    std::mutex mutex_;
    bool attached_ = false;
    bool released_ = false;
};

void onNeedData(GstAppSrc*, guint, gpointer watch) { static_cast<MediaWatch*>(watch)->attach(); }

void freeWatch(gpointer watch) {
    auto* w = static_cast<MediaWatch*>(watch);
    w->release();
    delete w;
}

void onUnprepared(GstRTSPMedia*, gpointer watch) { static_cast<MediaWatch*>(watch)->release(); }

}  // namespace

struct OrvixChannelMediaFactory {
    GstRTSPMediaFactory parent;
    ChannelMount* mount;
};

struct OrvixChannelMediaFactoryClass {
    GstRTSPMediaFactoryClass parentClass;
};

namespace {

G_DEFINE_TYPE(OrvixChannelMediaFactory, orvix_channel_media_factory, GST_TYPE_RTSP_MEDIA_FACTORY)

GstElement* createElement(GstRTSPMediaFactory* factory, const GstRTSPUrl*) {
    const ChannelMount& mount = *reinterpret_cast<OrvixChannelMediaFactory*>(factory)->mount;
    GstRTSPContext* context = gst_rtsp_context_get_current();
    GstRTSPClient* rtspClient = context != nullptr ? context->client : nullptr;
    const std::string client = clientAddress(rtspClient);
    PoolHandle handle = mount.admitted != nullptr ? mount.admitted->take(rtspClient, mount.path) : PoolHandle();
    if (!handle) {
        handle = mount.pool->watch(mount.recorder, mount.channel);
        const WatchResult result = handle.waitReady(mount.joinWait);
        if (result != WatchResult::Ready) {
            mount.log->event("client " + client + " refused for " + mount.path + ": " + describe(result));
            return nullptr;
        }
    }
    GstElement* appsrc = nullptr;
    GstElement* bin = buildChannelPipeline(handle.codec(), &appsrc);
    if (bin == nullptr) {
        mount.log->event("client " + client + " refused for " + mount.path +
                         ": a GStreamer element is missing (appsrc, rtph264pay)");
        return nullptr;
    }
    auto* watch = new MediaWatch(std::move(handle), appsrc, mount.admitted, rtspClient, mount.path);
    GstAppSrcCallbacks callbacks{};
    callbacks.need_data = onNeedData;
    gst_app_src_set_callbacks(GST_APP_SRC(appsrc), &callbacks, watch, nullptr);
    g_object_set_data_full(G_OBJECT(bin), kWatchKey, watch, freeWatch);
    return bin;
}

// The pipeline runs on the clock's own time: no base time is given to it,
// so that a client's first pictures can be placed before now.
GstElement* createPipeline(GstRTSPMediaFactory* factory, GstRTSPMedia* media) {
    GstElement* pipeline = GST_RTSP_MEDIA_FACTORY_CLASS(orvix_channel_media_factory_parent_class)
                               ->create_pipeline(factory, media);
    if (pipeline != nullptr) gst_element_set_start_time(pipeline, GST_CLOCK_TIME_NONE);
    return pipeline;
}

void configureMedia(GstRTSPMediaFactory* factory, GstRTSPMedia* media) {
    GST_RTSP_MEDIA_FACTORY_CLASS(orvix_channel_media_factory_parent_class)->configure(factory, media);
    // Pictures go out as they come; their times are for the clients only.
    gst_rtsp_media_set_rate_control(media, FALSE);
    GstElement* element = gst_rtsp_media_get_element(media);
    if (element == nullptr) return;
    if (gpointer watch = g_object_get_data(G_OBJECT(element), kWatchKey)) {
        g_signal_connect(media, "unprepared", G_CALLBACK(onUnprepared), watch);
    }
    gst_object_unref(element);
}

void finalizeFactory(GObject* object) {
    delete reinterpret_cast<OrvixChannelMediaFactory*>(object)->mount;
    G_OBJECT_CLASS(orvix_channel_media_factory_parent_class)->finalize(object);
}

void orvix_channel_media_factory_class_init(OrvixChannelMediaFactoryClass* klass) {
    GST_RTSP_MEDIA_FACTORY_CLASS(klass)->create_element = createElement;
    GST_RTSP_MEDIA_FACTORY_CLASS(klass)->configure = configureMedia;
    GST_RTSP_MEDIA_FACTORY_CLASS(klass)->create_pipeline = createPipeline;
    G_OBJECT_CLASS(klass)->finalize = finalizeFactory;
}

void orvix_channel_media_factory_init(OrvixChannelMediaFactory* self) { self->mount = nullptr; }

}  // namespace

GstRTSPMediaFactory* createChannelMediaFactory(const ChannelMount& mount) {
    auto* factory =
        static_cast<OrvixChannelMediaFactory*>(g_object_new(orvix_channel_media_factory_get_type(), nullptr));
    factory->mount = new ChannelMount(mount);
    GstRTSPMediaFactory* base = &factory->parent;
    // A media of its own for every client: each starts at a key picture.
    gst_rtsp_media_factory_set_shared(base, FALSE);
    return base;
}

GstElement* buildChannelPipeline(VideoCodec codec, GstElement** appsrcOut) {
    const bool h264 = codec == VideoCodec::H264;
    GstElement* bin = gst_bin_new(nullptr);
    GstElement* appsrc = gst_element_factory_make("appsrc", "source");
    GstElement* payloader = h264 ? gst_element_factory_make("rtph264pay", "pay0") : createMp4vPayloader("pay0");
    if (appsrc == nullptr || payloader == nullptr) {
        for (GstElement* e : {appsrc, payloader}) {
            if (e != nullptr) gst_object_unref(gst_object_ref_sink(e));
        }
        gst_object_unref(gst_object_ref_sink(bin));
        return nullptr;
    }
    configureAppsrc(appsrc, codec);
    g_object_set(payloader, "pt", 96, nullptr);
    // Every key picture carries its parameter sets from the channel feed;
    // the payloader finds them there for the SDP and adds no second copy.
    if (h264) g_object_set(payloader, "config-interval", 0, nullptr);
    gst_bin_add_many(GST_BIN(bin), appsrc, payloader, nullptr);
    if (!gst_element_link(appsrc, payloader)) {
        gst_object_unref(gst_object_ref_sink(bin));
        return nullptr;
    }
    *appsrcOut = appsrc;
    return bin;
}

void AdmittedWatches::put(GstRTSPClient* client, const std::string& path, PoolHandle handle) {
    PoolHandle replaced;
    std::lock_guard<std::mutex> lock(mutex_);
    auto& kept = watches_[client];
    replaced = std::move(kept.second);
    kept = {path, std::move(handle)};
}

PoolHandle AdmittedWatches::take(GstRTSPClient* client, const std::string& path) {
    std::lock_guard<std::mutex> lock(mutex_);
    const auto found = watches_.find(client);
    if (found == watches_.end() || found->second.first != path) return PoolHandle();
    PoolHandle handle = std::move(found->second.second);
    watches_.erase(found);
    return handle;
}

void AdmittedWatches::built(GstRTSPClient* client, const std::string& path) {
    std::lock_guard<std::mutex> lock(mutex_);
    media_.insert({client, path});
}

void AdmittedWatches::unbuilt(GstRTSPClient* client, const std::string& path) {
    std::lock_guard<std::mutex> lock(mutex_);
    media_.erase({client, path});
}

bool AdmittedWatches::has(GstRTSPClient* client, const std::string& path) {
    std::lock_guard<std::mutex> lock(mutex_);
    return media_.count({client, path}) != 0;
}

void AdmittedWatches::clear() {
    std::map<GstRTSPClient*, std::pair<std::string, PoolHandle>> released;
    std::lock_guard<std::mutex> lock(mutex_);
    released.swap(watches_);
    media_.clear();
}

void AdmittedWatches::forget(GstRTSPClient* client) {
    PoolHandle released;
    std::lock_guard<std::mutex> lock(mutex_);
    for (auto it = media_.begin(); it != media_.end();) it = it->first == client ? media_.erase(it) : std::next(it);
    const auto found = watches_.find(client);
    if (found == watches_.end()) return;
    released = std::move(found->second.second);
    watches_.erase(found);
}

}  // namespace orvix::bridge
