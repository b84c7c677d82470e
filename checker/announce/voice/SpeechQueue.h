#pragma once

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <mutex>
#include <string>
#include <thread>
#include <utility>

#include "checker/announce/voice/SpeechTags.h"

namespace velkora {

// Where the synthesized speech goes. Every call comes from the synthesis thread, in order:
// utteranceStarted, any number of pcm chunks, utteranceFinished (also for a text cut short).
class PcmReceiver {
public:
    virtual ~PcmReceiver() = default;
    virtual void utteranceStarted(uint64_t id) { (void)id; }
    // 16-bit mono samples at the engine's sample rate.
    virtual void pcm(const int16_t* samples, std::size_t count) = 0;
    virtual void utteranceFinished(uint64_t id) { (void)id; }
};

// Speaks queued texts one after another on its own thread, which alone uses the engine
// while it speaks, and hands the samples to the receiver as they are made.
class SpeechQueue {
public:
    explicit SpeechQueue(PcmReceiver& receiver, int defaultRate = kDefaultSpeechRate);
    // Cuts the current text short, drops the queued ones and waits for the thread to end.
    ~SpeechQueue();
    SpeechQueue(const SpeechQueue&) = delete;
    SpeechQueue& operator=(const SpeechQueue&) = delete;

    // Queues a text and returns at once with its number (1, 2, ... in queue order).
    uint64_t enqueue(std::string text);
    // The number the next enqueue will give (on the thread that enqueues).
    uint64_t nextId() const;
    // Drops the queued texts and cuts the one being spoken short.
    void clear();
    // True when nothing is queued or being spoken.
    bool idle() const;

private:
    void run();
    bool cancelled(uint64_t id) const;

    PcmReceiver& receiver_;
    const int defaultRate_;
    mutable std::mutex mutex_;
    std::condition_variable wake_;
    std::deque<std::pair<uint64_t, std::string>> pending_;
    uint64_t nextId_ = 1;
    bool speaking_ = false;
    bool stopping_ = false;
    // Texts numbered below this are not to be spoken any further.
    std::atomic<uint64_t> cancelBelow_{0};
    std::atomic<bool> stopRequested_{false};
    std::thread worker_;
};

}  // namespace velkora
