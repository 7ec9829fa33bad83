#pragma once

#include "calllogs.h"
#include "installtree.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QPointer>
#include <QTimer>

#include <functional>
#include <memory>

// An install tree with the simulated VirtualBox tool, the guest image and a recording stand-in for the
// emulator program, whose folders this test process uses too: the manager's windows and its VM tool
// run in the test process.
class WindowFixture
{
public:
    WindowFixture();
    ~WindowFixture();

    InstallTree &tree() { return *m_tree; }
    QString stateDir() const { return m_tree->root() + QStringLiteral("/vbox-state"); }
    QString xmlPath() const;
    // Runs the simulated tool directly, for preparing machines; true on exit 0.
    bool tool(const QStringList &args, QString *out = nullptr);
    // The tool's calls that change something, in order.
    QList<QStringList> modifyingCalls() const;
    void clearCalls() const;
    // How the emulator program was started, in order.
    QList<QStringList> emulatorStarts() const { return m_tree->calls(QStringLiteral("Orvanta")); }
    QString readFile(const QString &path) const;

private:
    std::unique_ptr<InstallTree> m_tree;
};

// The watchers of onNextDialog that have not acted yet.
QList<QPointer<QTimer>> &pendingDialogWatchers();
// Stops every watcher that has not acted; call it before the variables its action writes go away.
void cancelDialogWatchers();

// Runs `action` on the next modal dialog of type D once it shows, from inside the dialog's own event
// loop. Gives up after `timeoutMs`; the test then fails on the missing effect.
template <class D> void onNextDialog(const std::function<void(D *)> &action, int timeoutMs = 5000)
{
    auto *timer = new QTimer(qApp);
    pendingDialogWatchers() << timer;
    auto *clock = new QElapsedTimer;
    clock->start();
    QObject::connect(timer, &QTimer::timeout, timer, [timer, clock, action, timeoutMs] {
        auto *dialog = qobject_cast<D *>(QApplication::activeModalWidget());
        const bool ready = dialog && dialog->isVisible();
        if (!ready && clock->elapsed() < timeoutMs)
            return;
        timer->stop();
        timer->deleteLater();
        delete clock;
        if (ready)
            action(dialog);
    });
    timer->start(20);
}
