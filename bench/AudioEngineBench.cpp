// The audio engine's costs, printed side by side:
// - processor time per minute of playback (the whole process: decoding thread,
//   audio callback, SDL's audio thread) for MP3 and FLAC, against `ffmpeg -f null`
//   decoding the same file;
// - latency from play to the first sample handed to the device, and from a skip or
//   the start of a seek to the first sample of the new sound;
// - bringing back a saved queue of 2,000 files at start, against reading the tags of
//   every one of them;
// - the engine's resident memory: the process before the player, with it idle, and
//   playing an MP3 without and with a cover picture of a few megabytes.
// Runs on SDL's dummy driver in real time. Usage: audio_engine_bench [SECONDS_PLAYED]

#include "media/MediaTags.h"
#include "media/SavedPlayerState.h"
#include "media/SystemMusicPlayer.h"
#include "platform/Clock.h"
#include "platform/NotificationCenter.h"
#include "platform/RunLoop.h"

#include <malloc.h>
#include <sys/resource.h>
#include <sys/wait.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <map>
#include <random>
#include <string>
#include <thread>
#include <vector>

namespace {

double processCpuSeconds()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

double childrenCpuSeconds()
{
    rusage usage{};
    getrusage(RUSAGE_CHILDREN, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// Processor time of each thread of this process, by name, from the scheduler's own
// nanosecond counts.
std::map<std::string, double> threadCpuSeconds()
{
    std::map<std::string, double> result;
    for (const auto& task : std::filesystem::directory_iterator("/proc/self/task")) {
        std::ifstream comm(task.path() / "comm"), stat(task.path() / "schedstat");
        std::string name;
        double ns = 0;
        if (std::getline(comm, name) && (stat >> ns))
            result[name] += ns / 1e9;
    }
    return result;
}

bool run(const std::string& command)
{
    return std::system(command.c_str()) == 0;
}

struct World {
    platform::MonotonicClock clock;
    platform::RunLoop runLoop{clock};
    platform::NotificationCenter center;
    std::unique_ptr<media::SystemMusicPlayer> player =
        std::make_unique<media::SystemMusicPlayer>(runLoop, center);

    void pump(double seconds)
    {
        // As a desktop loop does: sleep until the next timer is due.
        const auto deadline = clock.now() + platform::nanosecondsFromSeconds(seconds);
        while (clock.now() < deadline) {
            runLoop.runDue();
            const auto next = std::min(runLoop.nextDeadline().value_or(deadline), deadline);
            if (next > clock.now())
                std::this_thread::sleep_for(std::chrono::nanoseconds(next - clock.now()));
        }
    }
    void setQueue(const std::vector<std::filesystem::path>& files)
    {
        platform::MediaItemCollection collection;
        for (const auto& file : files)
            collection.items.push_back(media::readMediaItem(file));
        player->setQueueWithItemCollection(collection);
    }
};

// Milliseconds from now until the report shows the first sound of the player's epoch
// (or, for play, any new frame handed over).
double waitForSound(World& world, std::int64_t sinceNs, bool anyFrame, std::uint64_t handedBefore)
{
    for (int i = 0; i < 20000; ++i) {
        const media::PlayedReport report = world.player->output().report();
        if (anyFrame && report.handedFrames > handedBefore)
            return double(report.handedAtNs - sinceNs) / 1e6;
        if (!anyFrame && report.firstSoundEpoch == world.player->epoch())
            return double(report.firstSoundAtNs - sinceNs) / 1e6;
        world.runLoop.runDue();
        std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
    return -1;
}

void printSpread(const char* label, std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    std::printf("%-46s median %6.1f ms   worst %6.1f ms   (%zu runs)\n", label, values[values.size() / 2],
                values.back(), values.size());
}

double threadCpuMilliseconds()
{
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return double(now.tv_sec) * 1e3 + double(now.tv_nsec) / 1e6;
}

double millisecondsSince(std::int64_t startNs)
{
    return double(media::monotonicNowNs() - startNs) / 1e6;
}

// A saved queue of 2,000 tagged files (copies of one), the now-playing entry in the middle.
void benchRestore(const std::filesystem::path& folder)
{
    constexpr int count = 2000;
    const auto files = folder / "queue";
    const auto one = folder / "tagged.flac";
    if (!std::filesystem::exists(one) &&
        !run("ffmpeg -nostdin -v error -y -f lavfi -i sine=d=1 -metadata title=Song -metadata artist=Someone " +
             one.string()))
        return;
    std::filesystem::create_directories(files);
    media::PlayerSnapshot saved;
    for (int i = 0; i < count; ++i) {
        const auto file = files / ("track " + std::to_string(i) + ".flac");
        if (!std::filesystem::exists(file))
            std::filesystem::copy_file(one, file);
        saved.queue.push_back(file.string());
    }
    saved.index = count / 2;
    saved.position = 0.5;
    const auto stateFile = folder / "player.json";
    std::ofstream(stateFile) << media::encodePlayerState(saved);

    // Wall time, and the processor time of this thread (steadier on a busy machine).
    std::vector<double> everyTag, everyTagCpu, restore, restoreCpu;
    for (int round = 0; round < 5; ++round) {
        std::int64_t start = media::monotonicNowNs();
        double cpu = threadCpuMilliseconds();
        std::size_t read = 0;
        for (const std::string& path : saved.queue)
            read += media::readMediaItem(path) != nullptr;
        everyTag.push_back(millisecondsSince(start));
        everyTagCpu.push_back(threadCpuMilliseconds() - cpu);

        World world;
        start = media::monotonicNowNs();
        cpu = threadCpuMilliseconds();
        const auto restored = media::loadPlayerState(stateFile);
        if (!restored || restored->items.size() != read)
            return;
        world.player->restore(restored->items, restored->index, restored->position, restored->repeatMode,
                              restored->unread);
        restore.push_back(millisecondsSince(start));
        restoreCpu.push_back(threadCpuMilliseconds() - cpu);
    }
    std::printf("Restoring a saved queue of %d files (in the page cache), wall and processor time:\n", count);
    printSpread("  reading every file's tags (wall)", everyTag);
    printSpread("  reading every file's tags (cpu)", everyTagCpu);
    printSpread("  restore: a look at each, one read (wall)", restore);
    printSpread("  restore: a look at each, one read (cpu)", restoreCpu);
}

// The process's resident memory from /proc/self/status, in MiB: VmRSS, RssAnon, RssFile.
std::array<double, 3> residentMiB()
{
    std::array<double, 3> sizes{};
    std::ifstream status("/proc/self/status");
    std::string key;
    double kib = 0;
    while (status >> key) {
        const int at = key == "VmRSS:" ? 0 : key == "RssAnon:" ? 1 : key == "RssFile:" ? 2 : -1;
        if (at >= 0 && (status >> kib))
            sizes[std::size_t(at)] = kib / 1024;
        status.ignore(1 << 10, '\n');
    }
    return sizes;
}

void benchMemory(const std::filesystem::path& folder, const std::filesystem::path& mp3)
{
    const auto covered = folder / "covered.mp3";
    if (!std::filesystem::exists(covered) &&
        !run("ffmpeg -nostdin -v error -y -i " + mp3.string() +
             " -f lavfi -i testsrc2=s=1400x1400:d=1,noise=alls=100:allf=t -frames:v 1 -map 0 -map 1 -c:a copy"
             " -c:v png -id3v2_version 3 " + covered.string()))
        return;
    std::printf("Resident memory of this process (MiB; VmRSS = RssAnon + RssFile, shared memory aside):\n");
    const auto before = residentMiB();
    const auto print = [&before](const char* label) {
        const auto now = residentMiB();
        std::printf("  %-40s VmRSS %6.1f  RssAnon %6.1f  RssFile %6.1f   engine's part %+5.1f (anon %+5.1f, file %+5.1f)\n",
                    label, now[0], now[1], now[2], now[0] - before[0], now[1] - before[1], now[2] - before[2]);
    };
    print("before the player");
    World world;
    world.pump(0.5);
    print("player idle (device open, threads started)");
    world.setQueue({mp3});
    world.player->play();
    world.pump(5);
    print("playing an MP3 for 5 s");
    world.setQueue({covered});
    world.player->play();
    world.pump(5);
    print("playing an MP3 with a 4.3 MiB cover");
}

} // namespace

int main(int argc, char** argv)
{
    const double seconds = argc > 1 ? std::atof(argv[1]) : 20.0;
    // Optionally one part alone, e.g. for a profiler: memory, cpu, latency, restore.
    const std::string only = argc > 2 ? argv[2] : "";
    setenv("SDL_AUDIODRIVER", "dummy", 0);
    // As the window does: large blocks go back to the system when freed.
    mallopt(M_MMAP_THRESHOLD, 128 * 1024);
    const auto folder = std::filesystem::temp_directory_path() / "spoolora-audio-bench";
    std::filesystem::create_directories(folder);
    // A minute of something like music: a chord with noise, stereo, 44.1 kHz.
    const std::string source =
        "-f lavfi -i \"sine=f=220:d=60,volume=0.3[a];sine=f=277:d=60,volume=0.3[b];"
        "anoisesrc=d=60:c=pink:a=0.1[c];[a][b][c]amix=3,aformat=channel_layouts=stereo:sample_rates=44100\"";
    const std::filesystem::path mp3 = folder / "minute.mp3", flac = folder / "minute.flac";
    if (!std::filesystem::exists(mp3) &&
        !run("ffmpeg -nostdin -v error -y -filter_complex_threads 1 " + source + " -b:a 256k " + mp3.string()))
        return 1;
    if (!std::filesystem::exists(flac) && !run("ffmpeg -nostdin -v error -y " + source + " " + flac.string()))
        return 1;

    // First, while nothing of FFmpeg has run in this process yet.
    if (only.empty() || only == "memory")
        benchMemory(folder, mp3);
    if (only.empty() || only == "cpu") {
    std::printf("Processor time per minute of playback (%g s played in real time, dummy driver):\n", seconds);
    for (const auto& file : {mp3, flac}) {
        double ours = 0;
        std::string threads;
        {
            World world;
            world.setQueue({file});
            world.pump(0.5);
            const double before = processCpuSeconds();
            const auto threadsBefore = threadCpuSeconds();
            world.player->play();
            world.pump(seconds);
            ours = (processCpuSeconds() - before) * 60.0 / seconds;
            for (const auto& [name, cpu] : threadCpuSeconds())
                threads += "  " + name + " " +
                           std::to_string((cpu - (threadsBefore.count(name) ? threadsBefore.at(name) : 0)) * 60.0 /
                                          seconds)
                               .substr(0, 5);
        }
        const double childBefore = childrenCpuSeconds();
        run("ffmpeg -nostdin -v error -threads 1 -i " + file.string() + " -f null -");
        const double ffmpeg = childrenCpuSeconds() - childBefore;
        std::printf("  %-5s  spoolora %6.3f s/min   ffmpeg -f null %6.3f s/min   ratio %.2f\n",
                    file.extension().c_str() + 1, ours, ffmpeg, ffmpeg > 0 ? ours / ffmpeg : 0.0);
        std::printf("         by thread (s/min):%s\n", threads.c_str());
    }

    }
    if (only.empty() || only == "restore")
        benchRestore(folder);
    if (!only.empty() && only != "latency")
        return 0;
    World world;
    world.setQueue({flac, mp3});
    // Commands come at any moment between two calls of the audio callback, not in
    // step with them: each wait is stretched by a random part of the device's buffer.
    std::mt19937 random(9);
    std::uniform_real_distribution<double> buffers(0.0, double(world.player->output().latencyFrames()) /
                                                          world.player->output().sampleRate());
    const auto settle = [&](double seconds) { world.pump(seconds + buffers(random)); };
    std::vector<double> cold, play, skip, seek;
    for (int i = 0; i < 16; ++i) {
        // A new queue and play at once: the file still to be opened.
        world.player->pause();
        settle(0.1);
        const std::int64_t queued = media::monotonicNowNs();
        world.setQueue({i % 2 ? mp3 : flac, i % 2 ? flac : mp3});
        world.player->play();
        cold.push_back(waitForSound(world, queued, false, 0));
        world.player->pause();

        settle(0.3);   // paused: the decoder has filled its lookahead
        const std::uint64_t handed = world.player->output().report().handedFrames;
        const std::int64_t start = media::monotonicNowNs();
        world.player->play();
        play.push_back(waitForSound(world, start, true, handed));
        settle(0.3);

        const std::int64_t skipped = media::monotonicNowNs();
        world.player->skipToNextItem();
        world.player->setRepeatMode(platform::RepeatMode::All);
        skip.push_back(waitForSound(world, skipped, false, 0));
        settle(0.3);

        const std::int64_t seeking = media::monotonicNowNs();
        world.player->beginSeekingForward();
        seek.push_back(waitForSound(world, seeking, false, 0));
        settle(0.2);
        world.player->endSeeking();
        world.player->pause();
    }
    // Paused long enough for the device to be closed: play opens it again.
    std::vector<double> reopened;
    for (int i = 0; i < 4; ++i) {
        world.player->pause();
        while (!world.player->output().isReleased())
            world.pump(0.1);
        const std::uint64_t handed = world.player->output().report().handedFrames;
        const std::int64_t start = media::monotonicNowNs();
        world.player->play();
        reopened.push_back(waitForSound(world, start, true, handed));
        settle(0.3);
    }
    std::printf("Latency (dummy driver, %d-frame device buffer at %d Hz):\n", world.player->output().latencyFrames(),
                world.player->output().sampleRate());
    printSpread("  new queue and play (tags read, file opened)", cold);
    printSpread("  play to first sample handed over", play);
    printSpread("  the same, the device closed while paused", reopened);
    printSpread("  skip to first sample of the new item", skip);
    printSpread("  seek to first sample of the cue", seek);
    std::printf("  (the device's buffer adds %.1f ms before a sample handed over is heard)\n",
                1e3 * world.player->output().latencyFrames() / world.player->output().sampleRate());
    return 0;
}
