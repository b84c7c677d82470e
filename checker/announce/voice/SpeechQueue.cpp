#include "checker/announce/voice/SpeechQueue.h"

#include "checker/announce/voice/SpeechEngine.h"

namespace velkora {

SpeechQueue::SpeechQueue(PcmReceiver& receiver, int defaultRate)
    : receiver_(receiver), defaultRate_(defaultRate), worker_([this] { run(); }) {}

SpeechQueue::~SpeechQueue() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stopping_ = true;
        pending_.clear();
    }
    stopRequested_ = true;
    wake_.notify_all();
    worker_.join();
}

uint64_t SpeechQueue::enqueue(std::string text) {
    uint64_t id = 0;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        id = nextId_++;
        pending_.emplace_back(id, std::move(text));
    }
    wake_.notify_one();
    return id;
}

uint64_t SpeechQueue::nextId() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return nextId_;
}

void SpeechQueue::clear() {
    std::lock_guard<std::mutex> lock(mutex_);
    pending_.clear();
    cancelBelow_ = nextId_;
}

bool SpeechQueue::idle() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return pending_.empty() && !speaking_;
}

bool SpeechQueue::cancelled(uint64_t id) const {
    return stopRequested_ || id < cancelBelow_;
}

void SpeechQueue::run() {
    while (true) {
        std::pair<uint64_t, std::string> job;
        {
            std::unique_lock<std::mutex> lock(mutex_);
            wake_.wait(lock, [this] { return stopping_ || !pending_.empty(); });
            if (stopping_) {
                return;
            }
            job = std::move(pending_.front());
            pending_.pop_front();
            speaking_ = true;
        }
        const uint64_t id = job.first;
        receiver_.utteranceStarted(id);
        if (!cancelled(id)) {
            SpeechEngine::Lease engine = SpeechEngine::acquire();
            engine->synthesize(job.second, defaultRate_,
                               [this, id](const int16_t* samples, std::size_t count) {
                                   if (cancelled(id)) {
                                       return false;
                                   }
                                   receiver_.pcm(samples, count);
                                   return true;
                               });
        }
        {
            std::lock_guard<std::mutex> lock(mutex_);
            speaking_ = false;
        }
        receiver_.utteranceFinished(id);
    }
}

}  // namespace velkora
