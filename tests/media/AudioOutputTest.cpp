// The output alone, fed by hand: blocks written into the ring as the decoder would,
// heard through SDL's disk driver.

#include "MediaTestSupport.h"
#include "media/AudioOutput.h"
#include "media/AudioRing.h"

#include <algorithm>
#include <cmath>
#include <numbers>
#include <thread>

namespace media::test {
namespace {

constexpr double rate = 44100;
constexpr float amplitude = 0.5f;

class Output : public PlayerTest {
protected:
    // Writes `seconds` of a tone on one side (0 left, 1 right) as full blocks of one program (`epoch`).
    void write(double hertz, double seconds, std::uint64_t epoch, int side)
    {
        const auto frames = static_cast<std::size_t>(seconds * rate);
        for (std::size_t done = 0; done < frames;) {
            AudioBlock* block = ring.writable();
            ASSERT_NE(block, nullptr) << "ring full";
            block->frames = static_cast<std::uint32_t>(std::min(frames - done, AudioBlock::capacityFrames));
            block->flags = 0;
            block->epoch = epoch;
            block->item = 0;
            block->itemSerial = 0;
            block->position = double(done) / rate;
            block->rate = 1;
            for (std::uint32_t i = 0; i < block->frames; ++i) {
                const float sample = amplitude * float(std::sin(2 * std::numbers::pi * hertz * double(done + i) / rate));
                block->samples[2 * i + side] = sample;
                block->samples[2 * i + 1 - side] = 0.0f;
            }
            done += block->frames;
            ring.publish();
        }
    }
    static void wait(double seconds) { std::this_thread::sleep_for(std::chrono::duration<double>(seconds)); }

    AudioRing ring{256};
};

TEST_F(Output, AJumpCrossfadesTheOldSoundIntoTheNewWithoutAClick)
{
    {
        AudioOutput output(ring, 44100);
        ASSERT_EQ(output.driverName(), "disk");
        // The old sound on the left, the new on the right, to tell them apart.
        write(440, 0.6, 1, 0);
        output.setEpoch(1);
        output.setRunning(true);
        wait(0.2);
        // A jump: the new sound is ready behind what is left of the old when the callback
        // next looks.
        write(660, 0.5, 2, 1);
        output.setEpoch(2);
        wait(0.6);
        output.setRunning(false);
        wait(0.1);
    }
    const Recording out = readRecording(folder / "out.raw");
    const auto sounding = [](float sample) { return sample != 0.0f; };
    const auto leftEnd = std::size_t(std::find_if(out.left.rbegin(), out.left.rend(), sounding).base() - out.left.begin());
    const auto rightStart = std::size_t(std::find_if(out.right.begin(), out.right.end(), sounding) - out.right.begin());
    ASSERT_LT(rightStart, out.right.size());
    ASSERT_GT(rightStart, out.firstSound() + std::size_t(0.15 * rate));
    // The new sound fades in over the very frames the old fades out on: 10 ms, not one after the other.
    EXPECT_NEAR(double(leftEnd) - double(rightStart), rate / 100, 2.0);
    EXPECT_NEAR(frequencyOf(out.left, rightStart - 8820, rightStart, rate), 440.0, 1.0);
    EXPECT_NEAR(frequencyOf(out.right, rightStart + 882, rightStart + 13230, rate), 660.0, 1.0);
    // The new goes on from its first frame, whole: half a second of it.
    const auto rightEnd = std::size_t(std::find_if(out.right.rbegin(), out.right.rend(), sounding).base() - out.right.begin());
    EXPECT_NEAR(double(rightEnd - rightStart), 0.5 * rate, 2.0);
    // Neither side jumps from one frame to the next more than its tone itself does.
    const auto steepest = [](const std::vector<float>& side) {
        double most = 0;
        for (std::size_t i = 1; i < side.size(); ++i)
            most = std::max(most, double(std::abs(side[i] - side[i - 1])));
        return most;
    };
    EXPECT_LT(steepest(out.left), 1.05 * amplitude * 2 * std::numbers::pi * 440 / rate);
    EXPECT_LT(steepest(out.right), 1.05 * amplitude * 2 * std::numbers::pi * 660 / rate);
}

} // namespace
} // namespace media::test
