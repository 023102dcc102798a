// The player on a private session bus (the test runs under dbus-run-session):
// what busctl reads back, what its calls do to the player and the screen, and
// the signals a desktop listens for.

#include "app/MprisBridge.h"
#include "support/PlayerWorld.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <thread>

extern char** environ;

namespace {

using platform::sdl::MprisService;

std::string fileText(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

class Mpris : public playertest::PlayerWorld {
protected:
    std::filesystem::path output = std::filesystem::temp_directory_path() /
                                   ("spoolora-mpris-" + std::to_string(getpid()) + ".out");
    bool quitAsked = false;
    int raises = 0;
    spoolora::MprisBridge bridge{controller, player, platform.volumeControl(), windowHooks()};
    std::unique_ptr<MprisService> service;

    spoolora::MprisBridge::Hooks windowHooks()
    {
        spoolora::MprisBridge::Hooks hooks;
        hooks.raise = [this] { ++raises; };
        hooks.quit = [this] { quitAsked = true; };
        return hooks;
    }
    void SetUp() override
    {
        if (!std::getenv("DBUS_SESSION_BUS_ADDRESS"))
            GTEST_SKIP() << "needs a session bus: run under dbus-run-session";
        showScreen();
        service = MprisService::start(bridge, "example.spoolora.Spoolora");
        ASSERT_TRUE(service);
    }
    void TearDown() override { std::filesystem::remove(output); }

    pid_t spawn(std::vector<std::string> arguments, const std::filesystem::path& out)
    {
        std::vector<char*> argv;
        for (std::string& argument : arguments)
            argv.push_back(argument.data());
        argv.push_back(nullptr);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        posix_spawn_file_actions_adddup2(&actions, STDOUT_FILENO, STDERR_FILENO);
        pid_t pid = 0;
        const int failed = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ);
        posix_spawn_file_actions_destroy(&actions);
        return failed ? -1 : pid;
    }

    // Runs busctl against the player while the player answers; its output, or
    // "FAILED: …" when it ended badly.
    std::string busctl(std::vector<std::string> arguments)
    {
        arguments.insert(arguments.begin(), {"busctl", "--user"});
        const pid_t pid = spawn(arguments, output);
        if (pid < 0)
            return "FAILED: cannot start busctl";
        int status = 0;
        for (int i = 0; i < 10000; ++i) {
            service->dispatch();
            platform.runDueNow();
            if (waitpid(pid, &status, WNOHANG) == pid)
                return WIFEXITED(status) && WEXITSTATUS(status) == 0 ? fileText(output) : "FAILED: " + fileText(output);
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        kill(pid, SIGKILL);
        waitpid(pid, &status, 0);
        return "FAILED: busctl did not finish";
    }
    std::string playerProperty(const std::string& name)
    {
        return busctl({"get-property", "org.mpris.MediaPlayer2.spoolora", "/org/mpris/MediaPlayer2",
                       "org.mpris.MediaPlayer2.Player", name});
    }
    std::string call(const std::string& method, std::vector<std::string> arguments = {})
    {
        std::vector<std::string> all{"call", "org.mpris.MediaPlayer2.spoolora", "/org/mpris/MediaPlayer2",
                                     "org.mpris.MediaPlayer2.Player", method};
        all.insert(all.end(), arguments.begin(), arguments.end());
        const std::string result = busctl(all);
        service->refresh();
        return result;
    }
};

} // namespace

TEST_F(Mpris, PropertiesReadBackWhilePlayingPausedAndStopped)
{
    playAlbum(3, 42.5);
    player.setRepeatMode(platform::RepeatMode::All);
    EXPECT_EQ(playerProperty("PlaybackStatus"), "s \"Playing\"\n");
    EXPECT_EQ(playerProperty("LoopStatus"), "s \"Playlist\"\n");
    EXPECT_EQ(playerProperty("Position"), "x 42500000\n");
    EXPECT_EQ(playerProperty("CanGoNext"), "b true\n");
    const std::string metadata = playerProperty("Metadata");
    for (const char* part : {"\"xesam:title\" s \"Track 1\"", "\"xesam:artist\" as 1 \"Artist\"",
                             "\"xesam:album\" s \"Album\"", "\"mpris:length\" x 180000000",
                             "\"xesam:trackNumber\" i 1", "\"mpris:trackid\" o \"/example/spoolora/track/"})
        EXPECT_NE(metadata.find(part), std::string::npos) << part << " in " << metadata;

    player.setState(platform::PlaybackState::Paused, playertest::Notify::Yes);
    player.setRepeatMode(platform::RepeatMode::One);
    EXPECT_EQ(playerProperty("PlaybackStatus"), "s \"Paused\"\n");
    EXPECT_EQ(playerProperty("LoopStatus"), "s \"Track\"\n");

    player.setQueue({}, playertest::Notify::Yes);
    player.setState(platform::PlaybackState::Stopped, playertest::Notify::Yes);
    player.setRepeatMode(platform::RepeatMode::Default);
    EXPECT_EQ(playerProperty("PlaybackStatus"), "s \"Stopped\"\n");
    EXPECT_EQ(playerProperty("LoopStatus"), "s \"None\"\n");
    EXPECT_EQ(playerProperty("CanPlay"), "b false\n");
    EXPECT_EQ(playerProperty("Metadata"), "a{sv} 1 \"mpris:trackid\" o \"/org/mpris/MediaPlayer2/TrackList/NoTrack\"\n");
}

TEST_F(Mpris, TagsThatAreNotUtf8ReachTheBusAsValidText)
{
    player.setQueue({playertest::makeItem({std::string("Caf\xE9 \xFF"), "A", "B", 10.0, 1, 1})}, playertest::Notify::Yes);
    const std::string metadata = playerProperty("Metadata");
    EXPECT_NE(metadata.find(R"("xesam:title" s "Caf\357\277\275 \357\277\275")"), std::string::npos) << metadata;
}

TEST_F(Mpris, CommandsGoThroughTheScreensControls)
{
    playAlbum(3);
    platform.advance(1);

    std::size_t first = player.commands().size();
    EXPECT_EQ(call("PlayPause"), "");
    EXPECT_EQ(player.playbackState(), platform::PlaybackState::Paused);
    EXPECT_TRUE(toolbarShowsPlay());
    EXPECT_EQ(commandsSince(first), std::vector<std::string>{"pause"});

    EXPECT_EQ(call("Play"), "");
    EXPECT_EQ(player.playbackState(), platform::PlaybackState::Playing);
    EXPECT_TRUE(toolbarShowsPause());
    first = player.commands().size();
    EXPECT_EQ(call("Play"), "");   // already playing: nothing to do
    EXPECT_TRUE(commandsSince(first).empty());

    // Next is a tap on the upper reel, Previous one on the lower reel: the same
    // commands to the player and the same fast spin of the reels.
    first = player.commands().size();
    tap(playertest::upperCassetteButton.x, playertest::upperCassetteButton.y);
    const std::vector<std::string> tapNext = commandsSince(first);
    const float tapNextSpeed = controller.tapeSpeedmmPerSecond;
    platform.advance(2);
    first = player.commands().size();
    EXPECT_EQ(call("Next"), "");
    EXPECT_EQ(commandsSince(first), tapNext);
    EXPECT_NE(std::find(tapNext.begin(), tapNext.end(), "skipToNextItem"), tapNext.end());
    EXPECT_EQ(player.indexOfNowPlayingItem(), 2u);
    EXPECT_EQ(controller.tapeSpeedmmPerSecond, tapNextSpeed);
    EXPECT_EQ(controller.tapeSpeedmmPerSecond, 285.75f);
    EXPECT_EQ(controller.skipSpinningBOOL, platform::YES);
    platform.advance(2);

    first = player.commands().size();
    tap(playertest::lowerCassetteButton.x, playertest::lowerCassetteButton.y);
    const std::vector<std::string> tapPrevious = commandsSince(first);
    platform.advance(2);
    first = player.commands().size();
    EXPECT_EQ(call("Previous"), "");
    EXPECT_EQ(commandsSince(first), tapPrevious);
    EXPECT_NE(std::find(tapPrevious.begin(), tapPrevious.end(), "skipToPreviousItem"), tapPrevious.end());
    EXPECT_EQ(player.indexOfNowPlayingItem(), 0u);
    EXPECT_EQ(controller.tapeSpeedmmPerSecond, -285.75f);

    EXPECT_EQ(call("Stop"), "");
    EXPECT_EQ(player.playbackState(), platform::PlaybackState::Paused);

    EXPECT_EQ(busctl({"call", "org.mpris.MediaPlayer2.spoolora", "/org/mpris/MediaPlayer2", "org.mpris.MediaPlayer2",
                      "Raise"}),
              "");
    EXPECT_EQ(raises, 1);
    EXPECT_EQ(busctl({"call", "org.mpris.MediaPlayer2.spoolora", "/org/mpris/MediaPlayer2", "org.mpris.MediaPlayer2",
                      "Quit"}),
              "");
    EXPECT_TRUE(quitAsked);
}

TEST_F(Mpris, OpenUriMakesTheFileTheQueueAndPlays)
{
    EXPECT_EQ(call("OpenUri", {"s", "file:///music/a%20b.flac"}), "");
    ASSERT_NE(player.nowPlayingItem(), nullptr);
    EXPECT_EQ(player.nowPlayingItem()->location, "/music/a b.flac");
    EXPECT_EQ(player.playbackState(), platform::PlaybackState::Playing);
    const std::string metadata = playerProperty("Metadata");
    EXPECT_NE(metadata.find("\"xesam:url\" s \"file:///music/a%20b.flac\""), std::string::npos) << metadata;

    EXPECT_EQ(call("OpenUri", {"s", "http://example.org/x.mp3"}).rfind("FAILED", 0), 0u);
    EXPECT_EQ(player.nowPlayingItem()->location, "/music/a b.flac");
}

TEST_F(Mpris, ChangesAreAnnouncedAsTheyHappen)
{
    playAlbum(3);
    service->refresh();
    const std::filesystem::path monitorOutput = output.string() + ".monitor";
    const pid_t monitor = spawn({"dbus-monitor", "--session",
                                 "type='signal',interface='org.freedesktop.DBus.Properties',member='PropertiesChanged'"},
                                monitorOutput);
    ASSERT_GT(monitor, 0);
    // The monitor is listening once it has printed its own connection's greeting.
    for (int i = 0; i < 5000 && fileText(monitorOutput).find("NameAcquired") == std::string::npos; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));

