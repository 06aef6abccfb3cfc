#include "bridge/publisher.h"

#include <chrono>
#include <cstring>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/error.h>
}

#include "bridge/url_credentials.h"
#include "bridge/watch_result_text.h"
#include "recording/elementary_stream.h"

namespace orvix::bridge {
namespace {

constexpr int kFirstPictureWaitSeconds = 10;
constexpr int kPictureWaitSeconds = 30;
constexpr AVRational kRtpClock{1, 90000};

std::string avError(int code) {
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(code, text, sizeof text);
    return text;
}

int interruptRequested(void* flag) { return static_cast<const std::atomic<bool>*>(flag)->load() ? 1 : 0; }

// The RTSP output of one publishing attempt.
struct Output {
    AVFormatContext* format = nullptr;
    AVPacket* packet = nullptr;
    bool headerWritten = false;

    ~Output() {
        if (format != nullptr) {
            if (headerWritten) av_write_trailer(format);  // the server hears TEARDOWN
            avformat_free_context(format);
        }
        av_packet_free(&packet);
    }
};

// The picture size that a key picture's stream headers give, read by
// libavcodec's parser (nothing is decoded); 0 x 0 when they give none.
void pictureSize(AVCodecID codecId, const std::vector<uint8_t>& bytes, int& width, int& height) {
    width = height = 0;
    AVCodecParserContext* parser = av_parser_init(codecId);
    const AVCodec* codec = avcodec_find_decoder(codecId);
    AVCodecContext* context = codec != nullptr ? avcodec_alloc_context3(codec) : nullptr;
    if (parser != nullptr && context != nullptr) {
        // The parser may read a little past the end.
        std::vector<uint8_t> padded(bytes);
        padded.resize(bytes.size() + AV_INPUT_BUFFER_PADDING_SIZE, 0);
        uint8_t* out = nullptr;
        int outSize = 0;
        av_parser_parse2(parser, context, &out, &outSize, padded.data(), static_cast<int>(bytes.size()),
                         AV_NOPTS_VALUE, AV_NOPTS_VALUE, 0);
        // Flush, so that a parser waiting for the next picture finishes this one.
        av_parser_parse2(parser, context, &out, &outSize, nullptr, 0, AV_NOPTS_VALUE, AV_NOPTS_VALUE, 0);
        width = parser->width > 0 ? parser->width : context->width;
        height = parser->height > 0 ? parser->height : context->height;
    }
    avcodec_free_context(&context);
    if (parser != nullptr) av_parser_close(parser);
}

}  // namespace

Publisher::Publisher(RecorderPool& pool, std::string recorder, int channel, std::string url,
                     const std::string& password, std::chrono::milliseconds joinWait, EventLog& log)
    : pool_(pool), recorder_(std::move(recorder)), channel_(channel), joinWait_(joinWait),
      url_(redactCredentials(url)), target_(url), path_(recorder_ + "/" + std::to_string(channel + 1)), log_(log) {
    // The options were checked: the URL can take the password.
    std::string error;
    if (!password.empty()) withPassword(url, password, target_, error);
}

void Publisher::start() {
    if (thread_.joinable()) return;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stop_ = false;
    }
    interrupt_.store(false);
    thread_ = std::thread([this] { run(); });
}

void Publisher::stop() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stop_ = true;
    }
    interrupt_.store(true);
    wake_.notify_all();
    if (thread_.joinable()) thread_.join();
}

std::string Publisher::state() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return state_;
}

void Publisher::setState(const char* state) {
    std::lock_guard<std::mutex> lock(mutex_);
    state_ = state;
}

bool Publisher::stopping() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return stop_;
}

bool Publisher::offer(const FeedFrame& frame) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!frame.bytes || queuedBytes_ + frame.bytes->size() > kMaxQueuedBytes) return false;
    queue_.push_back(frame);
    queuedBytes_ += frame.bytes->size();
    wake_.notify_all();
    return true;
}

void Publisher::end() {
    std::lock_guard<std::mutex> lock(mutex_);
    ended_ = true;
    wake_.notify_all();
}

bool Publisher::nextFrame(FeedFrame& frame, int waitSeconds, bool& timedOut) {
    std::unique_lock<std::mutex> lock(mutex_);
    timedOut = !wake_.wait_for(lock, std::chrono::seconds(waitSeconds),
                               [this] { return stop_ || ended_ || !queue_.empty(); });
    if (timedOut || stop_ || queue_.empty()) return false;
    frame = std::move(queue_.front());
    queue_.pop_front();
    queuedBytes_ -= frame.bytes->size();
    return true;
}

