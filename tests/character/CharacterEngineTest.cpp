#include <gtest/gtest.h>

#include <algorithm>

#include "character/AcsWriter.h"
#include "character/CharacterEngine.h"
#include "tests/character/TestCharacter.h"
#include "tests/support/SimulatedEventLoop.h"

namespace velkora {
namespace {

// Records what the engine shows, as "<time> <what>" lines.
class RecordingView final : public CharacterView {
public:
    RecordingView(const test::SimulatedEventLoop& loop, const AcsFile& file)
        : loop_(loop), file_(file) {}

    void showFrame(const AcsFrame& frame, const AcsOverlay* mouth) override {
        std::string line = "frame " + frameName(frame);
        if (mouth != nullptr) {
            line += " mouth " + std::to_string(mouth->mouth);
        }
        record(line);
    }
    void setOnScreen(bool onScreen) override { record(onScreen ? "on" : "off"); }
    void showBalloon(const std::string& text, std::size_t visible) override {
        balloon = text.substr(0, visible);
        record("balloon " + balloon);
    }
    void hideBalloon() override {
        if (!balloon.empty()) {
            record("balloon hidden");
        }
        balloon.clear();
    }
    void playSound(std::span<const uint8_t> wave) override {
        record("sound " + std::to_string(wave.size()));
    }

    // The lines whose text starts with prefix.
    std::vector<std::string> lines(const std::string& prefix = {}) const {
        std::vector<std::string> out;
        for (const auto& [at, what] : log) {
            if (what.starts_with(prefix)) {
                out.push_back(what);
            }
        }
        return out;
    }
    // The time of the first line equal to what, or -1.
    int64_t timeOf(const std::string& what) const {
        for (const auto& [at, line] : log) {
            if (line == what) {
                return at;
            }
        }
        return -1;
    }

    std::vector<std::pair<int64_t, std::string>> log;
    std::string balloon;

private:
    std::string frameName(const AcsFrame& frame) const {
        for (const auto& animation : file_.animations()) {
            for (std::size_t i = 0; i < animation.frames.size(); ++i) {
                if (&animation.frames[i] == &frame) {
                    return animation.name + " " + std::to_string(i);
                }
            }
        }
        return "?";
    }
    void record(const std::string& what) { log.emplace_back(loop_.now(), what); }

    const test::SimulatedEventLoop& loop_;
    const AcsFile& file_;
};

// Speech whose progress the test drives.
class FakeUtterance final : public Utterance {
public:
    explicit FakeUtterance(std::string text, std::vector<FakeUtterance*>& started)
        : text_(std::move(text)), started_(started) {}
    ~FakeUtterance() override { std::erase(started_, this); }
    void start(SpeechListener listener) override {
        listener_ = std::move(listener);
        started_.push_back(this);
    }
    void stop() override {
        stopped = true;
        finish();
    }
    void progress(double p) { listener_.progress(p); }
    void mouth(MouthShape shape) { listener_.mouth(shape); }
    void finish() {
        auto finished = std::move(listener_.finished);
        std::erase(started_, this);
        if (finished) {
            finished();
        }
    }
    const std::string& text() const { return text_; }
    bool stopped = false;

private:
    std::string text_;
    std::vector<FakeUtterance*>& started_;
    SpeechListener listener_;
};

class CharacterEngineTest : public testing::Test {
protected:
    CharacterEngineTest()
        : file_(parseAcs(writeAcs(test::makeTestCharacter())).file),
          view_(loop_, *file_),
          engine_(loop_, view_, 42) {
        engine_.setCharacter(file_);
        engine_.onHidden = [this] { hiddenAt_.push_back(loop_.now()); };
        view_.log.clear();
    }

    std::unique_ptr<Utterance> utterance(const std::string& text) {
        return std::make_unique<FakeUtterance>(text, speaking_);
    }
    FakeUtterance* speaking() { return speaking_.empty() ? nullptr : speaking_.back(); }

