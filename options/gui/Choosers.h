#pragma once

#include <cstdint>

#include <QString>

class QWidget;

namespace velkora {

// What an open-file dialog offers: one description with one pattern, or, for a mail program,
// every executable file and every desktop entry (*.desktop).
struct FileFilter {
    QString description;
    QString pattern;
    bool programs = false;
};

// The system's file and colour dialogs, modal over their owner.
class Choosers {
public:
    virtual ~Choosers() = default;

    // The full path of the chosen existing file, or the empty text when cancelled.
    virtual QString chooseFile(QWidget* owner, const FileFilter& filter,
                               const QString& initialFolder, const QString& title) = 0;
    // The chosen colour as 0x00BBGGRR, or -1 when cancelled. The sixteen custom colours
    // start black every time.
    virtual int32_t chooseColour(QWidget* owner) = 0;
};

class QtChoosers final : public Choosers {
public:
    QString chooseFile(QWidget* owner, const FileFilter& filter, const QString& initialFolder,
                       const QString& title) override;
    int32_t chooseColour(QWidget* owner) override;
};

}  // namespace velkora
