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
    player->restore(restored->items, restored->index, restored->position, restored->repeatMode);
    EXPECT_EQ(player->playbackState(), platform::PlaybackState::Paused);
    EXPECT_EQ(player->indexOfNowPlayingItem(), 1u);   // c.flac, now second in the queue
    EXPECT_EQ(player->repeatMode(), platform::RepeatMode::All);
    EXPECT_DOUBLE_EQ(player->currentPlaybackTime(), savedAt);
    player->play();
    pump(0.3);
    EXPECT_NEAR(player->currentPlaybackTime(), savedAt + 0.3, 0.15);
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
