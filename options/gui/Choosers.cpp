#include "options/gui/Choosers.h"

#include <QColorDialog>
#include <QFileDialog>
#include <QFileInfo>
#include <QFileSystemModel>
#include <QSortFilterProxyModel>

#include "options/AccountList.h"

namespace velkora {

namespace {

// Folders, executable files and desktop entries: what can be started as a mail program.
class ProgramFilter final : public QSortFilterProxyModel {
public:
    using QSortFilterProxyModel::QSortFilterProxyModel;

protected:
    bool filterAcceptsRow(int sourceRow, const QModelIndex& sourceParent) const override {
        auto* files = qobject_cast<QFileSystemModel*>(sourceModel());
        if (!files) {
            return true;
        }
        const QFileInfo info = files->fileInfo(files->index(sourceRow, 0, sourceParent));
        return info.isDir() || info.suffix() == QLatin1String("desktop") ||
               (info.isFile() && info.isExecutable());
    }
};

}  // namespace

QString QtChoosers::chooseFile(QWidget* owner, const FileFilter& filter,
                               const QString& initialFolder, const QString& title) {
    QFileDialog dialog(owner, title, initialFolder);
    // Qt's own dialog everywhere: the program filter needs its model, and the three choosers
    // should look alike.
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setOption(QFileDialog::HideNameFilterDetails);
    dialog.setFileMode(QFileDialog::ExistingFile);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    if (filter.programs) {
        dialog.setNameFilter(filter.description + QStringLiteral(" (*)"));
        dialog.setProxyModel(new ProgramFilter(&dialog));
    } else {
        dialog.setNameFilter(filter.description + QStringLiteral(" (") + filter.pattern +
                             QStringLiteral(")"));
    }
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) {
        return {};
    }
    return dialog.selectedFiles().constFirst();
}

int32_t QtChoosers::chooseColour(QWidget* owner) {
    for (int i = 0; i < QColorDialog::customCount(); ++i) {
        QColorDialog::setCustomColor(i, Qt::black);
    }
    QColorDialog dialog(owner);
    if (dialog.exec() != QDialog::Accepted) {
        return -1;
    }
    const QColor chosen = dialog.selectedColor();
    return colourOf({chosen.red(), chosen.green(), chosen.blue()});
}

}  // namespace velkora
