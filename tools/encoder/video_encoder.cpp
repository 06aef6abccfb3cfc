#include "tools/encoder/video_encoder.h"

#include <algorithm>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/error.h>
#include <libavutil/frame.h>
#include <libavutil/opt.h>
#include <libswscale/swscale.h>
}

#include "media/parameter_sets.h"
#include "tools/encoder/h264_bitstream.h"

namespace orvix::media {
namespace {

constexpr int kNalSlice = 1;
constexpr int kNalIdrSlice = 5;
constexpr int kNalSps = 7;
constexpr int kNalPps = 8;

std::string avError(int code) {
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(code, text, sizeof text);
    return text;
}

const char* checkSettings(const EncoderSettings& s) {
    if (s.width < 16 || s.width > 4096 || s.height < 16 || s.height > 4096 || s.width % 2 || s.height % 2)
        return "picture size must be even and within 16..4096";
    if (s.framesPerSecond < 1 || s.framesPerSecond > 240) return "frame rate must be within 1..240";
    if (s.keyInterval < 1 || s.keyInterval > 100000) return "key interval must be within 1..100000";
    if (s.bitRate < 10000 || s.bitRate > 100000000) return "bit rate must be within 10000..100000000";
    if (!s.fixedParameterSets) return nullptr;
    if (s.codec != Codec::H264) return "fixed parameter sets need H.264";
    const RawParameterSet* set = rawParameterSet(s.videoStandardBit, s.resolutionCode);
    if (set == nullptr) return "no fixed parameter set for this video standard and resolution code";
    if (set->width != s.width || set->height != s.height) return "picture size differs from the fixed set";
    return nullptr;
}

// The first SPS and PPS of an Annex B stream: as NAL units (escaped, without
// start code) and parsed.
struct ParameterSetPair {
    std::vector<uint8_t> spsNal, ppsNal;
    SequenceParameterSet sps;
    PictureParameterSet pps;
};

bool parseParameterSets(const uint8_t* data, size_t size, ParameterSetPair& pair, std::string& reason) {
    for (const NalUnitSpan& unit : splitAnnexB(data, size)) {
        if (unit.type() == kNalSps && pair.spsNal.empty()) pair.spsNal.assign(unit.data, unit.data + unit.size);
        if (unit.type() == kNalPps && pair.ppsNal.empty()) pair.ppsNal.assign(unit.data, unit.data + unit.size);
    }
    if (pair.spsNal.size() < 2 || pair.ppsNal.size() < 2) {
        reason = "no SPS and PPS";
        return false;
    }
    const std::vector<uint8_t> spsRbsp = unescapeRbsp(pair.spsNal.data() + 1, pair.spsNal.size() - 1);
    const std::vector<uint8_t> ppsRbsp = unescapeRbsp(pair.ppsNal.data() + 1, pair.ppsNal.size() - 1);
    std::string problem;
    const auto sps = parseSequenceParameterSet(spsRbsp.data(), spsRbsp.size(), &problem);
    if (!sps) {
        reason = "SPS: " + problem;
        return false;
    }
    const auto pps = parsePictureParameterSet(ppsRbsp.data(), ppsRbsp.size(), &problem);
    if (!pps) {
        reason = "PPS: " + problem;
        return false;
    }
    pair.sps = *sps;
    pair.pps = *pps;
    return true;
}

bool parseFixedSet(const EncoderSettings& settings, ParameterSetPair& pair, std::string& reason) {
    const RawParameterSet* set = rawParameterSet(settings.videoStandardBit, settings.resolutionCode);
    if (set == nullptr) {
        reason = "no fixed parameter set";
        return false;
    }
    if (!parseParameterSets(set->bytes, set->length, pair, reason)) {
        reason = "fixed set: " + reason;
        return false;
    }
    return true;
}

}  // namespace

VideoEncoder::~VideoEncoder() { close(); }

bool VideoEncoder::fail(const std::string& reason, std::string* error) {
    error_ = reason;
    if (error) *error = reason;
    return false;
}

bool VideoEncoder::closeAndFail(const std::string& reason, std::string* error) {
    close();
    return fail(reason, error);
}

bool VideoEncoder::open(const EncoderSettings& settings, std::string* error) {
    close();
    error_.clear();
    if (const char* problem = checkSettings(settings)) return fail(problem, error);
    settings_ = settings;

    const bool h264 = settings.codec == Codec::H264;
    const char* encoderName = h264 ? "libx264" : "mpeg4";
    const AVCodec* codec = avcodec_find_encoder_by_name(encoderName);
    if (codec == nullptr) return fail(std::string("encoder ") + encoderName + " is not available", error);

    context_ = avcodec_alloc_context3(codec);
    if (context_ == nullptr) return fail("out of memory", error);
    context_->width = settings.width;
    context_->height = settings.height;
    context_->pix_fmt = AV_PIX_FMT_YUV420P;
    context_->time_base = AVRational{1, settings.framesPerSecond};
    context_->framerate = AVRational{settings.framesPerSecond, 1};
    context_->gop_size = settings.keyInterval;
    context_->max_b_frames = 0;
    context_->bit_rate = settings.bitRate;
    // One thread: frame threads would delay pictures, slice threads would cut
    // them into several slices.
    context_->thread_count = 1;

    if (h264) {
        context_->keyint_min = settings.keyInterval;
        context_->refs = 1;
        // Baseline without look-ahead, B-pictures, scene cuts or variable frame
        // rate input (each of which holds pictures back): every picture comes
        // out at once and key pictures follow the interval (or a request).
        std::string params = "bframes=0:rc-lookahead=0:sync-lookahead=0:mbtree=0:sliced-threads=0:threads=1"
                             ":slices=1:scenecut=0:open-gop=0:aud=0:intra-refresh=0:weightp=0:8x8dct=0"
                             ":cabac=0:nal-hrd=none:annexb=1:force-cfr=1";
        params += ":keyint=" + std::to_string(settings.keyInterval);
        params += ":min-keyint=" + std::to_string(settings.keyInterval);
        if (settings.fixedParameterSets) {
            // Match what decides how the slices decode under the fixed set.
            // psy is off because x264 lowers the chroma offset when it is on.
            ParameterSetPair fixed;
            std::string reason;
            if (!parseFixedSet(settings, fixed, reason)) return closeAndFail(reason, error);
            params += ":ref=" + std::to_string(fixed.sps.maxNumRefFrames);
            params += ":chroma-qp-offset=" + std::to_string(fixed.pps.chromaQpIndexOffset);
            params += fixed.pps.constrainedIntraPred ? ":constrained-intra=1" : ":constrained-intra=0";
            params += ":psy=0:deblock=0,0";
            // The parameter sets go to the extradata, where open() checks them.
            context_->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
        }
        av_opt_set(context_->priv_data, "preset", "veryfast", 0);
        av_opt_set(context_->priv_data, "profile", "baseline", 0);
        av_opt_set_int(context_->priv_data, "forced-idr", 1, 0);
        av_opt_set(context_->priv_data, "x264-params", params.c_str(), 0);
    }

    const int opened = avcodec_open2(context_, codec, nullptr);
    if (opened < 0) {
        return closeAndFail(std::string("cannot open ") + encoderName + ": " + avError(opened), error);
    }
    if (settings.fixedParameterSets && !configureRewriter(error)) return closeAndFail(error_, error);

    frame_ = av_frame_alloc();
    packet_ = av_packet_alloc();
    if (frame_ == nullptr || packet_ == nullptr) return closeAndFail("out of memory", error);
    frame_->format = AV_PIX_FMT_YUV420P;
    frame_->width = settings.width;
    frame_->height = settings.height;
    if (av_frame_get_buffer(frame_, 0) < 0) return closeAndFail("out of memory", error);
    scaler_ = sws_getContext(settings.width, settings.height, AV_PIX_FMT_BGR0, settings.width, settings.height,
                             AV_PIX_FMT_YUV420P, SWS_BILINEAR, nullptr, nullptr, nullptr);
    if (scaler_ == nullptr) return closeAndFail("cannot create the pixel converter", error);
    nextPts_ = 0;
    keyRequested_ = false;
    return true;
}

bool VideoEncoder::configureRewriter(std::string* error) {
    if (context_->extradata == nullptr || context_->extradata_size <= 0)
        return fail("encoder gave no parameter sets", error);
    ParameterSetPair source, target;
    std::string reason;
    if (!parseParameterSets(context_->extradata, static_cast<size_t>(context_->extradata_size), source, reason))
        return fail("encoder " + reason, error);
    if (!parseFixedSet(settings_, target, reason)) return fail(reason, error);
    if (!rewriter_.configure(source.sps, source.pps, target.sps, target.pps, &reason))
        return fail("encoder output cannot use the fixed parameter set: " + reason, error);
    sourceSps_ = source.spsNal;
    sourcePps_ = source.ppsNal;
    encoderHeaders_.clear();
    for (const std::vector<uint8_t>* unit : {&sourceSps_, &sourcePps_}) {
        encoderHeaders_.insert(encoderHeaders_.end(), {0, 0, 0, 1});
        encoderHeaders_.insert(encoderHeaders_.end(), unit->begin(), unit->end());
    }
    return true;
}

void VideoEncoder::close() {
    sws_freeContext(scaler_);
    scaler_ = nullptr;
    av_packet_free(&packet_);
    av_frame_free(&frame_);
    avcodec_free_context(&context_);
    sourceSps_.clear();
    sourcePps_.clear();
    encoderBytes_.clear();
    encoderHeaders_.clear();
    rewriter_.reset();
}

void VideoEncoder::requestKeyPicture() { keyRequested_ = true; }

bool VideoEncoder::encode(const uint8_t* bgrx, int stride, EncodedPicture& out) {
    out.bytes.clear();
    out.key = false;
    encoderBytes_.clear();
    if (context_ == nullptr) return fail("encoder is not open");
    if (bgrx == nullptr || stride < settings_.width * 4) return fail("bad picture");
    if (av_frame_make_writable(frame_) < 0) return fail("out of memory");

    const uint8_t* sourcePlanes[1] = {bgrx};
    const int sourceStrides[1] = {stride};
    sws_scale(scaler_, sourcePlanes, sourceStrides, 0, settings_.height, frame_->data, frame_->linesize);
    frame_->pts = nextPts_++;
    frame_->pict_type = keyRequested_.exchange(false) ? AV_PICTURE_TYPE_I : AV_PICTURE_TYPE_NONE;

    int result = avcodec_send_frame(context_, frame_);
    if (result < 0) {
        keyRequested_ = true;
        return fail("encoder refused the picture: " + avError(result));
    }
    result = avcodec_receive_packet(context_, packet_);
    if (result < 0) {
        keyRequested_ = true;
        return fail(result == AVERROR(EAGAIN) ? "encoder held the picture back" : "encoding failed: " + avError(result));
    }
    encoderBytes_.assign(packet_->data, packet_->data + packet_->size);
    out.key = (packet_->flags & AV_PKT_FLAG_KEY) != 0;
    av_packet_unref(packet_);
    if (avcodec_receive_packet(context_, packet_) == 0) {
        av_packet_unref(packet_);
        keyRequested_ = true;
        return fail("encoder gave more than one picture");
    }

    if (!settings_.fixedParameterSets) {
        out.bytes = encoderBytes_;
        return true;
    }
    if (!rewritePacket(out)) {
        // Start over cleanly at the next key picture.
        out.bytes.clear();
        out.key = false;
        rewriter_.reset();
        keyRequested_ = true;
        return false;
    }
    return true;
}

bool VideoEncoder::rewritePacket(EncodedPicture& out) {
    bool sawSlice = false;
    bool idr = false;
    std::string reason;
    for (const NalUnitSpan& unit : splitAnnexB(encoderBytes_.data(), encoderBytes_.size())) {
        const int type = unit.type();
        if (type == kNalSlice || type == kNalIdrSlice) {
            if (sawSlice && idr != (type == kNalIdrSlice)) return fail("picture mixes IDR and other slices");
            idr = type == kNalIdrSlice;
            sawSlice = true;
            if (!rewriter_.rewrite(unit.data, unit.size, out.bytes, &reason)) return fail("slice: " + reason);
        } else if (type == kNalSps || type == kNalPps) {
            // Repeated parameter sets are dropped, but only if they are the checked ones.
            const std::vector<uint8_t>& known = type == kNalSps ? sourceSps_ : sourcePps_;
            if (unit.size != known.size() || !std::equal(known.begin(), known.end(), unit.data))
                return fail("encoder changed its parameter sets");
        } else if (type >= 2 && type <= 4) {
            return fail("partitioned slices are not supported");
        }
        // SEI, delimiters and filler are dropped.
    }
    if (!sawSlice) return fail("encoder gave no slice");
    out.key = idr;
    return true;
}

}  // namespace orvix::media
