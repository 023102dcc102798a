#include "AudioFileWriter.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/channel_layout.h>
#include <libavutil/opt.h>
#include <libswresample/swresample.h>
}

#include <cmath>
#include <memory>

namespace audiogen {

namespace {

std::string errorText(int code)
{
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(code, text, sizeof text);
    return text;
}

void check(int code, const std::string& what)
{
    if (code < 0)
        throw EncodeError(what + ": " + errorText(code));
}

struct FormatCloser {
    void operator()(AVFormatContext* format) const
    {
        if (format && format->pb)
            avio_closep(&format->pb);
        avformat_free_context(format);
    }
};
struct CodecCloser {
    void operator()(AVCodecContext* codec) const { avcodec_free_context(&codec); }
};
struct FrameCloser {
    void operator()(AVFrame* frame) const { av_frame_free(&frame); }
};
struct PacketCloser {
    void operator()(AVPacket* packet) const { av_packet_free(&packet); }
};
struct ResamplerCloser {
    void operator()(SwrContext* resampler) const { swr_free(&resampler); }
};

int pickSampleRate(const AVCodec* codec, int wanted)
{
    if (!codec->supported_samplerates)
        return wanted;
    int best = codec->supported_samplerates[0];
    for (const int* rate = codec->supported_samplerates; *rate; ++rate) {
        if (*rate == wanted)
            return wanted;
        if (std::abs(*rate - wanted) < std::abs(best - wanted))
            best = *rate;
    }
    return best;
}

} // namespace

Sound sineTone(double seconds, double frequencyHz, int sampleRate, int channels)
{
    Sound sound;
    sound.sampleRate = sampleRate;
    sound.channels = channels;
    const auto frames = static_cast<std::size_t>(seconds * sampleRate);
    sound.samples.resize(frames * static_cast<std::size_t>(channels));
    for (std::size_t i = 0; i < frames; ++i) {
        const float value = static_cast<float>(0.3 * std::sin(2 * M_PI * frequencyHz * double(i) / sampleRate));
        for (int c = 0; c < channels; ++c)
            sound.samples[i * static_cast<std::size_t>(channels) + static_cast<std::size_t>(c)] = value;
    }
    return sound;
}

void writeAudioFile(const std::string& path, const Sound& sound, const std::string& codecName, long bitRate)
{
    const AVCodec* codec = avcodec_find_encoder_by_name(codecName.c_str());
    if (!codec)
        throw EncodeError("no encoder \"" + codecName + "\"");

    AVFormatContext* rawFormat = nullptr;
    check(avformat_alloc_output_context2(&rawFormat, nullptr, nullptr, path.c_str()), "container for " + path);
    std::unique_ptr<AVFormatContext, FormatCloser> format(rawFormat);

    std::unique_ptr<AVCodecContext, CodecCloser> context(avcodec_alloc_context3(codec));
    context->sample_fmt = codec->sample_fmts ? codec->sample_fmts[0] : AV_SAMPLE_FMT_S16;
    context->sample_rate = pickSampleRate(codec, sound.sampleRate);
    av_channel_layout_default(&context->ch_layout, sound.channels);
    if (bitRate > 0)
        context->bit_rate = bitRate;
    context->time_base = AVRational{1, context->sample_rate};
    if (format->oformat->flags & AVFMT_GLOBALHEADER)
        context->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    context->strict_std_compliance = FF_COMPLIANCE_EXPERIMENTAL;
    check(avcodec_open2(context.get(), codec, nullptr), "opening " + codecName);

    AVStream* stream = avformat_new_stream(format.get(), nullptr);
    if (!stream)
        throw EncodeError("no stream for " + path);
    check(avcodec_parameters_from_context(stream->codecpar, context.get()), "stream parameters");
    stream->time_base = context->time_base;
    check(avio_open(&format->pb, path.c_str(), AVIO_FLAG_WRITE), "opening " + path);
    check(avformat_write_header(format.get(), nullptr), "writing the header of " + path);

    AVChannelLayout inputLayout{};
    av_channel_layout_default(&inputLayout, sound.channels);
    SwrContext* rawResampler = nullptr;
    check(swr_alloc_set_opts2(&rawResampler, &context->ch_layout, context->sample_fmt, context->sample_rate,
                              &inputLayout, AV_SAMPLE_FMT_FLT, sound.sampleRate, 0, nullptr),
          "resampler");
    std::unique_ptr<SwrContext, ResamplerCloser> resampler(rawResampler);
    check(swr_init(resampler.get()), "resampler");

    const int frameSize = context->frame_size > 0 ? context->frame_size : 1024;
    std::unique_ptr<AVFrame, FrameCloser> frame(av_frame_alloc());
    std::unique_ptr<AVPacket, PacketCloser> packet(av_packet_alloc());
    std::int64_t pts = 0;

    const auto drain = [&] {
        while (true) {
            const int got = avcodec_receive_packet(context.get(), packet.get());
            if (got == AVERROR(EAGAIN) || got == AVERROR_EOF)
                return;
            check(got, "encoding");
            av_packet_rescale_ts(packet.get(), context->time_base, stream->time_base);
            packet->stream_index = stream->index;
            check(av_interleaved_write_frame(format.get(), packet.get()), "writing " + path);
        }
    };
    const auto sendConverted = [&](const float* input, int inputFrames) {
        // Converted frames collect in the resampler until a whole codec frame is there.
        const std::uint8_t* in[1] = {reinterpret_cast<const std::uint8_t*>(input)};
        check(swr_convert(resampler.get(), nullptr, 0, input ? in : nullptr, inputFrames), "converting");
        while (swr_get_out_samples(resampler.get(), 0) >= frameSize || (!input && swr_get_out_samples(resampler.get(), 0) > 0)) {
            av_frame_unref(frame.get());
            frame->format = context->sample_fmt;
            frame->sample_rate = context->sample_rate;
            frame->nb_samples = frameSize;
            check(av_channel_layout_copy(&frame->ch_layout, &context->ch_layout), "layout");
            check(av_frame_get_buffer(frame.get(), 0), "frame");
            const int got = swr_convert(resampler.get(), frame->data, frameSize, nullptr, 0);
            check(got, "converting");
            if (got == 0)
                break;
            if (got < frameSize && !(codec->capabilities & AV_CODEC_CAP_VARIABLE_FRAME_SIZE)) {
                // The last frame of a fixed-size codec is padded with silence.
                av_samples_set_silence(frame->data, got, frameSize - got, frame->ch_layout.nb_channels,
                                       context->sample_fmt);
            } else {
                frame->nb_samples = got;
            }
            frame->pts = pts;
            pts += frame->nb_samples;
            check(avcodec_send_frame(context.get(), frame.get()), "encoding");
            drain();
        }
    };
    const std::size_t totalFrames = sound.samples.size() / static_cast<std::size_t>(sound.channels);
    for (std::size_t at = 0; at < totalFrames; at += 4096) {
        const int count = static_cast<int>(std::min<std::size_t>(4096, totalFrames - at));
        sendConverted(sound.samples.data() + at * static_cast<std::size_t>(sound.channels), count);
    }
    sendConverted(nullptr, 0);
    check(avcodec_send_frame(context.get(), nullptr), "flushing");
    drain();
    check(av_write_trailer(format.get()), "finishing " + path);
    av_channel_layout_uninit(&inputLayout);
}

} // namespace audiogen
