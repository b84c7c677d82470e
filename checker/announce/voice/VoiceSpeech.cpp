#include "checker/announce/voice/VoiceSpeech.h"

#include <algorithm>

#include "checker/announce/voice/Voice.h"

namespace velkora {

namespace {

// Longest time without news of an utterance before it is given up as lost (a device that
// vanished mid-sentence), so that the character never waits for ever.
constexpr int kSilenceLimitMs = 20000;

}  // namespace

class VoiceSpeech::VoiceUtterance final : public Utterance {
public:
    VoiceUtterance(VoiceSpeech& owner, std::string text, uint16_t level)
        : owner_(owner),
          text_(std::move(text)),
          level_(level),
          watchdog_(owner.loop_.createTimer()) {
        watchdog_->setHandler([this] { finish(); });
    }

    ~VoiceUtterance() override { unregister(); }

    void start(SpeechListener listener) override {
        Voice& voice = owner_.voice_;
        if (!voice.available() || !voice.hasOutputDevice()) {
            silent_ = owner_.silent_.prepare(text_);
            silent_->start(std::move(listener));
            return;
        }
        listener_ = std::move(listener);
        id_ = voice.say(text_, level_);
        owner_.playing_[id_] = this;
        watchdog_->setInterval(kSilenceLimitMs);
        watchdog_->setEnabled(true);
    }

    void stop() override {
        if (silent_) {
            silent_->stop();
            return;
        }
        if (id_ == 0) {
            return;
        }
        unregister();
        owner_.voice_.stop();
        // Told as an event, not from inside the call.
        watchdog_->setInterval(1);
        watchdog_->setEnabled(false);
        watchdog_->setEnabled(true);
    }

    void heard(const PlaybackMark& mark) {
        watchdog_->setEnabled(false);
        watchdog_->setEnabled(true);
        if (mark.finished) {
            finish();
            return;
        }
        // Until synthesis is done the length is not known: count the rest as at least as long
        // again, so the balloon never runs ahead of the voice.
        const double whole = static_cast<double>(mark.complete ? mark.total : 2 * mark.total);
        progress_ =
            std::max(progress_, whole > 0 ? static_cast<double>(mark.position) / whole : 0.0);
        if (listener_.progress) {
            listener_.progress(std::min(progress_, 1.0));
        }
        if (listener_.mouth) {
            listener_.mouth(mouthFor(mark.level));
        }
    }

private:
    void unregister() {
        if (id_ != 0) {
            owner_.playing_.erase(id_);
        }
    }

    void finish() {
        watchdog_->setEnabled(false);
        unregister();
        id_ = 0;
        if (listener_.finished) {
            // The listener may destroy this utterance.
            auto finished = std::move(listener_.finished);
            listener_ = {};
            finished();
        }
    }

    VoiceSpeech& owner_;
    std::string text_;
    uint16_t level_;
    std::unique_ptr<Timer> watchdog_;
    std::unique_ptr<Utterance> silent_;
    SpeechListener listener_;
    uint64_t id_ = 0;
    double progress_ = 0;
};

VoiceSpeech::VoiceSpeech(Voice& voice, EventLoop& loop)
    : voice_(voice), loop_(loop), silent_(loop) {
    if (voice_.available()) {
        voice_.output().onPlayback = [this](const PlaybackMark& mark) { onMark(mark); };
    }
}

VoiceSpeech::~VoiceSpeech() {
    if (voice_.available()) {
        voice_.output().onPlayback = nullptr;
    }
}

std::unique_ptr<Utterance> VoiceSpeech::prepare(const std::string& text) {
    return std::make_unique<VoiceUtterance>(*this, text, voice_.volume());
}

void VoiceSpeech::onMark(const PlaybackMark& mark) {
    const auto it = playing_.find(mark.utterance);
    if (it != playing_.end()) {
        it->second->heard(mark);
    }
}

MouthShape VoiceSpeech::mouthFor(double level) {
    if (level < 0.015) {
        return MouthShape::Closed;
    }
    if (level < 0.04) {
        return MouthShape::Narrow;
    }
    if (level < 0.07) {
        return MouthShape::Medium;
    }
    if (level < 0.10) {
        return MouthShape::Wide1;
    }
    if (level < 0.14) {
        return MouthShape::Wide2;
    }
    if (level < 0.19) {
        return MouthShape::Wide3;
    }
    return MouthShape::Wide4;
}

}  // namespace velkora
