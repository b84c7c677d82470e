#include "checker/shell/qt/QtProgramStarter.h"

#include <QProcess>
#include <QString>
#include <QStringList>

namespace velkora {

bool QtProgramStarter::startDetached(const LaunchCommand& command) {
    if (command.arguments.empty()) {
        return false;
    }
    QProcess process;
    process.setProgram(QString::fromStdString(command.arguments.front()));
    QStringList arguments;
    for (std::size_t i = 1; i < command.arguments.size(); ++i) {
        arguments << QString::fromStdString(command.arguments[i]);
    }
    process.setArguments(arguments);
    if (!command.workingDirectory.empty()) {
        process.setWorkingDirectory(QString::fromStdString(command.workingDirectory));
    }
    // The program's output goes where ours goes; it never waits on a pipe nobody reads.
    process.setStandardInputFile(QProcess::nullDevice());
    // Reports a program that cannot be executed (missing, no permission, not a program).
    return process.startDetached();
}

}  // namespace velkora
