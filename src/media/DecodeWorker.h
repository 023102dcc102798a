#pragma once
// The decoding thread. The main thread gives it a program (which queue entry, from
// where, playing, cueing or reviewing); it decodes ahead into the ring, about half
// a second, opening and priming the next entry before the current one ends so that
// items join without a gap. Entries that cannot be played are skipped with one line
// on stderr; a queue in which every entry failed ends after one pass.

#include "media/AudioRing.h"
#include "media/ReplayGain.h"

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace media {

class AudioDecoder;

enum class Motion { Play, Cue, Review };

struct DecodeProgram {
    std::uint64_t epoch = 0;
    std::shared_ptr<const std::vector<std::string>> paths;
    // The entry to start from, or -1 for silence.
    std::int32_t item = -1;
    double position = 0;
    Motion motion = Motion::Play;
    std::int32_t repeatMode = 0;
};

// What the thread found out about the running program.
struct DecodeStatus {
    std::uint64_t epoch = 0;
    // The first entry it could open in this program, -1 while none.
    std::int32_t firstItem = -1;
    // Every entry failed or the queue ended before any sound: nothing will come.
    bool endedWithoutSound = false;
    // How many item ends the decoder has gone past in this program (the number of the
    // item, or the queue's end, it decodes now).
    std::uint32_t itemSerial = 0;
};

class DecodeWorker {
public:
    // Cueing and reviewing play at this multiple of real time.
    static constexpr int seekSpeed = 3;

    // Ring blocks enough for twice the lookahead at `outputRate`, so that after a skip
    // the new sound finds room while the stale still waits to be dropped.
    static std::size_t ringBlocksFor(int outputRate) noexcept;

    DecodeWorker(AudioRing& ring, int outputRate, ReplayGainMode replayGain);
    ~DecodeWorker();
    DecodeWorker(const DecodeWorker&) = delete;
    DecodeWorker& operator=(const DecodeWorker&) = delete;

    // Main thread. Replaces the running program; its epoch must be new.
    void start(DecodeProgram program);
    // Main thread. Applies to the next item end the listener reaches, even one
    // already decoded past.
    void setRepeatMode(std::int32_t mode);
    // Main thread. Applies from the next item opened.
    void setReplayGainMode(ReplayGainMode mode);
    DecodeStatus status() const;

private:
    void run();
    void begin();
    bool openItem(std::int32_t item, double position);
    void step();
    void stepReview();
    // Copies pending frames into ring blocks; returns false when the ring is full.
    bool pushPending();
    bool closeBlock();
    bool writeEnd();
    // Where the queue goes after an item ended (or failed to play): the item it went
    // to has the serial `serial` (as has the queue's end).
    struct Boundary {
        std::uint32_t serial = 0;
        std::int32_t fromItem = -1;
        bool failed = false;
        std::size_t failuresBefore = 0;
        std::optional<std::size_t> next;   // the item it went to; none: the queue ended
    };
    static constexpr std::size_t maxBoundaries = 16;
    std::optional<std::size_t> successor(const Boundary& boundary, std::int32_t repeatMode) const;
    void moveToNextItem(bool failed);
    // The repeat mode changed: item ends decided ahead under the old one are decided again.
    void reconsider(std::int32_t repeatMode);
    // How long to sleep before the next step: zero to work now, none to wait until told.
    std::optional<std::chrono::nanoseconds> restBeforeWork();

    AudioRing& ring_;
    const int outputRate_;

    mutable std::mutex mutex_;
    std::condition_variable wake_;
    DecodeProgram program_;             // guarded
    std::int32_t repeatMode_ = 0;       // guarded
    ReplayGainMode replayGainMode_;     // guarded
    DecodeStatus status_;               // guarded
    bool quit_ = false;                 // guarded

    // The thread's own state.
    DecodeProgram active_;
    std::unique_ptr<AudioDecoder> decoder_;
    std::int32_t item_ = -1;
    std::uint32_t itemSerial_ = 0;
    std::vector<Boundary> boundaries_;   // the latest, oldest first
    bool itemHadSound_ = false;
    bool startedPartWay_ = false;
    std::size_t failuresInARow_ = 0;
    float gain_ = 1.0f;
    bool idle_ = true;
    bool filling_ = true;
    bool endPending_ = false;
    bool anySound_ = false;
    std::vector<float> pending_;
    std::size_t pendingOffset_ = 0;   // frames already written
    double pendingPosition_ = 0;      // source seconds at pending_[pendingOffset_]
    double rate_ = 1;
    bool closeAfterPending_ = false;
    double reviewPosition_ = 0;
    AudioBlock* block_ = nullptr;
    std::uint64_t epochStartWritten_ = 0;

    std::thread thread_;
};

} // namespace media
