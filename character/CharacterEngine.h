#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <random>
#include <string>

#include "character/AcsFile.h"
#include "character/BalloonText.h"
#include "character/CharacterView.h"
#include "character/SpeechOutput.h"
#include "common/EventLoop.h"

namespace velkora {

struct CharacterTiming {
    // Quiet time before the first idle animation, and between later ones (chosen at random
    // in [idleMinMs, idleMaxMs]).
    int firstIdleMs = 8000;
    int idleMinMs = 10000;
    int idleMaxMs = 25000;
    // Idle animations played at level 1 before level 2, and at level 2 before level 3.
    int level1Plays = 6;
    int level2Plays = 12;
    // How long the balloon stays after the speech has ended.
    int balloonHoldMs = 1500;
};

// The character's behaviour, as an Agent character behaves: a queue of requests (show, hide,
// play, speak) that return at once and are carried out in order, animations that follow their
// frame durations and branches and end through their return animation or exit branches, speech
// with mouth overlays and a balloon revealed as the voice goes on, and idle animations now and
// then while nothing is asked of it. Runs on the event loop's timers; draws through the view.
class CharacterEngine {
public:
    CharacterEngine(EventLoop& loop, CharacterView& view, uint32_t seed = std::random_device{}(),
                    CharacterTiming timing = {});
    ~CharacterEngine();
    CharacterEngine(const CharacterEngine&) = delete;
    CharacterEngine& operator=(const CharacterEngine&) = delete;

    // Takes a character: what was queued or running is dropped, and it is off screen.
    void setCharacter(std::shared_ptr<const AcsFile> file);
    const std::shared_ptr<const AcsFile>& character() const { return file_; }

    // The requests; each returns at once, false when no character is set. Show plays the
    // Showing state's animation, Hide the Hiding state's and then leaves the screen and calls
    // onHidden. Play fails at once for a name the character does not have.
    bool show();
    bool hide();
    bool play(const std::string& animation);
    // Speaks with the Speaking state's animation (or in the current pose when that has mouth
    // overlays); the balloon shows `text` without its speech output tags.
    bool speak(const std::string& text, std::unique_ptr<Utterance> utterance);

    // What the user's "hide" does: drops every request, cuts speech short, and hides.
    void userHide();
    // Drops every request and ends the current one where it stands.
    void stop();

    // Whether the character is on screen once the queued requests have run; what a caller
    // deciding to show it needs.
    bool visible() const;
    // Whether it is on screen now.
    bool onScreen() const { return onScreen_; }
    // Requests not yet finished, the running one included.
    std::size_t pendingRequests() const { return queue_.size() + (active_ ? 1 : 0); }
    // The animation running now, or null.
    const AcsAnimation* runningAnimation() const { return running_ ? anim_ : nullptr; }

    void setBalloonEnabled(bool enabled) { balloonEnabled_ = enabled; }

    // After a hide (asked for or the user's) has left the screen.
    std::function<void()> onHidden;

private:
    enum class Kind { Show, Hide, Play, Speak };
    struct Request {
        Kind kind = Kind::Play;
        std::string name;
        std::string text;
        std::unique_ptr<Utterance> utterance;
    };

    bool enqueue(Request request);
    void pump();
    void start(Request& request);
    void complete();
    void abortAll();

    // Animations.
    void run(const AcsAnimation* animation, std::function<bool()> leaveLoop,
             std::function<void()> done, bool isReturn = false);
    void showCurrentFrame();
    void advance();
    void finishAnimation();
    void interruptAnimation();
    void leavePose(std::function<void()> then);
    const AcsAnimation* pickState(const char* state);
    void display(const AcsFrame* frame);
    const AcsOverlay* mouthOverlay(const AcsFrame& frame) const;

    // Requests.
    void startShow();
    void startHide();
    void startSpeak(Request& request);
    void beginVoice();
    void maybeCompleteSpeak();

    // Idling.
    void scheduleIdle(int delayMs);
    void playIdle();

    EventLoop& loop_;
    CharacterView& view_;
    std::mt19937 random_;
    CharacterTiming timing_;
    std::shared_ptr<const AcsFile> file_;
    std::unique_ptr<Timer> frameTimer_;
    std::unique_ptr<Timer> idleTimer_;
    std::unique_ptr<Timer> balloonTimer_;

    std::deque<Request> queue_;
    std::optional<Request> active_;
    bool pumping_ = false;
    bool onScreen_ = false;
    bool balloonEnabled_ = true;

    // The animation being played and where it stands.
    const AcsAnimation* anim_ = nullptr;
    std::size_t frame_ = 0;
    bool running_ = false;
    bool looped_ = false;
    bool exiting_ = false;
    bool playingReturn_ = false;
    std::size_t exitSteps_ = 0;
    std::function<bool()> leaveLoop_;
    std::function<void()> animationDone_;
    // The return animation owed by the last animation, played before the next one.
    const AcsAnimation* owedReturn_ = nullptr;
    const AcsFrame* shownFrame_ = nullptr;

    // The speech of the running Speak request.
    bool voiceStarted_ = false;
    bool voiceDone_ = false;
    std::optional<BalloonReveal> reveal_;
    std::optional<MouthShape> mouth_;
    // Raised for every speech started; listeners of an older one are ignored.
    uint64_t speechGeneration_ = 0;

    // Idling: animations played since the last request, and whether one is playing.
    int idlePlays_ = 0;
    bool idling_ = false;
};

}  // namespace velkora
