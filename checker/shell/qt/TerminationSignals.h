#pragma once

#include <functional>
#include <memory>

class QSocketNotifier;

namespace velkora {

// Turns SIGTERM, SIGHUP and SIGINT (the end of the desktop session, a logout, Ctrl+C) into one
// call on the GUI thread, through a pipe that the signal handler writes to.
class TerminationSignals {
public:
    explicit TerminationSignals(std::function<void()> onSignal);
    ~TerminationSignals();
    TerminationSignals(const TerminationSignals&) = delete;
    TerminationSignals& operator=(const TerminationSignals&) = delete;

private:
    std::function<void()> onSignal_;
    std::unique_ptr<QSocketNotifier> notifier_;
};

}  // namespace velkora
