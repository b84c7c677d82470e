#include <gtest/gtest.h>

#include <QAbstractProxyModel>
#include <QApplication>
#include <QColorDialog>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QFileDialog>
#include <QFileSystemModel>
#include <QTemporaryDir>
#include <QTimer>

#include "options/gui/Choosers.h"

namespace velkora {
namespace {

void makeFile(const QString& path, bool executable) {
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("#!/bin/sh\n");
    file.close();
    if (executable) {
        file.setPermissions(file.permissions() | QFileDevice::ExeOwner);
    }
}

TEST(ChoosersTest, MailProgramChooserOffersProgramsAndDesktopEntries) {
    QTemporaryDir folder;
    makeFile(folder.filePath("mailer"), true);
    makeFile(folder.filePath("notes.txt"), false);
    makeFile(folder.filePath("thunder.desktop"), false);
    ASSERT_TRUE(QDir(folder.path()).mkdir("sub"));

    QStringList offered;
    QString title;
    QTimer::singleShot(0, [&] {
        auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
        if (!dialog) {
            ADD_FAILURE() << "no file dialog open";
            return;
        }
        title = dialog->windowTitle();
        QAbstractProxyModel* proxy = dialog->proxyModel();
        auto* files = proxy ? qobject_cast<QFileSystemModel*>(proxy->sourceModel()) : nullptr;
        if (!files) {
            ADD_FAILURE() << "no filtered file list";
            dialog->reject();
            return;
        }
        // The folder is read on another thread; wait for it, with a limit in case it was read
        // before we listened.
        QEventLoop loop;
        QObject::connect(files, &QFileSystemModel::directoryLoaded, &loop, &QEventLoop::quit);
        QTimer::singleShot(5000, &loop, &QEventLoop::quit);
        loop.exec();
        const QModelIndex root = proxy->mapFromSource(files->index(folder.path()));
        for (int row = 0; row < proxy->rowCount(root); ++row) {
            offered << proxy->index(row, 0, root).data().toString();
        }
        dialog->reject();
    });
    QtChoosers choosers;
    const QString chosen = choosers.chooseFile(nullptr, {QStringLiteral("ｱﾌﾟﾘｹｰｼｮﾝ"), {}, true},
                                               folder.path(), QStringLiteral("ﾒｰﾗｰの選択"));
    EXPECT_TRUE(chosen.isEmpty());
    EXPECT_EQ(title, "ﾒｰﾗｰの選択");
    offered.sort();
    EXPECT_EQ(offered.join(',').toStdString(), "mailer,sub,thunder.desktop");
}

TEST(ChoosersTest, ColourChooserStartsWithBlackCustomColoursAndCancelGivesMinusOne) {
    QColorDialog::setCustomColor(3, Qt::red);
    QTimer::singleShot(0, [] {
        if (auto* dialog = qobject_cast<QColorDialog*>(QApplication::activeModalWidget())) {
            dialog->reject();
        } else {
            ADD_FAILURE() << "no colour dialog open";
        }
    });
    QtChoosers choosers;
    EXPECT_EQ(choosers.chooseColour(nullptr), -1);
    EXPECT_EQ(QColorDialog::customColor(3), QColor(Qt::black));
}

}  // namespace
}  // namespace velkora