    test::SimulatedEventLoop loop_;
    std::shared_ptr<const AcsFile> file_;
    RecordingView view_;
    CharacterEngine engine_;
    std::vector<FakeUtterance*> speaking_;
    std::vector<int64_t> hiddenAt_;
};

TEST_F(CharacterEngineTest, RequestsRunInOrderAndHideWaitsForTheSpeech) {
    ASSERT_TRUE(engine_.show());
    ASSERT_TRUE(engine_.play("greet"));
    ASSERT_TRUE(engine_.speak("差出人 佐藤 \\Spd=150\\", utterance("a")));
    ASSERT_TRUE(engine_.hide());
    EXPECT_FALSE(engine_.visible());  // where the queue is heading
    EXPECT_EQ(engine_.pendingRequests(), 4u);

    loop_.advanceBy(5000);
    // Show (2 × 100 ms), Greet (300 ms), its return animation (100 ms), then the Speaking
    // state's pose, whose mouth starts the voice.
    EXPECT_EQ(view_.timeOf("frame Show 0"), 0);
    EXPECT_EQ(view_.timeOf("frame Greet 0"), 200);
    EXPECT_EQ(view_.timeOf("frame GreetReturn 0"), 500);
    EXPECT_EQ(view_.timeOf("frame RestPose 0"), 600);
    ASSERT_NE(speaking(), nullptr);
    EXPECT_EQ(view_.balloon, "");
    EXPECT_TRUE(engine_.onScreen());
    EXPECT_TRUE(hiddenAt_.empty());

    speaking()->progress(0.3);
    EXPECT_EQ(view_.balloon, "差出人");
    speaking()->mouth(MouthShape::Wide4);  // not in the file: the nearest, Wide2
    EXPECT_EQ(view_.lines("frame").back(), "frame RestPose 0 mouth 2");
    speaking()->progress(0.7);
    EXPECT_EQ(view_.balloon, "差出人 佐藤");
    loop_.advanceBy(1000);
    speaking()->finish();
    const int64_t finishedAt = loop_.now();
    loop_.advanceBy(1000);
    // The Hiding animation after the speech, then off screen, then the Hide event.
    EXPECT_EQ(view_.timeOf("frame Hide 0"), finishedAt);
    EXPECT_EQ(view_.timeOf("off"), finishedAt + 200);
    EXPECT_EQ(hiddenAt_, std::vector<int64_t>{finishedAt + 200});
    EXPECT_FALSE(engine_.onScreen());
    EXPECT_EQ(engine_.pendingRequests(), 0u);
    // Nothing more happens while hidden: no idling.
    const std::size_t lines = view_.log.size();
    loop_.advanceBy(600000);
    EXPECT_EQ(view_.log.size(), lines);
}

TEST_F(CharacterEngineTest, UnknownNamesFailAtOnceAndNothingWorksWithoutACharacter) {
    EXPECT_FALSE(engine_.play("Nothing"));
    EXPECT_EQ(engine_.pendingRequests(), 0u);
    CharacterEngine empty(loop_, view_, 1);
    EXPECT_FALSE(empty.show());
    EXPECT_FALSE(empty.play("Greet"));
    EXPECT_FALSE(empty.speak("x", utterance("x")));
    EXPECT_FALSE(empty.visible());
}

TEST_F(CharacterEngineTest, LoopsRunUntilARequestWaitsThenLeaveByTheirExitBranch) {
    engine_.show();
    engine_.play("Process");
    // Show takes 200 ms; then frame 0, and frames 1 and 2 in turn, 100 ms each: frame 1 now.
    loop_.advanceBy(20350);
    ASSERT_NE(engine_.runningAnimation(), nullptr);
    EXPECT_EQ(engine_.runningAnimation()->name, "Process");
    EXPECT_EQ(view_.lines("frame").back(), "frame Process 1");
    view_.log.clear();
    engine_.play("Wave");
    loop_.advanceBy(2000);
    // Frame 1's exit branch leads to frame 3 (not on to 2), and Wave follows.
    const auto frames = view_.lines("frame");
    ASSERT_GE(frames.size(), 2u);
    EXPECT_EQ(frames[0], "frame Process 3");
    EXPECT_EQ(frames[1], "frame Wave 0");
}

TEST_F(CharacterEngineTest, BranchesFollowTheirProbabilityAndFramesPlayTheirSounds) {
    engine_.show();
    loop_.advanceBy(1000);
    int skipped = 0;
    const int plays = 200;
    for (int i = 0; i < plays; ++i) {
        view_.log.clear();
        engine_.play("Wave");
        loop_.runUntil([this] { return engine_.pendingRequests() == 0; });
        const bool sawFrame1 = view_.timeOf("frame Wave 1") >= 0;
        skipped += sawFrame1 ? 0 : 1;
        EXPECT_EQ(view_.timeOf("sound 244") >= 0, sawFrame1);
    }
    EXPECT_GT(skipped, plays * 35 / 100);
    EXPECT_LT(skipped, plays * 65 / 100);
}

TEST_F(CharacterEngineTest, IdleAnimationsComeNowAndThenAndGiveWayToRequests) {
    CharacterTiming timing;
    CharacterEngine engine(loop_, view_, 7, timing);
    engine.setCharacter(file_);
    engine.show();
    view_.log.clear();
    loop_.advanceBy(timing.firstIdleMs - 100);
    EXPECT_TRUE(view_.lines("frame Idle").empty());
    // Over ten minutes: level 1 idles, then level 2, none closer together than the minimum.
    loop_.advanceBy(600000);
    std::vector<int64_t> starts;
    bool level2 = false;
    for (const auto& [at, line] : view_.log) {
        if (line == "frame Idle1_1 0" || line == "frame Idle1_2 0") {
            EXPECT_FALSE(level2) << "level 1 after level 2 at " << at;
            starts.push_back(at);
        } else if (line == "frame Idle2_1 0") {
            level2 = true;
            starts.push_back(at);
        }
    }
    EXPECT_TRUE(level2);
    ASSERT_GE(starts.size(), static_cast<std::size_t>(timing.level1Plays + 1));
    for (std::size_t i = 1; i < starts.size(); ++i) {
        EXPECT_GE(starts[i] - starts[i - 1], timing.idleMinMs);
    }
    // A request during an idle animation cuts it short.
    loop_.runUntil([&engine] { return engine.runningAnimation() != nullptr; });
    view_.log.clear();
    engine.play("Greet");
    EXPECT_EQ(view_.timeOf("frame Greet 0"), loop_.now());
}

TEST_F(CharacterEngineTest, TheUsersHideCutsTheSpeechShortAndDropsTheQueue) {
    engine_.show();
    engine_.speak("一つ目", utterance("1"));
    engine_.speak("二つ目", utterance("2"));
    engine_.play("Greet");
    loop_.advanceBy(1000);
    FakeUtterance* first = speaking();
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(first->text(), "1");
    first->progress(1.0);
    EXPECT_EQ(view_.balloon, "一つ目");
    engine_.userHide();
    EXPECT_EQ(view_.balloon, "");
    loop_.advanceBy(1000);
    EXPECT_EQ(hiddenAt_.size(), 1u);
    EXPECT_EQ(speaking(), nullptr);
    EXPECT_EQ(engine_.pendingRequests(), 0u);
    EXPECT_TRUE(view_.lines("frame Greet").empty());
    // Shown again, it speaks what it is asked next, with its balloon gone after the speech.
    engine_.show();
    engine_.speak("三つ目", utterance("3"));
    loop_.advanceBy(1000);
    ASSERT_NE(speaking(), nullptr);
    speaking()->finish();
    EXPECT_EQ(view_.balloon, "三つ目");
    loop_.advanceBy(CharacterTiming{}.balloonHoldMs);
    EXPECT_EQ(view_.balloon, "");
}

}  // namespace
}  // namespace velkora
