// The Android window's slots behind the menu that need no dialog of their own, in this process: the
// install dialog (packages of any letter case), the instance manager's start, copied text on the
// clipboard and the script state.

#include "androidwindow.h"

#include <QClipboard>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileSystemModel>
#include <QGuiApplication>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

class TestWindowSlots : public QObject
{
    Q_OBJECT

private slots:
    void installDialogShowsPackagesOfAnyCase();
    void multiPlayerStartsTheManager();
    void copiedTextAndScriptState();
};

void TestWindowSlots::installDialogShowsPackagesOfAnyCase()
{
    QTemporaryDir dir;
    for (const char *name : {"a.apk", "B.APK", "c.Ypk", "d.txt", "e.apk.txt", "f.png"}) {
        QFile file(dir.path() + QLatin1Char('/') + QLatin1String(name));
        QVERIFY(file.open(QIODevice::WriteOnly));
    }
    std::unique_ptr<QFileDialog> dialog(AndroidWindow::makeInstallDialog());
    QVERIFY(!dialog->parent());
    QCOMPARE(dialog->windowTitle(), QStringLiteral("MenuBar_Choose_File"));
    QCOMPARE(dialog->directory().absolutePath(), QDir::current().absolutePath());
    QCOMPARE(dialog->nameFilters(), QStringList{QStringLiteral("APK Files(*.apk *.ypk)")});
    QCOMPARE(dialog->fileMode(), QFileDialog::ExistingFiles);
    dialog->setDirectory(dir.path());
    dialog->show();
    auto *model = dialog->findChild<QFileSystemModel *>();
    QVERIFY(model);
    const QModelIndex root = model->index(dir.path());
    const auto shown = [&] {
        QStringList names;
        for (int row = 0; row < model->rowCount(root); ++row) {
            const QModelIndex index = model->index(row, 0, root);
            if (model->flags(index) & Qt::ItemIsEnabled)
                names << index.data().toString();
        }
        names.sort();
        return names;
    };
    QTRY_COMPARE(shown(), (QStringList{"B.APK", "a.apk", "c.Ypk"}));
}

void TestWindowSlots::multiPlayerStartsTheManager()
{
    QTemporaryDir dir;
    const QString script = dir.path() + QStringLiteral("/OrvMultiPlayer");
    {
        QFile file(script);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("#!/bin/sh\nprintf '%s\\n' \"$@\" > \"$0.args\"\n");
    }
    QVERIFY(QFile::setPermissions(script, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
    qputenv("PATH", dir.path().toLocal8Bit() + ':' + qgetenv("PATH"));
    AndroidWindow window;
    window.at_menu_multi_player_click();
    QTRY_VERIFY(QFileInfo(script + QStringLiteral(".args")).size() > 0);
    QFile args(script + QStringLiteral(".args"));
    QVERIFY(args.open(QIODevice::ReadOnly));
    QCOMPARE(args.readAll(), QByteArray("-from=0\n"));
}

void TestWindowSlots::copiedTextAndScriptState()
{
    AndroidWindow window;
    window.at_pavix_copy_text(QStringLiteral("from android \u4e2d"));
    QCOMPARE(QGuiApplication::clipboard()->text(), QStringLiteral("from android \u4e2d"));
    QSignalSpy state(&window, &AndroidWindow::script_state_changed);
    window.at_pavix_script_state_change(true);
    QVERIFY(window.isScriptRunning());
    window.at_pavix_script_state_change(false);
    QVERIFY(!window.isScriptRunning());
    QCOMPARE(state.size(), 2);
    QCOMPARE(state.at(0).at(0).toBool(), true);
    QCOMPARE(state.at(1).at(0).toBool(), false);
}

QTEST_MAIN(TestWindowSlots)
#include "tst_windowslots.moc"
