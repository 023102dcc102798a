// Decoding each format the player is asked to play, tags into media items, and
// ReplayGain from the tags.

#include "MediaTestSupport.h"

#include "media/AudioDecoder.h"
#include "media/MediaTags.h"
#include "media/ReplayGain.h"

#include <cstdlib>
#include <fstream>
#include <iterator>

namespace media::test {
namespace {

std::vector<float> decodeAll(AudioDecoder& decoder, int speed = 1)
{
    std::vector<float> out;
    while (decoder.decodeInto(out, speed)) {
    }
    return out;
}

std::vector<float> leftOf(const std::vector<float>& stereo)
{
    std::vector<float> left;
    for (std::size_t i = 0; i < stereo.size(); i += 2)
        left.push_back(stereo[i]);
    return left;
}

TEST(Decoding, EveryFormatGivesTheToneAtTheOutputRate)
{
    const auto folder = freshFolder("Decoding.EveryFormat");
    struct Case {
        const char* file;
        const char* extra;
        double lengthTolerance;   // frames; formats without gapless data may round up to a packet
    };
    const Case cases[] = {
        {"tone.mp3", "-c:a libmp3lame", 1},
        {"tone.m4a", "-c:a aac", 2048},
        {"tone.flac", "", 0},
        {"tone.ogg", "-c:a libvorbis", 256},
        {"tone.opus", "-c:a libopus", 1},
        {"tone.wav", "", 0},
        {"tone.aiff", "", 0},
        // Six channels mixed down to two; 48 kHz resampled.
        {"surround.flac", "-ac 6 -ar 48000", 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        makeTone(folder / c.file, 440, 1, c.extra);
        AudioDecoder decoder(folder / c.file, 44100);
        const std::vector<float> left = leftOf(decodeAll(decoder));
        EXPECT_NEAR(double(left.size()), 44100, c.lengthTolerance + 1);
        EXPECT_NEAR(frequencyOf(left, 4410, 39690, 44100), 440.0, 1.0);
        EXPECT_GT(rmsOf(left, 4410, 39690), 0.05);
    }
}

TEST(Decoding, FilesAreReadForWhatTheyAreWhateverTheirNameOrTheirTagsSay)
{
    const auto folder = freshFolder("Decoding.WhatTheyAre");
    makeTone(folder / "tone.flac", 440, 1);
    makeTone(folder / "tone.mp3", 440, 1, "-c:a libmp3lame");
    // An MP3 with no tag in front, starting on its first frame.
    makeTone(folder / "bare.mp3", 440, 1, "-c:a libmp3lame -id3v2_version 0");
    // FLAC behind an ID3v2 tag, named as an MP3: the tag says nothing of what follows.
    {
        std::ifstream in(folder / "tone.flac", std::ios::binary);
        const std::string flac((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        const std::string title = std::string(1, '\0') + "Tagged";   // Latin-1, then the text
        std::string frame = "TIT2" + std::string{0, 0, 0, char(title.size())} + std::string(2, '\0') + title;
        const std::string tag = "ID3" + std::string{3, 0, 0, 0, 0, 0, char(frame.size())} + frame;
        std::ofstream(folder / "tagged-flac.mp3", std::ios::binary) << tag << flac;
    }
    // An MP3 (tagged) named as Ogg, and one with a cover picture.
    std::filesystem::copy_file(folder / "tone.mp3", folder / "mp3-really.ogg");
    const std::string cover = "ffmpeg -nostdin -v error -y -i \"" + (folder / "tone.mp3").string() +
                              "\" -f lavfi -i testsrc2=s=300x300:d=1 -frames:v 1 -map 0 -map 1 -c:a copy -c:v png "
                              "-id3v2_version 3 \"" + (folder / "covered.mp3").string() + "\"";
    ASSERT_EQ(std::system(cover.c_str()), 0) << cover;
    for (const char* name : {"bare.mp3", "tagged-flac.mp3", "mp3-really.ogg", "covered.mp3"}) {
        SCOPED_TRACE(name);
        AudioDecoder decoder(folder / name, 44100);
        const std::vector<float> left = leftOf(decodeAll(decoder));
        // Without the LAME header the encoder's delay and padding stay: up to two packets more.
        EXPECT_NEAR(double(left.size()), 44100 + 1152, 1153);
        EXPECT_NEAR(frequencyOf(left, 4410, 39690, 44100), 440.0, 1.0);
    }
}

TEST(Decoding, SeeksToTheSampleAndPlaysThreeTimesFaster)
{
    const auto folder = freshFolder("Decoding.Seeks");
    makeTone(folder / "tone.flac", 441, 2);
    AudioDecoder decoder(folder / "tone.flac", 44100);
    EXPECT_NEAR(decoder.durationSeconds(), 2.0, 0.001);
    decoder.seek(1.5);
    const std::vector<float> rest = leftOf(decodeAll(decoder));
    EXPECT_EQ(rest.size(), 22050u);
    // At 1.5 s the 441 Hz tone is 661.5 periods in: a falling zero crossing, a quarter
    // period (25 frames) before its trough of -1/8.
    EXPECT_NEAR(rest[0], 0.0f, 0.002f);
    EXPECT_NEAR(rest[25], -0.125f, 0.002f);

    decoder.seek(0.25);
    const std::vector<float> fast = leftOf(decodeAll(decoder, 3));
    EXPECT_NEAR(double(fast.size()), 1.75 * 44100 / 3, 3);
    EXPECT_NEAR(frequencyOf(fast, 500, fast.size() - 500, 44100), 1323.0, 3.0);

    std::vector<float> stretch;
    decoder.decodeStretch(0.6, 1.2, 3, stretch);
    EXPECT_EQ(stretch.size() / 2, 8820u);
}

TEST(Decoding, FilesThatAreNotAudioAreRefusedWithAReason)
{
    const auto folder = freshFolder("Decoding.Refused");
    std::ofstream(folder / "empty.mp3");
    std::ofstream(folder / "text.mp3") << std::string(3000, 'x');
    const std::pair<std::filesystem::path, const char*> cases[] = {
        {folder / "nothing.flac", "no such file"},
        {folder / "empty.mp3", "empty file"},
        {folder, "is a folder"},
        {"/dev/zero", "not a regular file"},
        {folder / "text.mp3", ""},
    };
    for (const auto& [path, reason] : cases) {
        SCOPED_TRACE(path.string());
        try {
            AudioDecoder decoder(path, 44100);
            ADD_FAILURE() << "opened";
        } catch (const DecodeError& error) {
            EXPECT_NE(std::string(error.what()).find(reason), std::string::npos) << error.what();
            EXPECT_FALSE(std::string(error.what()).empty());
        }
    }
}

TEST(Tags, MakeTheMediaItem)
{
    const auto folder = freshFolder("Tags.MediaItem");
    makeTone(folder / "tagged.flac", 440, 1.5,
             "-metadata title=Nachtzug -metadata artist=\"Kassette Kollektiv\" -metadata album=Bandsalat "
             "-metadata track=3/9");
    makeTone(folder / "bare.mp3", 440, 1);
    const auto tagged = readMediaItem(folder / "tagged.flac");
    EXPECT_EQ(tagged->title, "Nachtzug");
    EXPECT_EQ(tagged->artist, "Kassette Kollektiv");
    EXPECT_EQ(tagged->albumTitle, "Bandsalat");
    EXPECT_EQ(tagged->albumTrackNumberValue(), 3);
    EXPECT_EQ(tagged->albumTrackCountValue(), 9);
    EXPECT_NEAR(tagged->playbackDurationValue(), 1.5, 0.01);
    EXPECT_EQ(tagged->location, (folder / "tagged.flac").string());

    const auto bare = readMediaItem(folder / "bare.mp3");
    EXPECT_EQ(bare->title, "bare");
    EXPECT_FALSE(bare->artist);
    EXPECT_EQ(bare->albumTrackNumberValue(), 0);

    const auto separate = mediaItemFromTags({{"TRACK", " 07"}, {"TRACKTOTAL", "12"}}, 0, "x.ogg");
    EXPECT_EQ(separate->albumTrackNumberValue(), 7);
    EXPECT_EQ(separate->albumTrackCountValue(), 12);
    EXPECT_FALSE(separate->playbackDuration);
}

TEST(ReplayGainTags, GiveAFactorThatNeverClipsThePeak)
{
    const Tags tags = {{"REPLAYGAIN_TRACK_GAIN", "-6.02 dB"}, {"REPLAYGAIN_TRACK_PEAK", "0.5"},
                       {"REPLAYGAIN_ALBUM_GAIN", "+8 dB"}, {"REPLAYGAIN_ALBUM_PEAK", "0.8"}};
    EXPECT_NEAR(replayGainFactor(tags, ReplayGainMode::Track), 0.5, 0.001);
    // +8 dB would be 2.51; the album peak of 0.8 allows 1.25.
    EXPECT_NEAR(replayGainFactor(tags, ReplayGainMode::Album), 1.25, 0.001);
    EXPECT_EQ(replayGainFactor(tags, ReplayGainMode::Off), 1.0f);
    // Album falls back to the track's gain; R128 is raised by 5 dB to ReplayGain's level.
    EXPECT_NEAR(replayGainFactor({{"REPLAYGAIN_TRACK_GAIN", "-6.02"}}, ReplayGainMode::Album), 0.5, 0.001);
    EXPECT_NEAR(replayGainFactor({{"R128_TRACK_GAIN", "-2822"}}, ReplayGainMode::Track), 0.5, 0.001);
    EXPECT_EQ(replayGainFactor({{"REPLAYGAIN_TRACK_GAIN", "loud"}}, ReplayGainMode::Track), 1.0f);
    EXPECT_EQ(replayGainModeFromName("ALBUM"), ReplayGainMode::Album);
    EXPECT_EQ(replayGainModeFromName("sideways"), ReplayGainMode::Track);
}

} // namespace
} // namespace media::test
