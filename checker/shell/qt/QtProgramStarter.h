#pragma once

#include "checker/shell/MailPrograms.h"

namespace velkora {

// Starts programs detached with QProcess: they are not our children and outlive the checker.
class QtProgramStarter final : public ProgramStarter {
public:
    bool startDetached(const LaunchCommand& command) override;
};

}  // namespace velkora