    player.setState(platform::PlaybackState::Paused, playertest::Notify::Yes);
    service->refresh();
    service->refresh();   // nothing new: nothing more announced
    std::string seen;
    for (int i = 0; i < 5000 && seen.find("Paused") == std::string::npos; ++i) {
        service->dispatch();
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
        seen = fileText(monitorOutput);
    }
    kill(monitor, SIGTERM);
    int status = 0;
    waitpid(monitor, &status, 0);
    std::filesystem::remove(monitorOutput);
    EXPECT_NE(seen.find("string \"org.mpris.MediaPlayer2.Player\""), std::string::npos) << seen;
    EXPECT_NE(seen.find("string \"PlaybackStatus\""), std::string::npos) << seen;
    EXPECT_NE(seen.find("string \"Paused\""), std::string::npos) << seen;
    // Only what changed: one announcement, without the metadata that stayed.
    std::size_t announcements = 0;
    for (std::size_t at = 0; (at = seen.find("member=PropertiesChanged", at)) != std::string::npos; ++at)
        ++announcements;
    EXPECT_EQ(announcements, 1u) << seen;
    EXPECT_EQ(seen.find("Metadata"), std::string::npos) << seen;
}

TEST_F(Mpris, SeekAndSetPositionMoveThePlayerAndTheReelsFollow)
{
    // Track 1 of 3, three minutes each, 10 s in: the left reel holds a little tape.
    playAlbum(3, 10, playertest::Notify::Yes);
    platform.advance(0.2);
    EXPECT_EQ(controller.pixelRadiusLeft, 70);   // (10.1 + 12.25 · (10.2 / 180) / 3) mm · 6.8, truncated
    EXPECT_EQ(playerProperty("CanSeek"), "b true\n");
    service->refresh();
    const std::filesystem::path monitorOutput = output.string() + ".monitor";
    const pid_t monitor = spawn({"dbus-monitor", "--session", "type='signal',path='/org/mpris/MediaPlayer2'"},
                                monitorOutput);
    ASSERT_GT(monitor, 0);
    for (int i = 0; i < 5000 && fileText(monitorOutput).find("NameAcquired") == std::string::npos; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));

    EXPECT_EQ(call("Seek", {"x", "30000000"}), "");
    EXPECT_NEAR(player.currentPlaybackTime(), 40.2, 1e-9);
    EXPECT_EQ(playerProperty("Position"), "x 40200000\n");
    EXPECT_EQ(call("Seek", {"x", "--", "-100000000"}), "");
    EXPECT_EQ(player.currentPlaybackTime(), 0.0);

    const std::string metadata = playerProperty("Metadata");
    const std::string idStart = "\"mpris:trackid\" o \"";
    const std::size_t at = metadata.find(idStart);
    ASSERT_NE(at, std::string::npos) << metadata;
    const std::string trackId =
        metadata.substr(at + idStart.size(), metadata.find('"', at + idStart.size()) - at - idStart.size());
    EXPECT_EQ(call("SetPosition", {"ox", trackId, "90000000"}), "");
    EXPECT_EQ(player.currentPlaybackTime(), 90.0);
    // Another track's id, or a place outside the track, is ignored.
    EXPECT_EQ(call("SetPosition", {"ox", "/example/spoolora/track/999", "20000000"}), "");
    EXPECT_EQ(call("SetPosition", {"ox", trackId, "180000001"}), "");
    EXPECT_EQ(player.currentPlaybackTime(), 90.0);
    EXPECT_EQ(player.playbackState(), platform::PlaybackState::Playing);

    // The next tick winds the tape to the new place: half of track 1 of 3 is a sixth of the album.
    platform.advance(0.2);
    EXPECT_NEAR(controller.leftDiameterWheelMM, 10.1 + 12.25 * (90.2 / 180) / 3, 1e-4);
    EXPECT_NEAR(controller.rightDiameterWheelMM, 22.35 - 12.25 * (90.2 / 180) / 3, 1e-4);
    EXPECT_EQ(controller.pixelRadiusLeft, 82);
    EXPECT_EQ(controller.tapeSpeedmmPerSecond, 47.625f);

    // The listener's volume, set from the desktop, reaches the player and is kept.
    EXPECT_EQ(busctl({"set-property", "org.mpris.MediaPlayer2.spoolora", "/org/mpris/MediaPlayer2",
                      "org.mpris.MediaPlayer2.Player", "Volume", "d", "0.3"}),
              "");
    service->refresh();
    EXPECT_EQ(player.volume(), 0.3f);
    EXPECT_EQ(platform.standardUserDefaults().integerForKey(platform::VolumeControl::volumePreferenceKey), 300);
    EXPECT_EQ(playerProperty("Volume"), "d 0.3\n");
    EXPECT_EQ(busctl({"set-property", "org.mpris.MediaPlayer2.spoolora", "/org/mpris/MediaPlayer2",
                      "org.mpris.MediaPlayer2.Player", "Volume", "d", "--", "-2"}),
              "");
    EXPECT_EQ(player.volume(), 0.0f);
    service->refresh();

    // Past the end of the track is the next one, as a tap on the upper reel would go there.
    const std::size_t first = player.commands().size();
    EXPECT_EQ(call("Seek", {"x", "100000000"}), "");
    const std::vector<std::string> commands = commandsSince(first);
    EXPECT_NE(std::find(commands.begin(), commands.end(), "skipToNextItem"), commands.end());
    EXPECT_EQ(player.indexOfNowPlayingItem(), 1u);

    std::string seen;
    for (int i = 0; i < 5000 && seen.find("Track 2") == std::string::npos; ++i) {
        service->dispatch();
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
        seen = fileText(monitorOutput);
    }
    kill(monitor, SIGTERM);
    int status = 0;
    waitpid(monitor, &status, 0);
    std::filesystem::remove(monitorOutput);
    // Each jump told as Seeked with where it landed; each volume as a change of property.
    for (const char* part : {"member=Seeked", "int64 40200000", "int64 0", "int64 90000000", "string \"Volume\"",
                             "double 0.3", "double 0\n"})
        EXPECT_NE(seen.find(part), std::string::npos) << part << " in " << seen;
}

