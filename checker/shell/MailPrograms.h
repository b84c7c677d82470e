#pragma once

#include <string>
#include <vector>

#include "common/MessageBox.h"

namespace velkora {

// A program to start: its arguments (the program first) and working folder (empty: ours).
struct LaunchCommand {
    std::vector<std::string> arguments;
    std::string workingDirectory;

    bool operator==(const LaunchCommand&) const = default;
};

// The command that starts a mail program: a desktop entry file as the desktop starts it, any
// other path as the program itself, without arguments. Empty arguments when a desktop entry
// cannot be read or names no program.
LaunchCommand mailerCommand(const std::string& path);

// Starts programs without waiting for them; they live on when the checker ends.
class ProgramStarter {
public:
    virtual ~ProgramStarter() = default;
    // False when the program could not be started.
    virtual bool startDetached(const LaunchCommand& command) = 0;
};

// Starts the user's mail programs (the platform's part of ExecMailapp).
class MailerLauncher {
public:
    MailerLauncher(ProgramStarter& starter, MessageBoxes& boxes)
        : starter_(starter), boxes_(boxes) {}

    // Starts the program at `path` and returns at once; nothing for an empty path. A program
    // that cannot be started gets a box naming its path; the checker goes on.
    void start(const std::string& path);

private:
    ProgramStarter& starter_;
    MessageBoxes& boxes_;
};

}  // namespace velkora
