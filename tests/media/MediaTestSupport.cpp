#include "MediaTestSupport.h"

#include "media/MediaTags.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <thread>

namespace media::test {

std::filesystem::path freshFolder(const std::string& name)
{
    const char* output = std::getenv("SPOOLORA_TEST_OUTPUT");
    const std::filesystem::path base =
        output ? std::filesystem::path(output) : std::filesystem::temp_directory_path() / "spoolora-media-tests";
    const std::filesystem::path folder = base / name;
    std::filesystem::remove_all(folder);
    std::filesystem::create_directories(folder);
    return folder;
}

void makeAudio(const std::filesystem::path& path, const std::string& source, const std::string& extra)
{
    const std::string command = "ffmpeg -nostdin -v error -y -f lavfi -i \"" + source + "\" " + extra + " \"" +
                                path.string() + "\"";
    ASSERT_EQ(std::system(command.c_str()), 0) << command;
}

void makeTone(const std::filesystem::path& path, double hertz, double seconds, const std::string& extra)
{
    char source[160];
    std::snprintf(source, sizeof source, "sine=frequency=%g:sample_rate=44100:duration=%g", hertz, seconds);
    makeAudio(path, source, extra);
}

double frequencyOf(const std::vector<float>& left, std::size_t from, std::size_t to, double rate)
{
    std::size_t first = 0, last = 0, crossings = 0;
    for (std::size_t i = from + 1; i < to && i < left.size(); ++i) {
        if (left[i - 1] < 0 && left[i] >= 0) {
            if (crossings == 0)
                first = i;
            last = i;
            ++crossings;
        }
    }
    if (crossings < 2)
        return 0;
    return double(crossings - 1) * rate / double(last - first);
}

double rmsOf(const std::vector<float>& left, std::size_t from, std::size_t to)
{
    double sum = 0;
    std::size_t count = 0;
    for (std::size_t i = from; i < to && i < left.size(); ++i, ++count)
        sum += double(left[i]) * left[i];
    return count ? std::sqrt(sum / double(count)) : 0;
}

std::size_t Recording::firstSound() const
{
    for (std::size_t i = 0; i < left.size(); ++i)
        if (left[i] != 0.0f)
            return i;
    return left.size();
}

std::size_t Recording::endOfSound() const
{
    for (std::size_t i = left.size(); i > 0; --i)
        if (left[i - 1] != 0.0f)
            return i;
    return 0;
}

Recording readRecording(const std::filesystem::path& file)
{
    Recording recording;
    std::ifstream in(file, std::ios::binary);
    std::vector<float> frame(2);
    while (in.read(reinterpret_cast<char*>(frame.data()), 2 * sizeof(float))) {
        recording.left.push_back(frame[0]);
        recording.right.push_back(frame[1]);
    }
    return recording;
}

std::vector<float> soundWithoutPauses(const Recording& recording)
{
    std::vector<float> sound;
    const std::vector<float>& left = recording.left;
    std::size_t zeros = 0;
    for (std::size_t i = recording.firstSound(), end = recording.endOfSound(); i < end; ++i) {
        zeros = left[i] == 0.0f ? zeros + 1 : 0;
        if (zeros == 0)
            sound.push_back(left[i]);
        else if (zeros == 1 && i + 1 < end && left[i + 1] != 0.0f)
            sound.push_back(0.0f);
    }
    return sound;
}

void PlayerTest::SetUp()
{
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    folder = freshFolder(std::string(info->test_suite_name()) + "." + info->name());
    setenv("SDL_AUDIODRIVER", "disk", 1);
    setenv("SDL_DISKAUDIOFILE", (folder / "out.raw").c_str(), 1);
}

void PlayerTest::TearDown()
{
    player.reset();
}

void PlayerTest::makePlayer(PlayerOptions options)
{
    player = std::make_unique<SystemMusicPlayer>(runLoop, center, options);
    ASSERT_EQ(player->output().driverName(), "disk");
}

Recording PlayerTest::finishRecording()
{
    const double rate = player ? player->output().sampleRate() : 44100;
    player.reset();
    Recording recording = readRecording(folder / "out.raw");
    recording.rate = rate;
    return recording;
}

void PlayerTest::pump(double seconds)
{
    const platform::Nanoseconds deadline = clock.now() + platform::nanosecondsFromSeconds(seconds);
    do {
        runLoop.runDue();
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    } while (clock.now() < deadline);
    runLoop.runDue();
}

platform::MediaItemPtr PlayerTest::item(const std::filesystem::path& path) const
{
    try {
        return readMediaItem(path);
    } catch (const DecodeError&) {
        // A broken file still makes a queue entry; the player finds out when it gets there.
        auto broken = std::make_shared<platform::MediaItem>();
        broken->location = path.string();
        return broken;
    }
}

void PlayerTest::setQueue(const std::vector<std::filesystem::path>& paths)
{
    platform::MediaItemCollection collection;
    for (const auto& path : paths)
        collection.items.push_back(item(path));
    player->setQueueWithItemCollection(collection);
}

} // namespace media::test