void Publisher::run() {
    PoolHandle handle = pool_.watch(recorder_, channel_);
    const WatchResult watched = handle.waitReady(joinWait_);
    if (watched != WatchResult::Ready) {
        log_.event("publishing " + path_ + " ended: " + describe(watched));
        setState("ended");
        return;
    }
    for (;;) {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            queue_.clear();
            queuedBytes_ = 0;
            ended_ = false;
        }
        // From the next key picture on, which carries the configuration.
        handle.attachPackets(this, false);
        std::string failure;
        const Outcome outcome = publishOnce(handle.codec(), failure);
        handle.attachPackets(nullptr);
        if (outcome == Outcome::Ended) log_.event("publishing " + path_ + " ended: the recorder's connection is gone");
        if (outcome != Outcome::Failed) break;
        log_.event("publishing " + path_ + " to " + url_ + " failed: " + failure + "; again in " +
                   std::to_string(kRetrySeconds) + " s");
        setState("retrying");
        std::unique_lock<std::mutex> lock(mutex_);
        if (wake_.wait_for(lock, std::chrono::seconds(kRetrySeconds), [this] { return stop_; })) break;
    }
    setState("ended");
}

Publisher::Outcome Publisher::publishOnce(VideoCodec codec, std::string& failure) {
    FeedFrame first;
    bool timedOut = false;
    if (codec == VideoCodec::None || !nextFrame(first, kFirstPictureWaitSeconds, timedOut)) {
        if (stopping()) return Outcome::Stopped;
        failure = "no picture from the recorder";
        return timedOut ? Outcome::Failed : Outcome::Ended;
    }

    Output out;
    if (avformat_alloc_output_context2(&out.format, nullptr, "rtsp", target_.c_str()) < 0 || out.format == nullptr) {
        failure = "libavformat has no RTSP output";
        return Outcome::Failed;
    }
    out.format->interrupt_callback.callback = interruptRequested;
    out.format->interrupt_callback.opaque = &interrupt_;
    AVStream* stream = avformat_new_stream(out.format, nullptr);
    out.packet = av_packet_alloc();
    if (stream == nullptr || out.packet == nullptr) {
        failure = "out of memory";
        return Outcome::Failed;
    }
    stream->time_base = kRtpClock;
    AVCodecParameters* parameters = stream->codecpar;
    parameters->codec_type = AVMEDIA_TYPE_VIDEO;
    parameters->codec_id = codec == VideoCodec::H264 ? AV_CODEC_ID_H264 : AV_CODEC_ID_MPEG4;
    pictureSize(parameters->codec_id, *first.bytes, parameters->width, parameters->height);
    if (parameters->width <= 0 || parameters->height <= 0) {
        failure = "the first key picture gives no picture size";
        return Outcome::Failed;
    }
    // The configuration goes into the announced SDP.
    const std::vector<uint8_t> headers = streamHeaders(codec, first.bytes->data(), first.bytes->size());
    if (!headers.empty()) {
        parameters->extradata = static_cast<uint8_t*>(av_mallocz(headers.size() + AV_INPUT_BUFFER_PADDING_SIZE));
        if (parameters->extradata == nullptr) {
            failure = "out of memory";
            return Outcome::Failed;
        }
        std::memcpy(parameters->extradata, headers.data(), headers.size());
        parameters->extradata_size = static_cast<int>(headers.size());
    }
    AVDictionary* options = nullptr;
    av_dict_set(&options, "rtsp_transport", "tcp", 0);
    av_dict_set(&options, "timeout", "5000000", 0);  // socket operations, microseconds
    const int opened = avformat_write_header(out.format, &options);
    av_dict_free(&options);
    if (opened < 0) {
        if (stopping()) return Outcome::Stopped;
        failure = avError(opened);
        return Outcome::Failed;
    }
    out.headerWritten = true;
    setState("publishing");
    log_.event("publishing " + path_ + " to " + url_);

    const AVRational nanoseconds{1, 1000000000};
    const int64_t start = first.timeNs;
    FeedFrame frame = std::move(first);
    for (;;) {
        const int64_t time = av_rescale_q(frame.timeNs - start, nanoseconds, stream->time_base);
        av_packet_unref(out.packet);
        if (av_new_packet(out.packet, static_cast<int>(frame.bytes->size())) < 0) {
            failure = "out of memory";
            return Outcome::Failed;
        }
        std::memcpy(out.packet->data, frame.bytes->data(), frame.bytes->size());
        out.packet->stream_index = stream->index;
        out.packet->pts = out.packet->dts = time;
        if (frame.key) out.packet->flags |= AV_PKT_FLAG_KEY;
        const int written = av_write_frame(out.format, out.packet);
        if (written < 0) {
            if (stopping()) return Outcome::Stopped;
            failure = avError(written);
            return Outcome::Failed;
        }
        if (!nextFrame(frame, kPictureWaitSeconds, timedOut)) {
            if (stopping()) return Outcome::Stopped;
            if (timedOut) {
                failure = "no picture from the recorder";
                return Outcome::Failed;
            }
            return Outcome::Ended;
        }
    }
}

}  // namespace orvix::bridge
