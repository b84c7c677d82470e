#include "checker/announce/voice/SpeechQueue.h"

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "checker/announce/voice/SpeechEngine.h"

namespace velkora {
namespace {

using namespace std::chrono_literals;

// Records what the synthesis thread delivers; can hold the thread at the start of a text.
class RecordingReceiver final : public PcmReceiver {
public:
    struct Event {
        char kind;  // 's' started, 'f' finished
        uint64_t id;
    };

    void utteranceStarted(uint64_t id) override {
        std::unique_lock<std::mutex> lock(mutex_);
        events_.push_back({'s', id});
        current_ = id;
        changed_.notify_all();
        changed_.wait(lock, [this] { return !holding_; });
    }

    void pcm(const int16_t*, std::size_t count) override {
        std::lock_guard<std::mutex> lock(mutex_);
        samples_[current_] += count;
    }

    void utteranceFinished(uint64_t id) override {
        std::lock_guard<std::mutex> lock(mutex_);
        events_.push_back({'f', id});
        ++finished_;
        changed_.notify_all();
    }

    void hold() {
        std::lock_guard<std::mutex> lock(mutex_);
        holding_ = true;
    }
    void release() {
        std::lock_guard<std::mutex> lock(mutex_);
        holding_ = false;
        changed_.notify_all();
    }

    // Sleeps until `count` texts are finished; false after a generous time.
    bool waitFinished(std::size_t count) {
        std::unique_lock<std::mutex> lock(mutex_);
        return changed_.wait_for(lock, 60s, [&] { return finished_ >= count; });
    }
    bool waitStarted(uint64_t id) {
        std::unique_lock<std::mutex> lock(mutex_);
        return changed_.wait_for(lock, 60s, [&] {
            for (const Event& e : events_) {
                if (e.kind == 's' && e.id == id) {
                    return true;
                }
            }
            return false;
        });
    }

    std::string order() {
        std::lock_guard<std::mutex> lock(mutex_);
        std::string out;
        for (const Event& e : events_) {
            out += e.kind + std::to_string(e.id) + " ";
        }
        return out;
    }
    std::size_t samplesOf(uint64_t id) {
        std::lock_guard<std::mutex> lock(mutex_);
        return samples_[id];
    }

private:
    std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<Event> events_;
    std::map<uint64_t, std::size_t> samples_;
    uint64_t current_ = 0;
    std::size_t finished_ = 0;
    bool holding_ = false;
};

std::size_t renderedLength(const std::string& text) {
    return SpeechEngine::acquire()->render(text, kDefaultSpeechRate).size();
}

TEST(SpeechQueueTest, SpeaksQueuedTextsInOrderEachWhole) {
    ASSERT_TRUE(SpeechEngine::acquire()->available());
    const std::vector<std::string> texts = {"件名 会議のお知らせ \\Spd=100\\",
                                            "以上です \\Spd=100\\", "差出人 Sales \\Spd=200\\"};
    RecordingReceiver receiver;
    SpeechQueue queue(receiver);
    // Held at its first text, the thread cannot have taken the others: enqueue never waits.
    receiver.hold();
    std::vector<uint64_t> ids;
    for (const std::string& text : texts) {
        ids.push_back(queue.enqueue(text));
    }
    EXPECT_EQ(ids, (std::vector<uint64_t>{1, 2, 3}));
    ASSERT_TRUE(receiver.waitStarted(1));
    EXPECT_FALSE(queue.idle());
    EXPECT_EQ(receiver.order(), "s1 ");
    receiver.release();
    ASSERT_TRUE(receiver.waitFinished(3));
    EXPECT_EQ(receiver.order(), "s1 f1 s2 f2 s3 f3 ");
    for (std::size_t i = 0; i < texts.size(); ++i) {
        const auto expected = static_cast<double>(renderedLength(texts[i]));
        EXPECT_NEAR(static_cast<double>(receiver.samplesOf(ids[i])), expected, 0.02 * expected)
            << texts[i];
    }
    // The last text's end already finds the queue idle.
    EXPECT_TRUE(queue.idle());
}

TEST(SpeechQueueTest, ClearDropsQueuedTextsAndCutsTheCurrentOneShort) {
    RecordingReceiver receiver;
    SpeechQueue queue(receiver);
    receiver.hold();
    queue.enqueue("件名 会議のお知らせ");
    queue.enqueue("以上です");
    queue.enqueue("差出人 佐藤");
    ASSERT_TRUE(receiver.waitStarted(1));
    queue.clear();
    receiver.release();
    ASSERT_TRUE(receiver.waitFinished(1));
    // A text queued after the clear is spoken as usual.
    const uint64_t next = queue.enqueue("以上です");
    ASSERT_TRUE(receiver.waitFinished(2));
    EXPECT_EQ(receiver.order(), "s1 f1 s4 f4 ");
    EXPECT_EQ(next, 4u);
    EXPECT_EQ(receiver.samplesOf(1), 0u);
    EXPECT_GT(receiver.samplesOf(4), 0u);
}

TEST(SpeechQueueTest, DestroyingTheQueueDuringSpeechEndsItPromptly) {
    RecordingReceiver receiver;
    {
        SpeechQueue queue(receiver);
        std::string longText;
        for (int i = 0; i < 50; ++i) {
            longText += "件名 会議のお知らせ。";
        }
        queue.enqueue(longText);
        queue.enqueue(longText);
        ASSERT_TRUE(receiver.waitStarted(1));
    }
    // The text being spoken is ended as such; the queued one is never started.
    EXPECT_EQ(receiver.order(), "s1 f1 ");
}

}  // namespace
}  // namespace velkora
