#include "common/qt/QtEventLoop.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QObject>
#include <QSocketNotifier>
#include <QTimer>
#include <thread>
#include <utility>

namespace velkora {

namespace {

class QtTimer final : public Timer {
public:
    QtTimer() {
        // Precise: the session time-up counts 60 ms ticks, and the coarse kind may stretch
        // them by 5 %.
        timer_.setTimerType(Qt::PreciseTimer);
        QObject::connect(&timer_, &QTimer::timeout, [this] {
            // A copy, because the handler may destroy this timer (and with it handler_).
            Handler handler = handler_;
            if (handler) {
                handler();
            }
        });
    }

    void setHandler(Handler handler) override { handler_ = std::move(handler); }

    void setInterval(int milliseconds) override {
        interval_ = milliseconds < 0 ? 0 : milliseconds;
        if (enabled_) {
            restart();
        }
    }

    int interval() const override { return interval_; }

    void setEnabled(bool enabled) override {
        if (enabled == enabled_) {
            return;
        }
        enabled_ = enabled;
        if (enabled_) {
            restart();
        } else {
            timer_.stop();
        }
    }

    bool enabled() const override { return enabled_; }

private:
    // Starts the period anew from now. An interval of 0 gives no ticks at all: a 0 ms QTimer
    // would fire whenever the loop is idle.
    void restart() {
        if (interval_ > 0) {
            timer_.start(interval_);
        } else {
            timer_.stop();
        }
    }

    QTimer timer_;
    Handler handler_;
    int interval_ = 0;
    bool enabled_ = false;
};

class QtFdWatch final : public FdWatch {
public:
    QtFdWatch(int fd, FdReadiness readiness, std::function<void()> onReady)
        : notifier_(
              fd, readiness == FdReadiness::Read ? QSocketNotifier::Read : QSocketNotifier::Write),
          onReady_(std::move(onReady)) {
        QObject::connect(&notifier_, &QSocketNotifier::activated, [this] {
            // A copy, because the call may destroy this watch.
            std::function<void()> call = onReady_;
            if (call) {
                call();
            }
        });
        notifier_.setEnabled(true);
    }

    void setEnabled(bool enabled) override { notifier_.setEnabled(enabled); }

private:
    QSocketNotifier notifier_;
    std::function<void()> onReady_;
};

}  // namespace

struct QtEventLoop::Receiver {
    std::mutex mutex;
    std::unique_ptr<QObject> context = std::make_unique<QObject>();

    // From any thread: queues fn for the loop's thread, unless the loop is gone.
    void post(std::function<void()> fn) {
        std::lock_guard lock(mutex);
        if (context) {
            QMetaObject::invokeMethod(context.get(), std::move(fn), Qt::QueuedConnection);
        }
    }
};

QtEventLoop::QtEventLoop() : receiver_(std::make_shared<Receiver>()) {}

QtEventLoop::~QtEventLoop() {
    std::lock_guard lock(receiver_->mutex);
    receiver_->context.reset();
}

std::unique_ptr<Timer> QtEventLoop::createTimer() {
    return std::make_unique<QtTimer>();
}

void QtEventLoop::processPendingEvents() {
    QCoreApplication::processEvents(QEventLoop::AllEvents);
}

void QtEventLoop::runUntil(const std::function<bool()>& done) {
    // Each round blocks in the dispatcher until at least one event has been handled, so the
    // condition is tested again after every event and the thread sleeps in between.
    while (!done()) {
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
    }
}

void QtEventLoop::post(std::function<void()> fn) {
    receiver_->post(std::move(fn));
}

void QtEventLoop::runInBackground(std::function<void()> work, std::function<void()> done) {
    std::thread([receiver = receiver_, work = std::move(work), done = std::move(done)]() mutable {
        work();
        receiver->post(std::move(done));
    }).detach();
}

std::unique_ptr<FdWatch> QtEventLoop::watchFd(int fd, FdReadiness readiness,
                                              std::function<void()> onReady) {
    return std::make_unique<QtFdWatch>(fd, readiness, std::move(onReady));
}

}  // namespace velkora
