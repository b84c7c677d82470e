#include "character/TimedSpeech.h"

#include <algorithm>
#include <charconv>

#include "character/BalloonText.h"

namespace velkora {

namespace {

constexpr int kStepMilliseconds = 100;

// The last \Spd=n\ of the text, or 100.
int speedOf(const std::string& text) {
    int speed = 100;
    std::size_t at = 0;
    while ((at = text.find("\\Spd=", at)) != std::string::npos) {
        at += 5;
        int value = 0;
        const auto [end, error] =
            std::from_chars(text.data() + at, text.data() + text.size(), value);
        if (error == std::errc() && end < text.data() + text.size() && *end == '\\') {
            speed = std::clamp(value, 50, 400);
        }
    }
    return speed;
}

std::size_t characterCount(const std::string& text) {
    std::size_t count = 0;
    for (char c : text) {
        count += (static_cast<unsigned char>(c) & 0xC0) != 0x80 ? 1 : 0;
    }
    return count;
}

class TimedUtterance final : public Utterance {
public:
    TimedUtterance(EventLoop& loop, const std::string& text) : timer_(loop.createTimer()) {
        const double seconds = static_cast<double>(characterCount(balloonText(text))) /
                               (TimedSpeech::kCharactersPerSecond * speedOf(text) / 100.0);
        steps_ = std::max(1, static_cast<int>(seconds * 1000 / kStepMilliseconds));
        timer_->setHandler([this] { step(); });
    }

    void start(SpeechListener listener) override {
        listener_ = std::move(listener);
        timer_->setInterval(kStepMilliseconds);
        timer_->setEnabled(true);
    }

    void stop() override {
        if (timer_->enabled()) {
            finish();
        }
    }

private:
    void step() {
        ++done_;
        if (listener_.progress) {
            listener_.progress(std::min(1.0, static_cast<double>(done_) / steps_));
        }
        if (done_ >= steps_) {
            finish();
        }
    }

    void finish() {
        timer_->setEnabled(false);
        if (listener_.finished) {
            // The listener may destroy this utterance: call from a copy.
            auto finished = std::move(listener_.finished);
            listener_ = {};
            finished();
        }
    }

    std::unique_ptr<Timer> timer_;
    SpeechListener listener_;
    int steps_ = 1;
    int done_ = 0;
};

}  // namespace

std::unique_ptr<Utterance> TimedSpeech::prepare(const std::string& text) {
    return std::make_unique<TimedUtterance>(loop_, text);
}

}  // namespace velkora
