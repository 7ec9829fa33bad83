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

// What the X server shows of `widget`'s window: a grab of the screen over the window's frame.
inline QImage grabOnScreen(QWidget *widget)
{
    QWidget *window = widget->window();
    const QPoint origin = window->mapToGlobal(QPoint(0, 0));
    QScreen *screen = window->screen() ? window->screen() : QGuiApplication::primaryScreen();
    return screen->grabWindow(0, origin.x(), origin.y(), window->width(), window->height()).toImage();
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

// The solid colour of one of the manager's placeholder pictures.
inline QRgb pictureColour(const QString &name)
{
    const QImage picture(QStringLiteral(":/Images/Resources/Images/") + name + QStringLiteral(".png"));
    return picture.isNull() ? 0 : picture.pixel(0, 0) | 0xff000000u;
}

} // namespace DialogDriver
