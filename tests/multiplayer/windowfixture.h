#pragma once

#include "mpfixture.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QPointer>
#include <QTimer>

#include <functional>
#include <memory>

// An install tree with the simulated VirtualBox tool, the guest image and a recording stand-in for the
// emulator program, whose folders this test process uses too: the manager's windows and its VM tool
// run in the test process.
class WindowFixture : public ManagerFixture
{
public:
    WindowFixture() : ManagerFixture(true) {}

    // How the emulator program was started, in order.
    QList<QStringList> emulatorStarts() const { return tree().calls(QStringLiteral("Orvanta")); }
    QString readFile(const QString &path) const;
};

// The watchers of onNextDialog that have not acted yet.
QList<QPointer<QTimer>> &pendingDialogWatchers();
// Stops every watcher that has not acted; call it before the variables its action writes go away.
void cancelDialogWatchers();

// Runs `action` on the next modal dialog of type D once it shows, from inside the dialog's own event
// loop. Gives up after `timeoutMs`; the test then fails on the missing effect.
template <class D> void onNextDialog(const std::function<void(D *)> &action, int timeoutMs = 30000)
{
    auto *timer = new QTimer(qApp);
    pendingDialogWatchers() << timer;
    // The clock lives in the watcher itself: a watcher cancelled before it acted leaves nothing behind.
    QElapsedTimer clock;
    clock.start();
    QObject::connect(timer, &QTimer::timeout, timer, [timer, clock, action, timeoutMs] {
        auto *dialog = qobject_cast<D *>(QApplication::activeModalWidget());
        const bool ready = dialog && dialog->isVisible();
        if (!ready && clock.elapsed() < timeoutMs)
            return;
        timer->stop();
        timer->deleteLater();
        if (ready)
            action(dialog);
    });
    timer->start(20);
}
