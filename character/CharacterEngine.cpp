#include "character/CharacterEngine.h"

#include <algorithm>
#include <array>

namespace velkora {

namespace {

// Frames of no duration still take one step of the loop, so that no animation can spin.
constexpr int kShortestFrameMs = 10;

// Which overlays stand in for a mouth shape the frame does not have, nearest first.
const std::vector<MouthShape>& fallbacks(MouthShape shape) {
    using M = MouthShape;
    static const std::array<std::vector<MouthShape>, 7> table = {{
        {M::Closed},
        {M::Wide1, M::Wide2, M::Medium, M::Narrow},
        {M::Wide2, M::Wide1, M::Wide3, M::Medium},
        {M::Wide3, M::Wide4, M::Wide2, M::Medium},
        {M::Wide4, M::Wide3, M::Wide2, M::Medium},
        {M::Medium, M::Wide2, M::Wide1, M::Narrow},
        {M::Narrow, M::Medium, M::Wide1, M::Closed},
    }};
    return table[static_cast<std::size_t>(shape)];
}

}  // namespace

CharacterEngine::CharacterEngine(EventLoop& loop, CharacterView& view, uint32_t seed,
                                 CharacterTiming timing)
    : loop_(loop),
      view_(view),
      random_(seed),
      timing_(timing),
      frameTimer_(loop.createTimer()),
      idleTimer_(loop.createTimer()),
      balloonTimer_(loop.createTimer()) {
    frameTimer_->setHandler([this] {
        frameTimer_->setEnabled(false);
        advance();
    });
    idleTimer_->setHandler([this] {
        idleTimer_->setEnabled(false);
        playIdle();
    });
    balloonTimer_->setHandler([this] {
        balloonTimer_->setEnabled(false);
        view_.hideBalloon();
    });
}

CharacterEngine::~CharacterEngine() {
    onHidden = nullptr;
    abortAll();
}

void CharacterEngine::setCharacter(std::shared_ptr<const AcsFile> file) {
    abortAll();
    if (onScreen_) {
        onScreen_ = false;
        view_.setOnScreen(false);
    }
    view_.hideBalloon();
    shownFrame_ = nullptr;
    file_ = std::move(file);
}

void CharacterEngine::abortAll() {
    queue_.clear();
    ++speechGeneration_;
    if (active_ && active_->utterance) {
        active_->utterance->stop();
    }
    active_.reset();
    frameTimer_->setEnabled(false);
    idleTimer_->setEnabled(false);
    balloonTimer_->setEnabled(false);
    running_ = false;
    anim_ = nullptr;
    leaveLoop_ = nullptr;
    animationDone_ = nullptr;
    owedReturn_ = nullptr;
    idling_ = false;
    mouth_.reset();
    reveal_.reset();
}

bool CharacterEngine::show() {
    return enqueue(Request{Kind::Show, {}, {}, nullptr});
}

bool CharacterEngine::hide() {
    return enqueue(Request{Kind::Hide, {}, {}, nullptr});
}

bool CharacterEngine::play(const std::string& animation) {
    if (!file_ || file_->findAnimation(animation) == nullptr) {
        return false;
    }
    return enqueue(Request{Kind::Play, animation, {}, nullptr});
}

bool CharacterEngine::speak(const std::string& text, std::unique_ptr<Utterance> utterance) {
    if (!utterance) {
        return false;
    }
    return enqueue(Request{Kind::Speak, {}, balloonText(text), std::move(utterance)});
}

void CharacterEngine::userHide() {
    if (!file_) {
        return;
    }
    stop();
    enqueue(Request{Kind::Hide, {}, {}, nullptr});
}

void CharacterEngine::stop() {
    const bool wasOnScreen = onScreen_;
    const AcsFrame* frame = shownFrame_;
    abortAll();
    view_.hideBalloon();
    // The pose stays as it stands, without a mouth.
    if (wasOnScreen && frame != nullptr) {
        display(frame);
    }
}

bool CharacterEngine::visible() const {
    for (auto it = queue_.rbegin(); it != queue_.rend(); ++it) {
        if (it->kind == Kind::Show) {
            return true;
        }
        if (it->kind == Kind::Hide) {
            return false;
        }
    }
    if (active_ && active_->kind == Kind::Show) {
        return true;
    }
    if (active_ && active_->kind == Kind::Hide) {
        return false;
    }
    return onScreen_;
}

bool CharacterEngine::enqueue(Request request) {
    if (!file_) {
        return false;
    }
    queue_.push_back(std::move(request));
    idleTimer_->setEnabled(false);
    idlePlays_ = 0;
    if (idling_) {
        interruptAnimation();
        return true;
    }
    // A looping animation with exit branches takes them from the frame it is on.
    if (running_ && looped_ && !exiting_ &&
        anim_->transition == static_cast<uint8_t>(AcsTransition::ExitBranches)) {
        exiting_ = true;
        exitSteps_ = 0;
    }
    pump();
    return true;
}

void CharacterEngine::pump() {
    if (pumping_) {
        return;
    }
    pumping_ = true;
    while (!active_ && !running_ && !queue_.empty()) {
        active_ = std::move(queue_.front());
        queue_.pop_front();
        start(*active_);
    }
    pumping_ = false;
    if (active_ || running_ || !onScreen_) {
        return;
    }
    // Nothing to do: back to the neutral pose, then rest until the next idle animation.
    if (owedReturn_ != nullptr) {
        leavePose([this] { pump(); });
        return;
    }
    if (!idleTimer_->enabled()) {
        scheduleIdle(idlePlays_ == 0 ? timing_.firstIdleMs : timing_.idleMinMs);
    }
}

void CharacterEngine::start(Request& request) {
    switch (request.kind) {
        case Kind::Show:
            startShow();
            break;
        case Kind::Hide:
            startHide();
            break;
        case Kind::Play:
            leavePose([this] {
                run(
                    file_->findAnimation(active_->name), [this] { return !queue_.empty(); },
                    [this] { complete(); });
            });
            break;
        case Kind::Speak:
            startSpeak(request);
            break;
    }
}

void CharacterEngine::complete() {
    active_.reset();
    pump();
}

// Animations ---------------------------------------------------------------------------------

void CharacterEngine::run(const AcsAnimation* animation, std::function<bool()> leaveLoop,
                          std::function<void()> done, bool isReturn) {
    if (animation == nullptr || animation->frames.empty()) {
        done();
        return;
    }
    anim_ = animation;
    frame_ = 0;
    running_ = true;
    looped_ = false;
    exiting_ = false;
    exitSteps_ = 0;
    playingReturn_ = isReturn;
    leaveLoop_ = std::move(leaveLoop);
    animationDone_ = std::move(done);
    showCurrentFrame();
}

void CharacterEngine::showCurrentFrame() {
    const AcsFrame& frame = anim_->frames[frame_];
    display(&frame);
    if (frame.sound >= 0) {
        if (auto wave = file_->sound(static_cast<std::size_t>(frame.sound))) {
            view_.playSound(*wave);
        }
    }
    frameTimer_->setInterval(std::max(kShortestFrameMs, frame.duration * 10));
    frameTimer_->setEnabled(false);
    frameTimer_->setEnabled(true);
}

void CharacterEngine::advance() {
    if (!running_) {
        return;
    }
    const AcsFrame& frame = anim_->frames[frame_];
    const std::size_t count = anim_->frames.size();
    const auto exitFrom = [&frame, this]() -> std::size_t {
        return frame.exitFrame >= 0 ? static_cast<std::size_t>(frame.exitFrame) : frame_ + 1;
    };
    std::size_t next = frame_ + 1;
    if (exiting_) {
        // Exit branches lead towards the end; a damaged chain that circles is cut off.
        next = ++exitSteps_ > count ? count : exitFrom();
    } else {
        if (!frame.branches.empty()) {
            const int roll = static_cast<int>(random_() % 100);
            int sum = 0;
            for (const AcsBranch& branch : frame.branches) {
                sum += branch.probability;
                if (roll < sum) {
                    next = branch.frame;
                    break;
                }
            }
        }
        // A loop goes on only while nothing is waiting for the character.
        if (next <= frame_ && !(leaveLoop_ && leaveLoop_())) {
            looped_ = true;
        } else if (next <= frame_) {
            if (anim_->transition == static_cast<uint8_t>(AcsTransition::ExitBranches)) {
                exiting_ = true;
                exitSteps_ = 1;
                next = exitFrom();
            } else {
                next = count;
            }
        }
    }
    if (next >= count) {
        finishAnimation();
        return;
    }
    frame_ = next;
    showCurrentFrame();
}

void CharacterEngine::finishAnimation() {
    frameTimer_->setEnabled(false);
    running_ = false;
    if (!playingReturn_ &&
        anim_->transition == static_cast<uint8_t>(AcsTransition::ReturnAnimation)) {
        const AcsAnimation* back = file_->findAnimation(anim_->returnAnimation);
        owedReturn_ = back != anim_ ? back : nullptr;
    }
    leaveLoop_ = nullptr;
    std::function<void()> done = std::move(animationDone_);
    animationDone_ = nullptr;
    if (done) {
        done();
    }
}

// Ends the running animation early: through its exit branches, or at once (its return
// animation is then owed).
void CharacterEngine::interruptAnimation() {
    if (!running_) {
        return;
    }
    if (anim_->transition == static_cast<uint8_t>(AcsTransition::ExitBranches) && !exiting_) {
        exiting_ = true;
        exitSteps_ = 0;
        frameTimer_->setEnabled(false);
        advance();
        return;
    }
    if (!exiting_) {
        finishAnimation();
    }
}

void CharacterEngine::leavePose(std::function<void()> then) {
    const AcsAnimation* back = owedReturn_;
    owedReturn_ = nullptr;
    if (back == nullptr) {
        then();
        return;
    }
    run(
        back, [this] { return !queue_.empty(); }, std::move(then), true);
}

const AcsAnimation* CharacterEngine::pickState(const char* state) {
    const std::vector<std::string> names = file_->stateAnimations(state);
    if (names.empty()) {
        return nullptr;
    }
    return file_->findAnimation(names[random_() % names.size()]);
}

void CharacterEngine::display(const AcsFrame* frame) {
    shownFrame_ = frame;
    if (frame == nullptr) {
        return;
    }
    if (active_ && active_->kind == Kind::Speak && !voiceStarted_ && !frame->overlays.empty()) {
        // Reached a frame with a mouth: the voice starts here. It draws the frame itself.
        beginVoice();
        return;
    }
    view_.showFrame(*frame, mouthOverlay(*frame));
}

const AcsOverlay* CharacterEngine::mouthOverlay(const AcsFrame& frame) const {
    if (!mouth_) {
        return nullptr;
    }
    for (MouthShape shape : fallbacks(*mouth_)) {
        for (const AcsOverlay& overlay : frame.overlays) {
            if (overlay.mouth == static_cast<uint8_t>(shape)) {
                return &overlay;
            }
        }
    }
    return nullptr;
}

// Requests ------------------------------------------------------------------------------------

void CharacterEngine::startShow() {
    if (onScreen_) {
        complete();
        return;
    }
    owedReturn_ = nullptr;
    const AcsAnimation* showing = pickState("Showing");
    if (showing != nullptr && !showing->frames.empty()) {
        run(
            showing, [this] { return !queue_.empty(); }, [this] { complete(); });
    } else {
        // No Showing animation: appear in the resting pose, or the file's first picture.
        const AcsAnimation* rest = file_->findAnimation("RestPose");
        if (rest == nullptr || rest->frames.empty()) {
            const auto& all = file_->animations();
            const auto it = std::find_if(all.begin(), all.end(),
                                         [](const AcsAnimation& a) { return !a.frames.empty(); });
            rest = it == all.end() ? nullptr : &*it;
        }
        display(rest != nullptr ? &rest->frames.front() : nullptr);
    }
    onScreen_ = true;
    view_.setOnScreen(true);
    if (!running_) {
        complete();
    }
}

void CharacterEngine::startHide() {
    if (!onScreen_) {
        complete();
        return;
    }
    balloonTimer_->setEnabled(false);
    view_.hideBalloon();
    leavePose([this] {
        run(pickState("Hiding"), nullptr, [this] {
            onScreen_ = false;
            owedReturn_ = nullptr;
            view_.setOnScreen(false);
            active_.reset();
            if (onHidden) {
                onHidden();
            }
            pump();
        });
    });
}

void CharacterEngine::startSpeak(Request& request) {
    voiceStarted_ = false;
    voiceDone_ = false;
    mouth_.reset();
    reveal_.reset();
    if (balloonEnabled_ && !request.text.empty()) {
        reveal_.emplace(request.text);
    }
    if (shownFrame_ != nullptr && !shownFrame_->overlays.empty()) {
        beginVoice();
        return;
    }
    leavePose([this] {
        const AcsAnimation* speaking = pickState("Speaking");
        run(
            speaking, [this] { return voiceDone_; },
            [this] {
                if (!voiceStarted_) {
                    beginVoice();
                } else {
                    maybeCompleteSpeak();
                }
            });
    });
}

void CharacterEngine::beginVoice() {
    voiceStarted_ = true;
    balloonTimer_->setEnabled(false);
    if (reveal_ && onScreen_) {
        view_.showBalloon(reveal_->text(), 0);
    } else {
        view_.hideBalloon();
    }
    if (shownFrame_ != nullptr) {
        view_.showFrame(*shownFrame_, mouthOverlay(*shownFrame_));
    }
    const uint64_t generation = ++speechGeneration_;
    const auto current = [this, generation] { return generation == speechGeneration_; };
    SpeechListener listener;
    listener.progress = [this, current](double progress) {
        if (current() && reveal_ && onScreen_) {
            view_.showBalloon(reveal_->text(), reveal_->visibleBytes(progress));
        }
    };
    listener.mouth = [this, current](MouthShape shape) {
        if (!current() || static_cast<uint8_t>(shape) > static_cast<uint8_t>(MouthShape::Narrow) ||
            mouth_ == shape) {
            return;
        }
        mouth_ = shape;
        if (shownFrame_ != nullptr) {
            view_.showFrame(*shownFrame_, mouthOverlay(*shownFrame_));
        }
    };
    listener.finished = [this, current] {
        if (!current()) {
            return;
        }
        ++speechGeneration_;
        voiceDone_ = true;
        mouth_.reset();
        if (shownFrame_ != nullptr) {
            view_.showFrame(*shownFrame_, nullptr);
        }
        if (reveal_ && onScreen_) {
            view_.showBalloon(reveal_->text(), reveal_->text().size());
            balloonTimer_->setInterval(timing_.balloonHoldMs);
            balloonTimer_->setEnabled(true);
        }
        maybeCompleteSpeak();
    };
    active_->utterance->start(std::move(listener));
}

void CharacterEngine::maybeCompleteSpeak() {
    if (voiceDone_ && !running_ && active_ && active_->kind == Kind::Speak) {
        reveal_.reset();
        complete();
    }
}

// Idling --------------------------------------------------------------------------------------

void CharacterEngine::scheduleIdle(int delayMs) {
    idleTimer_->setInterval(std::max(1, delayMs));
    idleTimer_->setEnabled(true);
}

void CharacterEngine::playIdle() {
    if (active_ || running_ || !queue_.empty() || !onScreen_) {
        return;
    }
    // The level by how long the character has been left alone; a level the character lacks
    // gives way to the one below it.
    const int level = idlePlays_ < timing_.level1Plays                         ? 1
                      : idlePlays_ < timing_.level1Plays + timing_.level2Plays ? 2
                                                                               : 3;
    const AcsAnimation* animation = nullptr;
    for (int l = level; l >= 1 && animation == nullptr; --l) {
        animation = pickState(("IdlingLevel" + std::to_string(l)).c_str());
    }
    ++idlePlays_;
    if (animation == nullptr) {
        return;
    }
    idling_ = true;
    run(
        animation, [this] { return !queue_.empty(); },
        [this] {
            idling_ = false;
            if (!queue_.empty()) {
                pump();
                return;
            }
            const int span = std::max(0, timing_.idleMaxMs - timing_.idleMinMs);
            scheduleIdle(timing_.idleMinMs + static_cast<int>(random_() % (span + 1)));
        });
}

}  // namespace velkora
