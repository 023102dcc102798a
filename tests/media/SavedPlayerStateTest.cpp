// The player's queue, item, position and repeat mode outlive the process.

#include "MediaTestSupport.h"

#include "media/SavedPlayerState.h"

#include <fstream>
#include <sstream>

namespace media::test {
namespace {

std::string contentsOf(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

class SavedPlayer : public PlayerTest {};

TEST_F(SavedPlayer, ComesBackPausedWhereItWasWithVanishedFilesDropped)
{
    for (const char* name : {"a.flac", "b.flac", "c.flac"})
        makeTone(folder / name, 440, 4);
    const auto file = folder / "state" / "player.json";
    makePlayer();
    {
        PlayerStateKeeper keeper(*player, runLoop, file);
        setQueue({folder / "a.flac", folder / "b.flac", folder / "c.flac"});
        player->setRepeatMode(platform::RepeatMode::All);
        player->skipToNextItem();
        player->skipToNextItem();
        player->play();
        pump(0.6);
        player->pause();   // saved on pause
        pump(0.05);
    }
    const double savedAt = decodePlayerState(contentsOf(file)).position;
    EXPECT_NEAR(savedAt, 0.6, 0.2);
    player.reset();

    std::filesystem::remove(folder / "a.flac");
    makePlayer();
    ::testing::internal::CaptureStderr();
    const auto restored = loadPlayerState(file);
    const std::string errors = ::testing::internal::GetCapturedStderr();
    EXPECT_EQ(std::count(errors.begin(), errors.end(), '\n'), 1) << errors;
    EXPECT_NE(errors.find("a.flac"), std::string::npos);
    ASSERT_TRUE(restored);
    // Only the now-playing item's tags are read at once; the others when reached.
    EXPECT_EQ(restored->unread, (std::vector<bool>{true, false}));
    EXPECT_EQ(restored->items[0]->playbackDuration, std::nullopt);
    player->restore(restored->items, restored->index, restored->position, restored->repeatMode, restored->unread);
    EXPECT_EQ(player->playbackState(), platform::PlaybackState::Paused);
    EXPECT_EQ(player->indexOfNowPlayingItem(), 1u);   // c.flac, now second in the queue
    EXPECT_NEAR(player->nowPlayingItem()->playbackDurationValue(), 4.0, 0.01);
    EXPECT_EQ(player->repeatMode(), platform::RepeatMode::All);
    EXPECT_DOUBLE_EQ(player->currentPlaybackTime(), savedAt);
    player->play();
    pump(0.3);
    EXPECT_NEAR(player->currentPlaybackTime(), savedAt + 0.3, 0.15);
    player->skipToPreviousItem();
    ASSERT_EQ(player->indexOfNowPlayingItem(), 0u);
    EXPECT_NEAR(player->nowPlayingItem()->playbackDurationValue(), 4.0, 0.01);
    EXPECT_EQ(player->nowPlayingItem()->location, (folder / "b.flac").string());
}

TEST_F(SavedPlayer, AnUnplayableNowPlayingEntryGivesWayAndOthersAreFoundOutWhenReached)
{
    makeTone(folder / "a.flac", 440, 0.3);
    std::ofstream(folder / "corrupt.flac", std::ios::binary) << std::string(5000, '\x01');
    PlayerSnapshot saved;
    saved.queue = {(folder / "corrupt.flac").string(), (folder / "a.flac").string(),
                   (folder / "corrupt.flac").string()};
    saved.index = 0;
    saved.position = 12;
    const auto file = folder / "player.json";
    std::ofstream(file) << encodePlayerState(saved);
    ::testing::internal::CaptureStderr();
    const auto restored = loadPlayerState(file);
    std::string errors = ::testing::internal::GetCapturedStderr();
    EXPECT_EQ(std::count(errors.begin(), errors.end(), '\n'), 1) << errors;
    ASSERT_TRUE(restored);
    ASSERT_EQ(restored->items.size(), 2u);   // the corrupt one at the end stays until it is reached
    EXPECT_EQ(restored->index, 0u);
    EXPECT_EQ(restored->position, 0);

    makePlayer();
    ::testing::internal::CaptureStderr();   // the decoder runs ahead, even while paused
    player->restore(restored->items, restored->index, restored->position, restored->repeatMode, restored->unread);
    player->play();
    const bool stopped = pumpUntil([&] { return player->playbackState() == platform::PlaybackState::Stopped; }, 2);
    errors = ::testing::internal::GetCapturedStderr();
    EXPECT_TRUE(stopped);
    EXPECT_EQ(std::count(errors.begin(), errors.end(), '\n'), 1) << errors;
    EXPECT_NE(errors.find("corrupt.flac"), std::string::npos);
}

TEST_F(SavedPlayer, DamagedFileMeansAnEmptyPlayerAndAKeptCopy)
{
    const auto file = folder / "player.json";
    std::ofstream(file) << "{\"version\":1,\"queue\":[\"/x.flac\"],\"index\":7";
    ::testing::internal::CaptureStderr();
    EXPECT_FALSE(loadPlayerState(file));
    const std::string errors = ::testing::internal::GetCapturedStderr();
    EXPECT_EQ(std::count(errors.begin(), errors.end(), '\n'), 1) << errors;
    EXPECT_EQ(contentsOf(folder / "player.json.bad"), "{\"version\":1,\"queue\":[\"/x.flac\"],\"index\":7");

    // An index outside the queue is damage too, not a crash later.
    PlayerSnapshot outside;
    outside.queue = {"/a.flac"};
    outside.index = 0;
    std::string text = encodePlayerState(outside);
    text.replace(text.find("\"index\": 0"), 10, "\"index\": 3");
    EXPECT_THROW(decodePlayerState(text), std::runtime_error);
}

} // namespace
} // namespace media::test