TEST_F(Mpris, ASecondPlayerDoesNotTakeTheName)
{
    testing::internal::CaptureStderr();
    EXPECT_FALSE(MprisService::start(bridge, "example.spoolora.Spoolora"));
    const std::string said = testing::internal::GetCapturedStderr();
    EXPECT_NE(said.find("another player has the name"), std::string::npos) << said;
}

TEST(MprisWithoutBus, RunsWithoutItAfterOneLine)
{
    const char* saved = std::getenv("DBUS_SESSION_BUS_ADDRESS");
    const std::string savedAddress = saved ? saved : "";
    setenv("DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent/spoolora-test-bus", 1);
    platform::headless::HeadlessPlatform platform;
    MainViewController controller{platform};
    spoolora::MprisBridge bridge{controller, platform.scriptedPlayer(), platform.volumeControl(), {}};
    testing::internal::CaptureStderr();
    EXPECT_FALSE(MprisService::start(bridge, "example.spoolora.Spoolora"));
    const std::string said = testing::internal::GetCapturedStderr();
    if (saved)
        setenv("DBUS_SESSION_BUS_ADDRESS", savedAddress.c_str(), 1);
    else
        unsetenv("DBUS_SESSION_BUS_ADDRESS");
    EXPECT_EQ(said.rfind("spoolora: running without the session bus", 0), 0u) << said;
    EXPECT_EQ(said.find('\n'), said.size() - 1) << said;
}

