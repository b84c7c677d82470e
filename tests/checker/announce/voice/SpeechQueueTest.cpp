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

// Records what the synthesis thread delivers as "s<id> " (started) and "f<id> " (finished);
// can hold the thread at the start of a text.
class RecordingReceiver final : public PcmReceiver {
public:
    void utteranceStarted(uint64_t id) override {
        std::unique_lock<std::mutex> lock(mutex_);
        order_ += "s" + std::to_string(id) + " ";
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
        order_ += "f" + std::to_string(id) + " ";
        changed_.notify_all();
    }

    void hold(bool on) {
        std::lock_guard<std::mutex> lock(mutex_);
        holding_ = on;
        changed_.notify_all();
    }
    // Sleeps until the record holds `entry`; false after a generous time.
    bool waitFor(const std::string& entry) {
        std::unique_lock<std::mutex> lock(mutex_);
        return changed_.wait_for(lock, 60s,
                                 [&] { return order_.find(entry) != std::string::npos; });
    }
    std::string order() {
        std::lock_guard<std::mutex> lock(mutex_);
        return order_;
    }
    std::size_t samplesOf(uint64_t id) {
        std::lock_guard<std::mutex> lock(mutex_);
        return samples_[id];
    }

private:
    std::mutex mutex_;
    std::condition_variable changed_;
    std::string order_;
    std::map<uint64_t, std::size_t> samples_;
    uint64_t current_ = 0;
    bool holding_ = false;
};

TEST(SpeechQueueTest, SpeaksQueuedTextsInOrderEachWhole) {
    ASSERT_TRUE(SpeechEngine::acquire()->available());
    const std::vector<std::string> texts = {"件名 会議のお知らせ \\Spd=100\\",
                                            "以上です \\Spd=100\\", "差出人 Sales \\Spd=200\\"};
    RecordingReceiver receiver;
    SpeechQueue queue(receiver);
    // Held at its first text, the thread cannot have taken the others: enqueue never waits.
    receiver.hold(true);
    std::vector<uint64_t> ids;
    for (const std::string& text : texts) {
        ids.push_back(queue.enqueue(text));
    }
    EXPECT_EQ(ids, (std::vector<uint64_t>{1, 2, 3}));
    ASSERT_TRUE(receiver.waitFor("s1 "));
    EXPECT_FALSE(queue.idle());
    receiver.hold(false);
    ASSERT_TRUE(receiver.waitFor("f3 "));
    EXPECT_EQ(receiver.order(), "s1 f1 s2 f2 s3 f3 ");
    for (std::size_t i = 0; i < texts.size(); ++i) {
        const auto expected = static_cast<double>(
            SpeechEngine::acquire()->render(texts[i], kDefaultSpeechRate).size());
        EXPECT_NEAR(static_cast<double>(receiver.samplesOf(ids[i])), expected, 0.02 * expected)
            << texts[i];
    }
    // The last text's end already finds the queue idle.
    EXPECT_TRUE(queue.idle());
}

TEST(SpeechQueueTest, ClearDropsQueuedTextsAndCutsTheCurrentOneShort) {
    RecordingReceiver receiver;
    SpeechQueue queue(receiver);
    receiver.hold(true);
    for (const char* text : {"件名 会議のお知らせ", "以上です", "差出人 佐藤"}) {
        queue.enqueue(text);
    }
    ASSERT_TRUE(receiver.waitFor("s1 "));
    queue.clear();
    receiver.hold(false);
    // A text queued after the clear is spoken as usual.
    EXPECT_EQ(queue.enqueue("以上です"), 4u);
    ASSERT_TRUE(receiver.waitFor("f4 "));
    EXPECT_EQ(receiver.order(), "s1 f1 s4 f4 ");
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
        ASSERT_TRUE(receiver.waitFor("s1 "));
    }
    // The text being spoken is ended as such; the queued one is never started.
    EXPECT_EQ(receiver.order(), "s1 f1 ");
}

}  // namespace
}  // namespace velkora
