#include "bridge/mp4v_payloader.h"

#include <gst/rtp/gstrtpbasepayload.h>
#include <gst/rtp/gstrtpbuffer.h>

#include <string>
#include <vector>

namespace orvix::bridge {

struct OrvixMp4vPay {
    GstRTPBasePayload parent;
    std::vector<uint8_t>* config;
};

struct OrvixMp4vPayClass {
    GstRTPBasePayloadClass parentClass;
};

namespace {

constexpr uint8_t kVisualObjectSequence = 0xB0;
constexpr uint8_t kGroupOfVops = 0xB3;
constexpr uint8_t kVop = 0xB6;

GstStaticPadTemplate sinkTemplate = GST_STATIC_PAD_TEMPLATE(
    "sink", GST_PAD_SINK, GST_PAD_ALWAYS, GST_STATIC_CAPS("video/mpeg, mpegversion = (int) 4, systemstream = (boolean) false"));
GstStaticPadTemplate srcTemplate = GST_STATIC_PAD_TEMPLATE(
    "src", GST_PAD_SRC, GST_PAD_ALWAYS,
    GST_STATIC_CAPS("application/x-rtp, media = (string) video, clock-rate = (int) 90000, "
                    "encoding-name = (string) MP4V-ES"));

G_DEFINE_TYPE(OrvixMp4vPay, orvix_mp4v_pay, GST_TYPE_RTP_BASE_PAYLOAD)

// The headers in front of the first group or picture of a key picture; empty
// when the picture starts with its VOP.
std::vector<uint8_t> configurationOf(const uint8_t* data, size_t size) {
    if (size < 4 || data[0] != 0 || data[1] != 0 || data[2] != 1 || data[3] == kVop || data[3] == kGroupOfVops) return {};
    for (size_t i = 4; i + 3 < size; ++i) {
        if (data[i] == 0 && data[i + 1] == 0 && data[i + 2] == 1 && (data[i + 3] == kVop || data[i + 3] == kGroupOfVops))
            return std::vector<uint8_t>(data, data + i);
    }
    return {};
}

std::string hex(const std::vector<uint8_t>& bytes) {
    static const char digits[] = "0123456789abcdef";
    std::string text;
    for (uint8_t b : bytes) {
        text += digits[b >> 4];
        text += digits[b & 0xF];
    }
    return text;
}

gboolean setCaps(GstRTPBasePayload* payload, GstCaps*) {
    gst_rtp_base_payload_set_options(payload, "video", TRUE, "MP4V-ES", 90000);
    return gst_rtp_base_payload_set_outcaps(payload, nullptr);
}

// New configuration: the caps (and so the SDP) say it.
void announce(GstRTPBasePayload* payload, const std::vector<uint8_t>& config) {
    // Simple profile level 1 unless a visual object sequence header says.
    const int profile = config.size() > 4 && config[3] == kVisualObjectSequence ? config[4] : 1;
    const std::string level = std::to_string(profile);
    const std::string text = hex(config);
    gst_rtp_base_payload_set_outcaps(payload, "profile-level-id", G_TYPE_STRING, level.c_str(), "config",
                                     G_TYPE_STRING, text.c_str(), nullptr);
}

GstFlowReturn handleBuffer(GstRTPBasePayload* payload, GstBuffer* buffer) {
    auto* self = reinterpret_cast<OrvixMp4vPay*>(payload);
    GstMapInfo map;
    if (!gst_buffer_map(buffer, &map, GST_MAP_READ)) {
        gst_buffer_unref(buffer);
        return GST_FLOW_ERROR;
    }
    std::vector<uint8_t> config = configurationOf(map.data, map.size);
    const size_t size = map.size;
    gst_buffer_unmap(buffer, &map);
    if (!config.empty() && config != *self->config) {
        *self->config = std::move(config);
        announce(payload, *self->config);
    }

    const guint room = gst_rtp_buffer_calc_payload_len(GST_RTP_BASE_PAYLOAD_MTU(payload), 0, 0);
    GstBufferList* list = gst_buffer_list_new_sized(size / room + 1);
    for (size_t offset = 0; offset < size;) {
        const size_t part = std::min<size_t>(room, size - offset);
        const bool last = offset + part == size;
        GstBuffer* packet = gst_rtp_base_payload_allocate_output_buffer(payload, 0, 0, 0);
        GstRTPBuffer rtp = GST_RTP_BUFFER_INIT;
        gst_rtp_buffer_map(packet, GST_MAP_WRITE, &rtp);
        gst_rtp_buffer_set_marker(&rtp, last);
        gst_rtp_buffer_unmap(&rtp);
        if (last) GST_BUFFER_FLAG_SET(packet, GST_BUFFER_FLAG_MARKER);
        packet = gst_buffer_append(packet, gst_buffer_copy_region(buffer, GST_BUFFER_COPY_MEMORY, offset, part));
        GST_BUFFER_PTS(packet) = GST_BUFFER_PTS(buffer);
        gst_buffer_list_add(list, packet);
        offset += part;
    }
    gst_buffer_unref(buffer);
    return gst_rtp_base_payload_push_list(payload, list);
}

void finalizePayloader(GObject* object) {
    delete reinterpret_cast<OrvixMp4vPay*>(object)->config;
    G_OBJECT_CLASS(orvix_mp4v_pay_parent_class)->finalize(object);
}

void orvix_mp4v_pay_class_init(OrvixMp4vPayClass* klass) {
    GstElementClass* element = GST_ELEMENT_CLASS(klass);
    gst_element_class_add_static_pad_template(element, &sinkTemplate);
    gst_element_class_add_static_pad_template(element, &srcTemplate);
    gst_element_class_set_static_metadata(element, "MP4V-ES payloader", "Codec/Payloader/Network/RTP",
                                          "MPEG-4 part 2 pictures as RTP packets, each as it comes", "orvix");
    GST_RTP_BASE_PAYLOAD_CLASS(klass)->set_caps = setCaps;
    GST_RTP_BASE_PAYLOAD_CLASS(klass)->handle_buffer = handleBuffer;
    G_OBJECT_CLASS(klass)->finalize = finalizePayloader;
}

void orvix_mp4v_pay_init(OrvixMp4vPay* self) { self->config = new std::vector<uint8_t>(); }

}  // namespace

GstElement* createMp4vPayloader(const char* name) {
    return GST_ELEMENT(g_object_new(orvix_mp4v_pay_get_type(), "name", name, nullptr));
}

}  // namespace orvix::bridge
