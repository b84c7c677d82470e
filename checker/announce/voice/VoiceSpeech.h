#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>

#include "character/SpeechOutput.h"
#include "character/TimedSpeech.h"
#include "common/EventLoop.h"

namespace velkora {

class Voice;
struct PlaybackMark;

// The desktop character's voice: texts spoken by the Voice, each at the volume in force when
// the character accepted it, with the character told as the speech is heard how far it has
// come (for the balloon) and how loud it is now (for the mouth). Where nothing can be heard
// (no synthesizer, no output device) the text goes by at a reading pace without sound.
//
//     VoiceSpeech speech(voice, loop);   // both outlive it; on the GUI thread
class VoiceSpeech final : public SpeechOutput {
public:
    VoiceSpeech(Voice& voice, EventLoop& loop);
    ~VoiceSpeech() override;
    VoiceSpeech(const VoiceSpeech&) = delete;
    VoiceSpeech& operator=(const VoiceSpeech&) = delete;

    std::unique_ptr<Utterance> prepare(const std::string& text) override;

    // The mouth for a loudness (0 to 1 of full scale), from closed to wide open.
    static MouthShape mouthFor(double level);

    class VoiceUtterance;

private:
    void onMark(const PlaybackMark& mark);

    Voice& voice_;
    EventLoop& loop_;
    TimedSpeech silent_;
    std::map<uint64_t, VoiceUtterance*> playing_;
};

}  // namespace velkora
