#include "bridge/channel_media_factory.h"

#include <gst/app/gstappsrc.h>
#include <gst/rtsp-server/rtsp-client.h>
#include <gst/rtsp-server/rtsp-context.h>
#include <gst/rtsp-server/rtsp-media.h>

#include <memory>
#include <mutex>

#include "bridge/appsrc_target.h"
#include "bridge/client_address.h"
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
    MediaWatch(PoolHandle handle, GstElement* appsrc) : handle_(std::move(handle)), target_(appsrc) {}

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
    }

private:
    PoolHandle handle_;
    AppsrcTarget target_;
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

void onTargetState(GstRTSPMedia*, gint state, gpointer generation) {
    if (state == GST_STATE_NULL) (*static_cast<std::shared_ptr<MediaGeneration>*>(generation))->value.fetch_add(1);
}

void releaseGeneration(gpointer generation, GClosure*) {
    delete static_cast<std::shared_ptr<MediaGeneration>*>(generation);
}

GstElement* makeElement(const char* factory, const char* name) { return gst_element_factory_make(factory, name); }

// appsrc ! payloader (pay0) in a bin; null when an element is missing. The
// payloaders find the access units' configuration themselves (for the SDP
// and in-band), so no parser runs.
GstElement* buildPipeline(VideoCodec codec, GstElement** appsrcOut) {
    const bool h264 = codec == VideoCodec::H264;
    GstElement* bin = gst_bin_new(nullptr);
    GstElement* appsrc = makeElement("appsrc", "source");
    GstElement* payloader = makeElement(h264 ? "rtph264pay" : "rtpmp4vpay", "pay0");
    if (appsrc == nullptr || payloader == nullptr) {
        for (GstElement* e : {appsrc, payloader}) {
            if (e != nullptr) gst_object_unref(gst_object_ref_sink(e));
        }
        gst_object_unref(gst_object_ref_sink(bin));
        return nullptr;
    }
    configureAppsrc(appsrc, codec);
    // Configuration in-band before every key picture as well as in the SDP.
    g_object_set(payloader, "pt", 96, "config-interval", -1, nullptr);
    // Each picture goes out at once in packets of its own (the MPEG-4
    // payloader would otherwise gather small pictures up to a packet's size,
    // under the time of the first of them).
    if (!h264) g_object_set(payloader, "max-ptime", G_GINT64_CONSTANT(0), nullptr);
    gst_bin_add_many(GST_BIN(bin), appsrc, payloader, nullptr);
    if (!gst_element_link(appsrc, payloader)) {
        gst_object_unref(gst_object_ref_sink(bin));
        return nullptr;
    }
    *appsrcOut = appsrc;
    return bin;
}

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
    const std::string client = currentClientAddress();
    PoolHandle handle = mount.pool->watch(mount.recorder, mount.channel);
    const WatchResult result = handle.waitReady(mount.joinWait);
    if (result != WatchResult::Ready) {
        mount.log->event("client " + client + " refused for " + mount.path + ": " + describe(result));
        return nullptr;
    }
    GstElement* appsrc = nullptr;
    GstElement* bin = buildPipeline(handle.codec(), &appsrc);
    if (bin == nullptr) {
        mount.log->event("client " + client + " refused for " + mount.path +
                         ": a GStreamer element is missing (rtph264pay, rtpmp4vpay)");
        return nullptr;
    }
    auto* watch = new MediaWatch(std::move(handle), appsrc);
    GstAppSrcCallbacks callbacks{};
    callbacks.need_data = onNeedData;
    gst_app_src_set_callbacks(GST_APP_SRC(appsrc), &callbacks, watch, nullptr);
    g_object_set_data_full(G_OBJECT(bin), kWatchKey, watch, freeWatch);
    return bin;
}

// One media per mount and generation, whatever the request's URL looks like.
gchar* mediaKey(GstRTSPMediaFactory* factory, const GstRTSPUrl*) {
    const ChannelMount& mount = *reinterpret_cast<OrvixChannelMediaFactory*>(factory)->mount;
    return g_strdup_printf("%s#%u", mount.path.c_str(), mount.generation->value.load());
}

void configureMedia(GstRTSPMediaFactory* factory, GstRTSPMedia* media) {
    GST_RTSP_MEDIA_FACTORY_CLASS(orvix_channel_media_factory_parent_class)->configure(factory, media);
    // Going to NULL is the start of its taking down: new clients get a new media.
    auto* generation = new std::shared_ptr<MediaGeneration>(reinterpret_cast<OrvixChannelMediaFactory*>(factory)->mount->generation);
    g_signal_connect_data(media, "target-state", G_CALLBACK(onTargetState), generation, releaseGeneration,
                          static_cast<GConnectFlags>(0));
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
    GST_RTSP_MEDIA_FACTORY_CLASS(klass)->gen_key = mediaKey;
    G_OBJECT_CLASS(klass)->finalize = finalizeFactory;
}

void orvix_channel_media_factory_init(OrvixChannelMediaFactory* self) { self->mount = nullptr; }

}  // namespace

GstRTSPMediaFactory* createChannelMediaFactory(const ChannelMount& mount) {
    auto* factory =
        static_cast<OrvixChannelMediaFactory*>(g_object_new(orvix_channel_media_factory_get_type(), nullptr));
    factory->mount = new ChannelMount(mount);
    GstRTSPMediaFactory* base = &factory->parent;
    gst_rtsp_media_factory_set_shared(base, TRUE);
    return base;
}

}  // namespace orvix::bridge
