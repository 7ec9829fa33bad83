#pragma once

#include <QApplication>
#include <QDialog>
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QPixmap>
#include <QScreen>
#include <QTimer>
#include <QWidget>
#include <QtTest>

#include <functional>

#include "picturesonscreen.h"

// Helpers for driving the manager's modal dialogs under the test's X server.
namespace DialogDriver {

// Runs `dialog` modally as its callers do; once its window is exposed, `action` runs inside the
// dialog's own event loop. A dialog still open after `timeoutMs` is ended with -1, so a missed click
// shows as a wrong result instead of a hung test.
inline int execWith(QDialog &dialog, const std::function<void()> &action, int timeoutMs = 20000)
{
    QTimer::singleShot(0, &dialog, [&dialog, action] {
        // Focus moves only inside the active window: wait until the dialog is it.
        dialog.activateWindow();
        if (!QTest::qWaitForWindowExposed(&dialog) || !QTest::qWaitForWindowActive(&dialog)) {
            dialog.done(-1);
            return;
        }
        action();
    });
    QTimer::singleShot(timeoutMs, &dialog, [&dialog] {
        if (dialog.isVisible())
            dialog.done(-1);
    });
    return dialog.exec();
}

// The picture of `widget`'s shown window, drawn by the window itself. The suite runs tests side by side
// on one X screen, where another test's window may cover this one, so the screen is not grabbed.
inline QImage grabShownWindow(QWidget *widget)
{
    return widget->window()->grab().toImage().convertToFormat(QImage::Format_RGB32);
}

// Keeps `image` as a test artefact under the build's test-artifacts folder.
inline bool keepArtifact(const QImage &image, const QString &name)
{
    QDir().mkpath(QStringLiteral(ORV_TEST_ARTIFACTS_DIR));
    return image.save(QStringLiteral(ORV_TEST_ARTIFACTS_DIR "/") + name + QStringLiteral(".png"));
}

// Applies the manager's application style sheet, as the program does at start.
inline bool applyManagerStyle()
{
    QFile style(QStringLiteral(ORV_MANAGER_STYLE));
    if (!style.open(QIODevice::ReadOnly))
        return false;
    qApp->setStyleSheet(QString::fromUtf8(style.readAll()));
    return true;
}

// One of the manager's pictures.
inline QImage managerPicture(const QString &name)
{
    return QImage(QStringLiteral(":/Images/Resources/Images/") + name + QStringLiteral(".png"));
}

// Whether `probe` of `shot` shows the manager's picture `name` (see PicturesOnScreen::showsPicture).
inline bool showsPicture(const QImage &shot, const QPoint &probe, const QString &name)
{
    return PicturesOnScreen::showsPicture(shot, probe, managerPicture(name));
}

} // namespace DialogDriver
