// The real player against SDL's disk driver: what the listener would hear, checked
// sample by sample, and what the player reports meanwhile.

#include "MediaTestSupport.h"

#include <sys/stat.h>

#include <algorithm>
#include <cmath>
#include <fstream>
#include <thread>

namespace media::test {
namespace {

using namespace platform::PlaybackState;
constexpr double rate = 44100;

class PlayerSound : public PlayerTest {};

TEST_F(PlayerSound, ToneComesOutAtItsFrequencyAndThePlayerStopsAtTheEnd)
{
    // 48 kHz stereo source on a 44.1 kHz device: resampled, same pitch.
    makeAudio(folder / "a.flac", "sine=frequency=440:sample_rate=48000:duration=1", "-ac 2");
    makePlayer();
    setQueue({folder / "a.flac"});
    player->play();
    ASSERT_TRUE(pumpUntil([&] { return player->currentPlaybackTime() > 0.3; }, 2.0));
    EXPECT_EQ(player->playbackState(), Playing);
    EXPECT_EQ(player->indexOfNowPlayingItem(), 0u);
    EXPECT_LT(player->currentPlaybackTime(), 0.45);   // moving at real speed, not ahead
    ASSERT_TRUE(pumpUntil([&] { return player->playbackState() == Stopped; }, 2.0));
    EXPECT_EQ(player->indexOfNowPlayingItem(), platform::NotFound);
    EXPECT_EQ(player->nowPlayingItem(), nullptr);

    const Recording out = finishRecording();
    const std::size_t start = out.firstSound();
    // One second of sound, within a millisecond.
    EXPECT_NEAR(double(out.endOfSound() - start), rate, rate / 1000);
    EXPECT_NEAR(frequencyOf(out.left, start + 4410, start + 39690, rate), 440.0, 1.0);
}

TEST_F(PlayerSound, PauseThenPlayResumesAtTheSameSample)
{
    makeTone(folder / "a.flac", 441, 1);   // a period of exactly 100 frames
    makePlayer();
    setQueue({folder / "a.flac"});
    player->play();
    pump(0.3);
    player->pause();
    EXPECT_EQ(player->playbackState(), Paused);
    pump(0.1);
    const double pausedAt = player->currentPlaybackTime();
    // Once faded out, the device is paused: nothing calls the engine while nothing plays.
    ASSERT_TRUE(pumpUntil([&] { return player->output().isParked(); }, 2.0));
    pump(0.1);
    EXPECT_DOUBLE_EQ(player->currentPlaybackTime(), pausedAt);
    player->play();
    EXPECT_FALSE(player->output().isParked());
    ASSERT_TRUE(pumpUntil([&] { return player->playbackState() == Stopped; }, 2.0));

    // Without the silence of the pause the tone runs on without a frame lost or repeated:
    // every period between upward zero crossings is 100 frames.
    const Recording out = finishRecording();
    const std::vector<float> sound = soundWithoutPauses(out);
    EXPECT_NEAR(double(sound.size()), rate, 2);
    std::vector<std::size_t> crossings;
    for (std::size_t i = 1; i < sound.size(); ++i)
        if (sound[i - 1] < 0 && sound[i] >= 0)
            crossings.push_back(i);
    ASSERT_GT(crossings.size(), 400u);
    for (std::size_t i = 1; i < crossings.size(); ++i)
        ASSERT_NEAR(double(crossings[i] - crossings[i - 1]), 100.0, 1.0) << "at crossing " << i;
}

TEST_F(PlayerSound, PausedLongTheDeviceIsClosedAndPlayReopensItAtTheNextSample)
{
    makeTone(folder / "a.flac", 441, 1.5);   // a period of exactly 100 frames
    makePlayer();
    setQueue({folder / "a.flac"});
    player->play();
    pump(0.3);
    player->pause();
    ASSERT_TRUE(pumpUntil([&] { return player->output().isReleased(); }, 10.0));
    const double pausedAt = player->currentPlaybackTime();
    EXPECT_EQ(player->playbackState(), Paused);   // closed on purpose, not lost
    player->play();
    EXPECT_FALSE(player->output().isParked());
    ASSERT_TRUE(pumpUntil([&] { return player->playbackState() == Stopped; }, 3.0));

    // The disk driver starts its file afresh when the device opens again: what it holds
    // is the rest of the tone, from the frame after the last one heard before the pause.
    const std::vector<float> sound = soundWithoutPauses(finishRecording());
    const auto next = static_cast<std::size_t>(std::lround(pausedAt * rate));
    EXPECT_NEAR(double(sound.size()), 1.5 * rate - double(next), 2);
    std::vector<std::size_t> crossings;
    for (std::size_t i = 1; i < sound.size(); ++i)
        if (sound[i - 1] < 0 && sound[i] >= 0)
            crossings.push_back(i);
    ASSERT_GT(crossings.size(), 100u);
    // The tone rises through 0 at every multiple of 100 source frames.
    EXPECT_EQ((next + crossings[0]) % 100, 0u) << "resumed at source frame " << next;
    for (std::size_t i = 1; i < crossings.size(); ++i)
        ASSERT_NEAR(double(crossings[i] - crossings[i - 1]), 100.0, 1.0) << "at crossing " << i;
}

TEST_F(PlayerSound, ItemsJoinWithoutAGapIncludingMp3WithItsEncoderDelay)
{
    makeTone(folder / "a.flac", 440, 0.4);
    makeTone(folder / "b.mp3", 660, 0.4, "-c:a libmp3lame -b:a 192k");
    makeTone(folder / "c.flac", 440, 0.4);
    makePlayer();
    setQueue({folder / "a.flac", folder / "b.mp3", folder / "c.flac"});
    player->play();
    ASSERT_TRUE(pumpUntil([&] { return player->playbackState() == Stopped; }, 3.0));

    const Recording out = finishRecording();
    const std::size_t start = out.firstSound(), end = out.endOfSound();
    EXPECT_NEAR(double(end - start), 3 * 0.4 * rate, rate / 1000);
    // No stretch of near-silence inside: a gap of even a few milliseconds would show.
    std::size_t quietRun = 0, longestQuietRun = 0;
    for (std::size_t i = start + 441; i < end; ++i) {   // after play's fade-in
        quietRun = std::abs(out.left[i]) < 1e-3f ? quietRun + 1 : 0;
        longestQuietRun = std::max(longestQuietRun, quietRun);
    }
    EXPECT_LE(longestQuietRun, 3u);
    EXPECT_NEAR(frequencyOf(out.left, start + 17640 + 2000, start + 35280 - 2000, rate), 660.0, 2.0);
}

class PlayerSeeking : public PlayerTest {};

TEST_F(PlayerSeeking, CueRunsThreeTimesFasterHigherAndQuieterThenPlaysOn)
{
    makeTone(folder / "long.flac", 440, 12);
    makePlayer();
    setQueue({folder / "long.flac"});
    player->play();
    pump(0.5);
    player->beginSeekingForward();
    EXPECT_EQ(player->playbackState(), SeekingForward);
    // From the moment the cue is heard (a loaded machine may take a moment to start it).
    const double start = player->currentPlaybackTime();
    ASSERT_TRUE(pumpUntil([&] { return player->currentPlaybackTime() > start + 0.01; }, 1.0));
    const double before = player->currentPlaybackTime();
    pump(2.0);
    const double moved = player->currentPlaybackTime() - before;
    EXPECT_NEAR(moved, 6.0, 0.35);
    player->endSeeking();
    EXPECT_EQ(player->playbackState(), Playing);
    const double resumedAt = player->currentPlaybackTime();
    EXPECT_NEAR(resumedAt, before + moved, 0.1);
    pump(0.5);
    EXPECT_NEAR(player->currentPlaybackTime() - resumedAt, 0.5, 0.1);

    // Windows of 4096 frames: count those at three times the pitch, and compare levels.
    const Recording out = finishRecording();
    int cueWindows = 0;
    double cueLevel = 0, playLevel = 0;
    for (std::size_t at = out.firstSound(); at + 4096 < out.endOfSound(); at += 4096) {
        const double hertz = frequencyOf(out.left, at, at + 4096, rate);
        if (std::abs(hertz - 1320) < 15) {
            ++cueWindows;
            cueLevel = rmsOf(out.left, at, at + 4096);
        } else if (std::abs(hertz - 440) < 5) {
            playLevel = rmsOf(out.left, at, at + 4096);
        }
    }
    EXPECT_NEAR(cueWindows * 4096 / rate, 2.0, 0.3);
    ASSERT_GT(playLevel, 0);
    EXPECT_NEAR(20 * std::log10(cueLevel / playLevel), -12.0, 1.0);
}

TEST_F(PlayerSeeking, CueGoesOnIntoTheNextItem)
{
    makeTone(folder / "a.flac", 440, 4);
    makeTone(folder / "b.flac", 660, 4);
    makePlayer();
    setQueue({folder / "a.flac", folder / "b.flac"});
    int itemChanges = 0;
    center.addObserver(this, platform::NowPlayingItemDidChangeNotification, player.get(),
                       [&](const platform::Notification&) { ++itemChanges; });
    player->beginGeneratingPlaybackNotifications();
    player->play();
    pump(0.2);
    player->beginSeekingForward();
    ASSERT_TRUE(pumpUntil([&] { return player->indexOfNowPlayingItem() == 1; }, 2.5));
    EXPECT_EQ(itemChanges, 1);
    EXPECT_LT(player->currentPlaybackTime(), 1.0);
    player->endSeeking();
    EXPECT_EQ(player->playbackState(), Playing);
    EXPECT_EQ(player->indexOfNowPlayingItem(), 1u);
    center.removeObserver(this);
}

TEST_F(PlayerSeeking, ReviewPlaysBackwardsAndStopsAtTheStart)
{
    // The pitch rises with time (300 Hz + 100 Hz a second), so backwards it falls.
    makeAudio(folder / "chirp.flac", "aevalsrc=0.2*sin(2*PI*(300*t+50*t*t)):s=44100:d=4");
    makePlayer();
    setQueue({folder / "chirp.flac"});
    player->play();
    ASSERT_TRUE(pumpUntil([&] { return player->currentPlaybackTime() > 0.1; }, 2.0));
    player->pause();
    pump(0.05);
    player->endSeeking();   // not seeking: nothing happens
    EXPECT_EQ(player->playbackState(), Paused);

    // From 3 s back: 0.5 s of review is 1.5 s of music.
    player->beginSeekingForward();
    ASSERT_TRUE(pumpUntil([&] { return player->currentPlaybackTime() > 2.9; }, 2.0));
    player->beginSeekingBackward();
    EXPECT_EQ(player->playbackState(), SeekingBackward);
    const double start = player->currentPlaybackTime();
    ASSERT_TRUE(pumpUntil([&] { return player->currentPlaybackTime() < start - 0.01; }, 1.0));
    const double from = player->currentPlaybackTime();
    pump(0.5);
    EXPECT_NEAR(from - player->currentPlaybackTime(), 1.5, 0.25);
    pump(1.2);
    EXPECT_EQ(player->currentPlaybackTime(), 0.0);
    EXPECT_EQ(player->playbackState(), SeekingBackward);
    player->endSeeking();
    EXPECT_EQ(player->playbackState(), Paused);   // the state before the seek

    const Recording out = finishRecording();
    std::vector<double> reviewPitches;
    for (std::size_t at = out.firstSound(); at + 2048 < out.endOfSound(); at += 2048) {
        const double hertz = frequencyOf(out.left, at, at + 2048, rate);
        if (hertz > 800)   // seeking sounds three times higher than the music's 300–600 Hz
            reviewPitches.push_back(hertz);
    }
    // Cue first (rising), then review (falling, from about 3 × 600 Hz to 3 × 300 Hz).
    ASSERT_GT(reviewPitches.size(), 10u);
    EXPECT_GT(reviewPitches.front(), 900 * 1.0);
    const double lastPitch = reviewPitches.back();
    EXPECT_NEAR(lastPitch, 930, 80);
    const auto highest = std::max_element(reviewPitches.begin(), reviewPitches.end());
    EXPECT_NEAR(*highest, 1800, 100);
    // Each stretch is itself backwards, so the pitch falls window after window, not in a
    // saw-tooth of stretches played forwards.
    int falling = 0, pairs = 0;
    for (auto it = highest + 1; it != reviewPitches.end(); ++it, ++pairs)
        falling += *it < *(it - 1);
    ASSERT_GT(pairs, 10);
    EXPECT_GE(falling, pairs * 8 / 10);
}

class PlayerQueue : public PlayerTest {};

TEST_F(PlayerQueue, SkipsWrapUnderRepeatAllAndStopPastTheEndOtherwise)
{
    makeTone(folder / "a.flac", 440, 3);
    makeTone(folder / "b.flac", 660, 3);
    makePlayer();
    setQueue({folder / "a.flac", folder / "b.flac"});
    player->play();
    player->skipToNextItem();
    EXPECT_EQ(player->indexOfNowPlayingItem(), 1u);
    player->setRepeatMode(platform::RepeatMode::All);
    player->skipToNextItem();
    EXPECT_EQ(player->indexOfNowPlayingItem(), 0u);
    player->skipToPreviousItem();
    EXPECT_EQ(player->indexOfNowPlayingItem(), 1u);   // the previous item, not the start of this one
    pump(0.3);
    EXPECT_NEAR(player->currentPlaybackTime(), 0.3, 0.15);
    player->skipToPreviousItem();
    EXPECT_EQ(player->indexOfNowPlayingItem(), 0u);
    player->setRepeatMode(platform::RepeatMode::Default);
    player->skipToPreviousItem();
    EXPECT_EQ(player->indexOfNowPlayingItem(), platform::NotFound);
    EXPECT_EQ(player->nowPlayingItem(), nullptr);
    EXPECT_EQ(player->playbackState(), Stopped);
    player->play();   // nothing to play
    EXPECT_EQ(player->playbackState(), Stopped);

    // The sound followed: 660 Hz was heard after the skip back to the second item.
    const Recording out = finishRecording();
    EXPECT_NEAR(frequencyOf(out.left, out.firstSound() + 2000, out.firstSound() + 8000, rate), 660.0, 3.0);
}

TEST_F(PlayerQueue, RepeatChangedAfterTheNextItemWasPreparedIsHonoured)
{
    // The decoder runs a quarter to half a second ahead of the listener. Each round pauses
    // near the end of an item, waits for the decoder to have gone past that end (so what
    // follows was decided under the old mode), changes the mode and plays on.
    makeTone(folder / "a.flac", 440, 1);
    makeTone(folder / "b.flac", 660, 1);
    makePlayer();
    setQueue({folder / "a.flac", folder / "b.flac"});
    std::uint32_t heard = 0;   // the decoder's number for the item heard
    const auto pauseNearTheEndWithTheNextPrepared = [&] {
        if (!pumpUntil([&] { return player->currentPlaybackTime() > 0.85; }, 10.0))
            return false;
        player->pause();
        return pumpUntil([&] { return player->decodeStatus().itemSerial > heard; }, 10.0);
    };
    const auto changeAndPlayOn = [&](std::int32_t mode) {
        const std::uint32_t prepared = player->decodeStatus().itemSerial;
        player->setRepeatMode(mode);
        // Decided again: what was prepared is taken back and another item follows.
        const bool decidedAgain = pumpUntil([&] { return player->decodeStatus().itemSerial > prepared; }, 10.0);
        heard = player->decodeStatus().itemSerial;
        player->play();
        return decidedAgain;
    };
    player->play();
    ASSERT_TRUE(pauseNearTheEndWithTheNextPrepared());
    ASSERT_TRUE(changeAndPlayOn(platform::RepeatMode::One));   // a again, not b
    ASSERT_TRUE(pumpUntil([&] { return player->currentPlaybackTime() < 0.5; }, 10.0));
    EXPECT_EQ(player->indexOfNowPlayingItem(), 0u);
    ASSERT_TRUE(pauseNearTheEndWithTheNextPrepared());
    ASSERT_TRUE(changeAndPlayOn(platform::RepeatMode::Default));   // on to b after all
    ASSERT_TRUE(pumpUntil([&] { return player->indexOfNowPlayingItem() == 1; }, 10.0));
    player->setRepeatMode(platform::RepeatMode::All);
    ASSERT_TRUE(pauseNearTheEndWithTheNextPrepared());
    ASSERT_TRUE(changeAndPlayOn(platform::RepeatMode::Default));   // the last item: no wrap, the end
    ASSERT_TRUE(pumpUntil([&] { return player->playbackState() == Stopped; }, 10.0));
    EXPECT_EQ(player->indexOfNowPlayingItem(), platform::NotFound);

    // a twice, then b, joined without a gap (the pauses aside) and nothing of the withdrawn items heard.
    const std::vector<float> sound = soundWithoutPauses(finishRecording());
    EXPECT_NEAR(double(sound.size()), 3 * rate, rate / 1000);
    EXPECT_NEAR(frequencyOf(sound, 2000, 42000, rate), 440.0, 1.0);
    EXPECT_NEAR(frequencyOf(sound, 46100, 86000, rate), 440.0, 1.0);
    EXPECT_NEAR(frequencyOf(sound, 90200, 130000, rate), 660.0, 1.0);
}

TEST_F(PlayerQueue, BadFilesAreSkippedWithOneLineEachAndALyingExtensionStillPlays)
{
    makeTone(folder / "first.flac", 440, 0.3);
    makeTone(folder / "flac-really.mp3", 660, 0.3, "-f flac");
    std::ofstream(folder / "corrupt.mp3", std::ios::binary) << std::string(20000, '\x5a');
    std::ofstream(folder / "empty.flac");
    ASSERT_EQ(mkfifo((folder / "pipe.flac").c_str(), 0600), 0);
    makeTone(folder / "whole.flac", 550, 2);
    {
        // Cut short in the middle of its data.
        std::ifstream in(folder / "whole.flac", std::ios::binary);
        std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        std::ofstream(folder / "truncated.flac", std::ios::binary) << bytes.substr(0, bytes.size() / 2);
    }
    makePlayer();
    ::testing::internal::CaptureStderr();
    setQueue({folder / "first.flac", folder / "corrupt.mp3", folder / "missing.ogg", folder / "empty.flac",
              folder / "pipe.flac", folder / "flac-really.mp3", folder / "truncated.flac"});
    player->play();
    const bool stopped = pumpUntil([&] { return player->playbackState() == Stopped; }, 4.0);
    const std::string errors = ::testing::internal::GetCapturedStderr();
    ASSERT_TRUE(stopped);
    EXPECT_EQ(std::count(errors.begin(), errors.end(), '\n'), 4) << errors;
    for (const char* name : {"corrupt.mp3", "missing.ogg", "empty.flac", "pipe.flac"})
        EXPECT_NE(errors.find(name), std::string::npos) << name;

    const Recording out = finishRecording();
    const std::size_t start = out.firstSound();
    EXPECT_NEAR(frequencyOf(out.left, start + 1000, start + 12000, rate), 440.0, 2.0);
    EXPECT_NEAR(frequencyOf(out.left, start + 14230, start + 25000, rate), 660.0, 2.0);
    // About the first second of the truncated file, then the end.
    EXPECT_NEAR(frequencyOf(out.left, start + 28000, start + 60000, rate), 550.0, 2.0);
    EXPECT_GT(out.endOfSound() - start, std::size_t(0.6 * rate + 0.5 * rate));
}

TEST_F(PlayerQueue, OnlyBadFilesStopAfterOnePassEvenUnderRepeatAll)
{
    std::ofstream(folder / "corrupt.flac", std::ios::binary) << std::string(5000, '\x01');
    makePlayer();
    player->setRepeatMode(platform::RepeatMode::All);
    ::testing::internal::CaptureStderr();
    setQueue({folder / "corrupt.flac", folder / "missing.mp3"});
    player->play();
    const bool stopped = pumpUntil([&] { return player->playbackState() == Stopped; }, 2.0);
    pump(0.2);
    const std::string errors = ::testing::internal::GetCapturedStderr();
    ASSERT_TRUE(stopped);
    EXPECT_EQ(player->indexOfNowPlayingItem(), platform::NotFound);
    EXPECT_EQ(std::count(errors.begin(), errors.end(), '\n'), 2) << errors;
}

class PlayerDevice : public PlayerTest {};

TEST_F(PlayerDevice, LostDeviceFreezesThePositionAndPlayCarriesOn)
{
    makeTone(folder / "a.flac", 440, 5);
    makePlayer();
    setQueue({folder / "a.flac"});
    std::vector<std::int32_t> states;
    center.addObserver(this, platform::PlaybackStateDidChangeNotification, player.get(),
                       [&](const platform::Notification&) { states.push_back(player->playbackState()); });
    player->beginGeneratingPlaybackNotifications();
    player->play();
    pump(0.5);
    player->output().simulateDeviceLoss();
    // The sound stops at once; the player finds out at its next look, within a quarter second.
    ASSERT_TRUE(pumpUntil([&] { return player->playbackState() == Interrupted; }, 0.5));
    const double frozen = player->currentPlaybackTime();
    EXPECT_NEAR(frozen, 0.5, 0.2);   // less the time sound took to start
    pump(0.4);
    EXPECT_EQ(player->currentPlaybackTime(), frozen);
    player->play();
    EXPECT_EQ(player->playbackState(), Playing);
    pump(0.4);
    EXPECT_NEAR(player->currentPlaybackTime(), frozen + 0.4, 0.15);
    EXPECT_EQ(states, (std::vector<std::int32_t>{Playing, Interrupted, Playing}));
    center.removeObserver(this);
}

// Two seconds at 440 Hz, then two at 880 Hz: where the pitch changes in what was
// heard tells which part of the file it came from.
void makeTwoPitches(const std::filesystem::path& path)
{
    makeAudio(path, "aevalsrc=0.5*sin(2*PI*(440+440*gte(t\\,2))*t):s=44100:d=4");
}

// Seconds of sound before the pitch rises past 660 Hz, counted in steps of 5 ms.
double secondsBeforeHighPitch(const Recording& out)
{
    const std::size_t step = 220, window = 1103;
    for (std::size_t at = out.firstSound(); at + window < out.endOfSound(); at += step)
        if (frequencyOf(out.left, at, at + window, rate) > 660)
            return double(at + window / 2 - out.firstSound()) / rate;
    return -1;
}

TEST_F(PlayerDevice, AJumpIsHeardFromItsPositionAtTheVolumeSet)
{
    makeTwoPitches(folder / "a.flac");
    makePlayer();
    setQueue({folder / "a.flac"});
    player->setVolume(0.5f);
    player->setCurrentPlaybackTime(1.75);
    EXPECT_EQ(player->currentPlaybackTime(), 1.75);
    EXPECT_EQ(player->playbackState(), Stopped);
    player->play();
    ASSERT_TRUE(pumpUntil([&] { return player->playbackState() == Stopped; }, 4.0));

    const Recording out = finishRecording();
    // A quarter second of the low pitch, then the high one to the end: 2.25 s in all.
    EXPECT_NEAR(secondsBeforeHighPitch(out), 0.25, 0.01);
    EXPECT_NEAR(double(out.endOfSound() - out.firstSound()) / rate, 2.25, 0.01);
    // A sine of amplitude 0.5 at half volume: 0.25 / √2.
    const std::size_t middle = out.firstSound() + std::size_t(1.2 * rate);
    EXPECT_NEAR(rmsOf(out.left, middle, middle + 4410), 0.25 / std::sqrt(2.0), 0.004);

    // Past the end is the end: the item is over, as if played through, and nothing is wrong with it.
    makePlayer();
    setQueue({folder / "a.flac"});
    player->play();
    testing::internal::CaptureStderr();
    player->setCurrentPlaybackTime(1e9);
    EXPECT_TRUE(pumpUntil([&] { return player->playbackState() == Stopped; }, 1.0));
    const std::string said = testing::internal::GetCapturedStderr();
    EXPECT_EQ(said.find("cannot play"), std::string::npos) << said;
}

TEST_F(PlayerDevice, SwitchingTheOutputKeepsThePositionAndTheState)
{
    makeTwoPitches(folder / "a.flac");
    makePlayer();
    // SDL's disk driver lists one device, its default; but it opens any other name as
    // a file to write to, which makes a second sound card whose sound can be checked.
    // No driver on this machine can move sound between two real cards; the path the
    // player takes is the same.
    EXPECT_FALSE(player->outputDeviceNames().empty());
    EXPECT_EQ(player->currentOutputDevice(), "");
    const std::string second = (folder / "second.raw").string();

    setQueue({folder / "a.flac"});
    player->play();
    ASSERT_TRUE(pumpUntil([&] { return player->currentPlaybackTime() > 1.2; }, 3.0));
    const double before = player->currentPlaybackTime();
    EXPECT_TRUE(player->setOutputDevice(second));
    EXPECT_EQ(player->currentOutputDevice(), second);
    EXPECT_EQ(player->playbackState(), Playing);
    EXPECT_NEAR(player->currentPlaybackTime(), before, 0.03);

    // A device that cannot be opened: one line, and the sound goes on where it was
    // (the disk driver starts the second card's file afresh as it opens it again).
    pump(0.1);
    testing::internal::CaptureStderr();
    EXPECT_FALSE(player->setOutputDevice((folder / "no such folder" / "card.raw").string()));
    const std::string said = testing::internal::GetCapturedStderr();
    EXPECT_NE(said.find("spoolora: cannot open the audio device \"" + (folder / "no such folder").string()),
              std::string::npos)
        << said;
    EXPECT_EQ(player->currentOutputDevice(), second);
    EXPECT_EQ(player->playbackState(), Playing);
    const double afterFailure = player->currentPlaybackTime();
    EXPECT_NEAR(afterFailure, before + 0.1, 0.06);

    // Paused after the pitch has risen, then back to the default device: still paused, same place.
    ASSERT_TRUE(pumpUntil([&] { return player->currentPlaybackTime() > 2.5; }, 3.0));
    player->pause();
    pump(0.05);   // the fade out
    const double paused = player->currentPlaybackTime();
    EXPECT_TRUE(player->setOutputDevice(""));
    EXPECT_EQ(player->currentOutputDevice(), "");
    EXPECT_EQ(player->playbackState(), Paused);
    EXPECT_NEAR(player->currentPlaybackTime(), paused, 0.001);
    player->play();
    ASSERT_TRUE(pumpUntil([&] { return player->playbackState() == Stopped; }, 4.0));

    // The second card heard from the failed switch to the pause: the low pitch until 2 s.
    Recording onSecond = readRecording(second);
    onSecond.rate = player->output().sampleRate();
    EXPECT_NEAR(secondsBeforeHighPitch(onSecond), 2.0 - afterFailure, 0.015);
    EXPECT_NEAR(double(onSecond.endOfSound() - onSecond.firstSound()) / rate, paused - afterFailure, 0.02);
    // The default card heard the rest, from the paused place to the end, all high.
    const Recording onDefault = finishRecording();
    EXPECT_NEAR(double(onDefault.endOfSound() - onDefault.firstSound()) / rate, 4.0 - paused, 0.015);
    const std::size_t start = onDefault.firstSound();
    EXPECT_NEAR(frequencyOf(onDefault.left, start + 441, start + 4410, rate), 880.0, 2.0);
}

class PlayerNotifications : public PlayerTest {};

TEST_F(PlayerNotifications, ArriveInOrderOnTheMainThreadAfterTheCommandAndOnlyWhileGenerating)
{
    makeTone(folder / "a.flac", 440, 0.5);
    makeTone(folder / "b.flac", 660, 0.5);
    makePlayer();
    std::vector<std::string> received;
    std::vector<std::thread::id> threads;
    const auto observe = [&](const platform::Notification& n) {
        received.push_back(n.name == platform::NowPlayingItemDidChangeNotification ? "item" : "state");
        threads.push_back(std::this_thread::get_id());
    };
    center.addObserver(this, platform::NowPlayingItemDidChangeNotification, player.get(), observe);
    center.addObserver(this, platform::PlaybackStateDidChangeNotification, player.get(), observe);

    setQueue({folder / "a.flac", folder / "b.flac"});   // before generating: not posted
    player->beginGeneratingPlaybackNotifications();
    player->play();
    EXPECT_TRUE(received.empty());   // never inside the command
    player->skipToNextItem();
    player->pause();
    player->play();
    EXPECT_TRUE(received.empty());
    // The second item ends by itself: the queue runs out.
    ASSERT_TRUE(pumpUntil([&] { return player->playbackState() == Stopped; }, 2.0));
    pump(0.05);
    EXPECT_EQ(received, (std::vector<std::string>{"state", "item", "state", "state", "item", "state"}));
    for (const auto& id : threads)
        EXPECT_EQ(id, std::this_thread::get_id());

    player->endGeneratingPlaybackNotifications();
    setQueue({folder / "a.flac"});
    player->play();
    pump(0.1);
    EXPECT_EQ(received.size(), 6u);
    center.removeObserver(this);
}

} // namespace
} // namespace media::test
