// The emulator itself (the same entry, controller, worker and dispatcher) whose GUI thread is held right
// after the controller's construction, before the tray and before the event loop, until the test lets
// it go: while $ORV_HOLD_RELEASE_FILE does not exist (at most 60 s). Whatever the start-up worker does
// meanwhile, it does without the GUI thread; its requests must still all be answered once it goes on.
// With $ORV_HOLD_EVENTS set the held thread handles events meanwhile, as an event loop run inside the
// construction would. Writes to $ORV_RECORD_DIR/startup-fixture.events, one line each: "held", then
// "released" (or "not released"), then "dialog shown <class name>" for every dialog that comes up; and
// logs "Fixture    : hold released".

#include "entry.h"
#include "maincontrol.h"

#include <QApplication>
#include <QDebug>
#include <QDialog>
#include <QElapsedTimer>
#include <QEvent>
#include <QFile>
#include <QThread>

namespace {

constexpr int kHoldLimitMs = 60000;

void record(const QString &line)
{
    QFile file(qEnvironmentVariable("ORV_RECORD_DIR") + QStringLiteral("/startup-fixture.events"));
    if (file.open(QIODevice::Append))
        file.write(line.toUtf8() + '\n');
}

// Records each dialog as it is shown.
class DialogWatcher : public QObject
{
public:
    using QObject::QObject;
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::Show && qobject_cast<QDialog *>(watched))
            record(QStringLiteral("dialog shown ") + QLatin1String(watched->metaObject()->className()));
        return false;
    }
};

} // namespace

int main(int argc, char *argv[])
{
    return runEmulator(argc, argv, [](MainControl &control) {
        qApp->installEventFilter(new DialogWatcher(&control));
        const QString release = qEnvironmentVariable("ORV_HOLD_RELEASE_FILE");
        if (release.isEmpty())
            return;
        const bool handleEvents = qEnvironmentVariableIsSet("ORV_HOLD_EVENTS");
        record(QStringLiteral("held"));
        QElapsedTimer held;
        held.start();
        while (!QFile::exists(release) && held.elapsed() < kHoldLimitMs) {
            if (handleEvents)
                QCoreApplication::processEvents();
            QThread::msleep(5);
        }
        record(QFile::exists(release) ? QStringLiteral("released") : QStringLiteral("not released"));
        qInfo() << "Fixture    : hold released";
    });
}