TEST(MprisAddresses, FilePathsAndUrisRoundTrip)
{
    EXPECT_EQ(MprisService::fileUri("/music/a b#1.flac"), "file:///music/a%20b%231.flac");
    EXPECT_EQ(MprisService::pathFromUri("file:///music/a%20b%231.flac"), "/music/a b#1.flac");
    EXPECT_EQ(MprisService::pathFromUri("file://localhost/x.mp3"), "/x.mp3");
    EXPECT_FALSE(MprisService::pathFromUri("file://elsewhere/x.mp3"));
    EXPECT_FALSE(MprisService::pathFromUri("http://example.org/x.mp3"));
    EXPECT_FALSE(MprisService::pathFromUri("not a uri"));
}

TEST_F(Mpris, TheRunLoopServesTheBusWithTheTick)
{
    service.reset();   // the session takes the name instead
    auto session = spoolora::MprisSession::start(platform, controller, {});
    ASSERT_TRUE(session);
    playAlbum(2);
    const pid_t pid = spawn({"busctl", "--user", "call", "org.mpris.MediaPlayer2.spoolora", "/org/mpris/MediaPlayer2",
                             "org.mpris.MediaPlayer2.Player", "PlayPause"},
                            output);
    ASSERT_GT(pid, 0);
    int status = 0;
    bool done = false;
    for (int i = 0; i < 5000 && !done; ++i) {
        platform.advance(spoolora::MprisSession::dispatchIntervalSeconds);
        done = waitpid(pid, &status, WNOHANG) == pid;
        if (!done)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    ASSERT_TRUE(done);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << fileText(output);
    EXPECT_EQ(player.playbackState(), platform::PlaybackState::Paused);
}

TEST_F(Mpris, ASecondStartHandsItsFilesToTheRunningPlayer)
{
    // The second start blocks on its calls, as it has nothing else to do; the
    // running player answers meanwhile.
    auto handOff = [this](std::vector<std::string> paths) {
        MprisService::HandOff result{};
        std::atomic<bool> done{false};
        std::thread second([&] {
            result = MprisService::handToRunningPlayer(paths);
            done = true;
        });
        for (int i = 0; i < 10000 && !done; ++i) {
            service->dispatch();
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        second.join();
        service->dispatch();
        return result;
    };
    const std::string here = std::filesystem::current_path().string();

    EXPECT_EQ(handOff({"a.flac", "/music/b c.mp3", "/music/\xFF.ogg"}), MprisService::HandOff::HandedOver);
    ASSERT_EQ(player.queue().size(), 3u);
    EXPECT_EQ(player.queue()[0]->location, here + "/a.flac");
    EXPECT_EQ(player.queue()[1]->location, "/music/b c.mp3");
    EXPECT_EQ(player.queue()[2]->location, "/music/\xFF.ogg");
    EXPECT_EQ(player.playbackState(), platform::PlaybackState::Playing);

    EXPECT_EQ(handOff({"one.flac"}), MprisService::HandOff::HandedOver);
    ASSERT_EQ(player.queue().size(), 1u);
    EXPECT_EQ(player.queue()[0]->location, here + "/one.flac");

    EXPECT_EQ(handOff({}), MprisService::HandOff::HandedOver);
    EXPECT_EQ(raises, 1);

    service.reset();
    EXPECT_EQ(MprisService::handToRunningPlayer({"a.flac"}), MprisService::HandOff::NoRunningPlayer);
}

TEST_F(Mpris, OpenedPathsAreExpandedAndTheVolumeIsReported)
{
    service.reset();
    spoolora::MprisBridge::Hooks hooks;
    // A folder stands for the two tracks in it.
    hooks.itemsForPaths = [](const std::vector<std::string>& paths) {
        std::vector<platform::MediaItemPtr> items;
        for (const std::string& path : paths)
            for (const char* track : {"/1.flac", "/2.flac"}) {
                auto item = std::make_shared<platform::MediaItem>();
                item->location = path + track;
                items.push_back(item);
            }
        return items;
    };
    platform.volumeControl().setVolume(0.25f);
    spoolora::MprisBridge expanding{controller, player, platform.volumeControl(), hooks};
    service = MprisService::start(expanding, "example.spoolora.Spoolora");
    ASSERT_TRUE(service);

    EXPECT_EQ(call("OpenUri", {"s", "file:///music/album"}), "");
    ASSERT_EQ(player.queue().size(), 2u);
    EXPECT_EQ(player.queue()[0]->location, "/music/album/1.flac");
    EXPECT_EQ(player.queue()[1]->location, "/music/album/2.flac");
    EXPECT_EQ(player.playbackState(), platform::PlaybackState::Playing);
    EXPECT_EQ(playerProperty("Volume"), "d 0.25\n");
    service.reset();   // before the bridge it serves
}
