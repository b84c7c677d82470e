#pragma once

#include <memory>
#include <string>

#include "character/SpeechOutput.h"

namespace velkora::test {

// Speech whose progress the test gives by hand.
class ManualSpeech final : public SpeechOutput {
public:
    class Manual final : public Utterance {
    public:
        explicit Manual(ManualSpeech& owner) : owner_(owner) {}
        ~Manual() override {
            if (owner_.current == this) {
                owner_.current = nullptr;
            }
        }
        void start(SpeechListener listener) override {
            listener_ = std::move(listener);
            owner_.current = this;
        }
        void stop() override {}
        SpeechListener listener_;

    private:
        ManualSpeech& owner_;
    };

    std::unique_ptr<Utterance> prepare(const std::string& text) override {
        prepared = text;
        return std::make_unique<Manual>(*this);
    }
    Manual* current = nullptr;
    std::string prepared;
};

}  // namespace velkora::test
