#include "checker/shell/qt/ProgramWait.h"

#include <QProcess>
#include <QString>

namespace velkora {

bool runProgramAndWait(EventLoop& loop, const std::string& path) {
    QProcess process;
    process.setProgram(QString::fromStdString(path));
    // Its output goes to ours, so no pipe fills up while nobody reads it.
    process.setProcessChannelMode(QProcess::ForwardedChannels);
    process.setStandardInputFile(QProcess::nullDevice());
    bool ended = false;
    QObject::connect(&process, &QProcess::finished, [&ended] { ended = true; });
    QObject::connect(&process, &QProcess::errorOccurred,
                     [&ended, &process](QProcess::ProcessError) {
                         if (process.state() == QProcess::NotRunning) {
                             ended = true;
                         }
                     });
    process.start();
    if (!process.waitForStarted(-1)) {
        return false;
    }
    loop.runUntil([&ended] { return ended; });
    return true;
}

}  // namespace velkora
