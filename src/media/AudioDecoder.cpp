#include "media/AudioDecoder.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/channel_layout.h>
#include <libavutil/opt.h>
#include <libswresample/swresample.h>
}

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <mutex>
#include <optional>
#include <system_error>

namespace media {

namespace {

// Decode errors in a row that end an item: a damaged stretch of a few packets is
// skipped, a file that is garbage from here on is not read to its end.
constexpr int errorsThatEndAnItem = 12;

// FFmpeg's own log would repeat, packet by packet, what the one line on stderr says.
void quietFfmpegOnce()
{
    static std::once_flag once;
    std::call_once(once, [] {
        if (!std::getenv("SPOOLORA_FFMPEG_LOG"))
            av_log_set_level(AV_LOG_QUIET);
    });
}

struct CodecContextDeleter {
    void operator()(AVCodecContext* context) const noexcept { avcodec_free_context(&context); }
};
struct SwrDeleter {
    void operator()(SwrContext* context) const noexcept { swr_free(&context); }
};
struct FrameDeleter {
    void operator()(AVFrame* frame) const noexcept { av_frame_free(&frame); }
};
struct PacketDeleter {
    void operator()(AVPacket* packet) const noexcept { av_packet_free(&packet); }
};

// The demuxer a file's first bytes name beyond doubt, or none. FFmpeg's own probe asks
// every demuxer it has (modules, images, video…), which maps in code of theirs that
// playing never needs again; a file these bytes do not settle is probed as before,
// so that one whose extension lies about its format still plays.
const AVInputFormat* formatFromLeadingBytes(const std::filesystem::path& path)
{
    unsigned char head[16] = {};
    std::ifstream in(path, std::ios::binary);
    if (!in.read(reinterpret_cast<char*>(head), sizeof head))
        return nullptr;
    const auto at = [&head](std::size_t offset, const char* text) {
        return std::memcmp(head + offset, text, std::strlen(text)) == 0;
    };
    const char* name = nullptr;
    if (at(0, "fLaC"))
        name = "flac";
    else if (at(0, "OggS"))
        name = "ogg";
    else if (at(0, "RIFF") && at(8, "WAVE"))
        name = "wav";
    else if (at(0, "FORM") && (at(8, "AIFF") || at(8, "AIFC")))
        name = "aiff";
    else if (at(4, "ftyp"))
        name = "mov";
    else if (at(0, "ID3") && head[3] >= 2 && head[3] <= 4) {
        // MPEG audio after an ID3v2 tag, but only if a frame starts right after it:
        // other formats are tagged with ID3 too.
        const std::uint32_t size = std::uint32_t(head[6] & 0x7f) << 21 | std::uint32_t(head[7] & 0x7f) << 14 |
                                   std::uint32_t(head[8] & 0x7f) << 7 | std::uint32_t(head[9] & 0x7f);
        const std::uint32_t end = 10 + size + ((head[5] & 0x10) ? 10 : 0);
        unsigned char sync[2] = {};
        if (in.seekg(end) && in.read(reinterpret_cast<char*>(sync), 2) && sync[0] == 0xff &&
            (sync[1] & 0xe0) == 0xe0 && (sync[1] & 0x06) != 0)
            name = "mp3";
    } else if (head[0] == 0xff && (head[1] & 0xe0) == 0xe0 && (head[1] & 0x06) != 0) {
        // A bare MPEG audio frame, in a file that says it is one.
        std::string extension = path.extension().string();
        std::transform(extension.begin(), extension.end(), extension.begin(),
                       [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
        if (extension == ".mp3" || extension == ".mp2" || extension == ".mpga")
            name = "mp3";
    }
    return name ? av_find_input_format(name) : nullptr;
}

} // namespace

std::string ffmpegErrorText(int code)
{
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(code, text, sizeof text);
    std::string result = text;
    if (!result.empty())
        result[0] = static_cast<char>(std::tolower(static_cast<unsigned char>(result[0])));
    return result;
}

void FormatContextDeleter::operator()(AVFormatContext* context) const noexcept
{
    avformat_close_input(&context);
}

FormatContextPtr openAudioFile(const std::filesystem::path& path)
{
    quietFfmpegOnce();
    std::error_code error;
    const auto status = std::filesystem::status(path, error);
    if (error || !std::filesystem::exists(status))
        throw DecodeError("no such file");
    if (std::filesystem::is_directory(status))
        throw DecodeError("is a folder");
    if (!std::filesystem::is_regular_file(status))
        throw DecodeError("not a regular file");
    if (std::filesystem::file_size(path, error) == 0 && !error)
        throw DecodeError("empty file");

    AVFormatContext* raw = nullptr;
    const AVInputFormat* known = formatFromLeadingBytes(path);
    int code = avformat_open_input(&raw, path.c_str(), known, nullptr);
    if (code < 0 && known) {
        raw = nullptr;
        code = avformat_open_input(&raw, path.c_str(), nullptr, nullptr);
    }
    if (code < 0) {
        // FFmpeg says "invalid argument" for data no demuxer recognises.
        if (code == AVERROR(EINVAL) || code == AVERROR_INVALIDDATA)
            throw DecodeError("not audio that FFmpeg can read");
        throw DecodeError(ffmpegErrorText(code));
    }
    FormatContextPtr format(raw);
    if (const int found = avformat_find_stream_info(format.get(), nullptr); found < 0)
        throw DecodeError(ffmpegErrorText(found));
    return format;
}

Tags readTags(AVFormatContext& format, int streamIndex)
{
    Tags tags;
    auto take = [&tags](const AVDictionary* dictionary) {
        const AVDictionaryEntry* entry = nullptr;
        while ((entry = av_dict_get(dictionary, "", entry, AV_DICT_IGNORE_SUFFIX))) {
            std::string key = entry->key;
            std::transform(key.begin(), key.end(), key.begin(),
                           [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
            tags[key] = entry->value;
        }
    };
    take(format.metadata);
    if (streamIndex >= 0 && static_cast<unsigned>(streamIndex) < format.nb_streams)
        take(format.streams[streamIndex]->metadata);
    return tags;
}

struct AudioDecoder::Impl {
    FormatContextPtr format;
    AVStream* stream = nullptr;
    int streamIndex = -1;
    std::unique_ptr<AVCodecContext, CodecContextDeleter> codec;
    std::unique_ptr<AVFrame, FrameDeleter> frame{av_frame_alloc()};
    std::unique_ptr<AVPacket, PacketDeleter> packet{av_packet_alloc()};
    std::unique_ptr<SwrContext, SwrDeleter> swr;
    int swrSpeed = 0;
    int outputRate = 0;
    std::int64_t startPts = 0;
    std::string fileName;

    bool inputEnded = false;
    bool drained = false;
    int errorsInARow = 0;
    bool reportedErrors = false;
    // After a seek: frames before this source position are dropped.
    std::optional<double> discardBefore;

    void resetSwr() { swr.reset(); swrSpeed = 0; }

    SwrContext* swrFor(const AVFrame& source, int speed)
    {
        if (swr && swrSpeed == speed)
            return swr.get();
        AVChannelLayout stereo = AV_CHANNEL_LAYOUT_STEREO;
        AVChannelLayout in;
        if (source.ch_layout.order == AV_CHANNEL_ORDER_UNSPEC || source.ch_layout.nb_channels <= 0)
            av_channel_layout_default(&in, std::max(1, source.ch_layout.nb_channels));
        else
            av_channel_layout_copy(&in, &source.ch_layout);
        SwrContext* raw = nullptr;
        // Three times the speed and pitch: the source's rate goes in as a third of the
        // output's, so every output second carries three source seconds.
        const int code = swr_alloc_set_opts2(&raw, &stereo, AV_SAMPLE_FMT_FLT, outputRate / speed, &in,
                                             static_cast<AVSampleFormat>(source.format), source.sample_rate, 0,
                                             nullptr);
        // Mono goes to both sides at its full level, as the same recording in stereo would.
        if (code >= 0 && raw && in.nb_channels == 1) {
            const double bothSides[2] = {1.0, 1.0};
            swr_set_matrix(raw, bothSides, 1);
        }
        av_channel_layout_uninit(&in);
        if (code < 0 || !raw || swr_init(raw) < 0) {
            swr_free(&raw);
            throw DecodeError("cannot convert its samples");
        }
        swr.reset(raw);
        swrSpeed = speed;
        return raw;
    }

    // Converts the decoded frame, after dropping what lies before a seek's target.
    void convert(int speed, std::vector<float>& out)
    {
        AVFrame& f = *frame;
        int skip = 0;
        if (discardBefore) {
            const std::int64_t pts = f.best_effort_timestamp;
            if (pts != AV_NOPTS_VALUE && f.sample_rate > 0) {
                const double start = double(pts - startPts) * av_q2d(stream->time_base);
                const double end = start + double(f.nb_samples) / f.sample_rate;
                if (end <= *discardBefore)
                    return;
                skip = static_cast<int>(std::lround((*discardBefore - start) * f.sample_rate));
                skip = std::clamp(skip, 0, f.nb_samples);
            }
            discardBefore.reset();
        }
        const int count = f.nb_samples - skip;
        if (count <= 0)
            return;
        SwrContext* context = swrFor(f, speed);
        const uint8_t* planes[AV_NUM_DATA_POINTERS] = {};
        const int bytes = av_get_bytes_per_sample(static_cast<AVSampleFormat>(f.format));
        const bool planar = av_sample_fmt_is_planar(static_cast<AVSampleFormat>(f.format));
        const int channels = f.ch_layout.nb_channels;
        for (int plane = 0; plane < (planar ? std::min(channels, AV_NUM_DATA_POINTERS) : 1); ++plane)
            planes[plane] = f.extended_data[plane] + std::size_t(skip) * bytes * (planar ? 1 : channels);
        appendConverted(context, planes, count, out);
    }

    void appendConverted(SwrContext* context, const uint8_t** planes, int count, std::vector<float>& out)
    {
        const int room = swr_get_out_samples(context, count);
        if (room <= 0)
            return;
        const std::size_t before = out.size();
        out.resize(before + std::size_t(room) * 2);
        uint8_t* target = reinterpret_cast<uint8_t*>(out.data() + before);
        const int made = swr_convert(context, &target, room, planes, count);
        out.resize(before + std::size_t(std::max(made, 0)) * 2);
    }

    void drainSwr(std::vector<float>& out)
    {
        if (swr)
            appendConverted(swr.get(), nullptr, 0, out);
        resetSwr();
    }

    void noteError()
    {
        ++errorsInARow;
        if (errorsInARow < errorsThatEndAnItem)
            return;
        if (!reportedErrors)
            std::fprintf(stderr, "spoolora: cannot decode \"%s\" past a run of errors: ending it early\n",
                         fileName.c_str());
        reportedErrors = true;
        inputEnded = true;
        drained = true;
    }
};

AudioDecoder::AudioDecoder(const std::filesystem::path& path, int outputRate) : impl_(std::make_unique<Impl>())
{
    Impl& d = *impl_;
    d.fileName = path.filename().string();
    d.outputRate = outputRate;
    d.format = openAudioFile(path);
    const AVCodec* decoder = nullptr;
    d.streamIndex = av_find_best_stream(d.format.get(), AVMEDIA_TYPE_AUDIO, -1, -1, &decoder, 0);
    if (d.streamIndex < 0 || !decoder)
        throw DecodeError(d.streamIndex == AVERROR_DECODER_NOT_FOUND ? "no decoder for its audio" : "no audio in it");
    d.stream = d.format->streams[d.streamIndex];
    for (unsigned i = 0; i < d.format->nb_streams; ++i) {
        if (int(i) == d.streamIndex)
            continue;
        d.format->streams[i]->discard = AVDISCARD_ALL;
        // A cover picture (megabytes, often) would otherwise be held for as long as the item plays.
        av_packet_unref(&d.format->streams[i]->attached_pic);
    }
    d.codec.reset(avcodec_alloc_context3(decoder));
    if (!d.codec)
        throw DecodeError("out of memory");
    if (avcodec_parameters_to_context(d.codec.get(), d.stream->codecpar) < 0 ||
        avcodec_open2(d.codec.get(), decoder, nullptr) < 0)
        throw DecodeError("cannot open its decoder");
    if (!d.frame || !d.packet)
        throw DecodeError("out of memory");
    d.startPts = d.stream->start_time != AV_NOPTS_VALUE ? d.stream->start_time : 0;

    if (d.stream->duration != AV_NOPTS_VALUE && d.stream->duration > 0)
        duration_ = double(d.stream->duration) * av_q2d(d.stream->time_base);
    else if (d.format->duration != AV_NOPTS_VALUE && d.format->duration > 0)
        duration_ = double(d.format->duration) / AV_TIME_BASE;
    tags_ = readTags(*d.format, d.streamIndex);
}

AudioDecoder::~AudioDecoder() = default;

void AudioDecoder::seek(double seconds)
{
    Impl& d = *impl_;
    const double target = std::isfinite(seconds) ? std::max(0.0, seconds) : 0.0;
    const double base = av_q2d(d.stream->time_base);
    const auto timestamp = static_cast<std::int64_t>(std::floor(target / base)) + d.startPts;
    int code = av_seek_frame(d.format.get(), d.streamIndex, timestamp, AVSEEK_FLAG_BACKWARD);
    if (code < 0)
        code = avformat_seek_file(d.format.get(), d.streamIndex, INT64_MIN, timestamp, timestamp, 0);
    if (code < 0)
        throw DecodeError("cannot seek in it: " + ffmpegErrorText(code));
    avcodec_flush_buffers(d.codec.get());
    d.resetSwr();
    d.inputEnded = false;
    d.drained = false;
    d.errorsInARow = 0;
    d.discardBefore = target;
}

bool AudioDecoder::decodeInto(std::vector<float>& out, int speed)
{
    Impl& d = *impl_;
    if (d.swr && d.swrSpeed != speed)
        d.resetSwr();
    const std::size_t before = out.size();
    while (!d.drained) {
        const int received = avcodec_receive_frame(d.codec.get(), d.frame.get());
        if (received == 0) {
            d.errorsInARow = 0;
            d.convert(speed, out);
            av_frame_unref(d.frame.get());
            if (out.size() > before)
                return true;
            continue;
        }
        if (received == AVERROR_EOF) {
            d.drained = true;
            break;
        }
        if (received != AVERROR(EAGAIN)) {
            d.noteError();
            continue;
        }
        if (d.inputEnded) {
            // The decoder wants more input after being told there is none: it is stuck.
            d.drained = true;
            break;
        }
        const int read = av_read_frame(d.format.get(), d.packet.get());
        if (read < 0) {
            // The end, or a read error that a truncated file gives: either way no more input.
            d.inputEnded = true;
            avcodec_send_packet(d.codec.get(), nullptr);
            continue;
        }
        if (d.packet->stream_index == d.streamIndex) {
            const int sent = avcodec_send_packet(d.codec.get(), d.packet.get());
            if (sent < 0 && sent != AVERROR(EAGAIN))
                d.noteError();
        }
        av_packet_unref(d.packet.get());
    }
    d.drainSwr(out);
    return out.size() > before;
}

void AudioDecoder::decodeStretch(double fromSeconds, double toSeconds, int speed, std::vector<float>& out)
{
    seek(fromSeconds);
    const std::size_t before = out.size();
    const auto wanted = static_cast<std::size_t>(
        std::max(0.0, std::round((toSeconds - std::max(0.0, fromSeconds)) * impl_->outputRate / speed)));
    while ((out.size() - before) / 2 < wanted && decodeInto(out, speed)) {
    }
    out.resize(before + std::min((out.size() - before) / 2, wanted) * 2);
}

} // namespace media
