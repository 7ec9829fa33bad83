// Stand-in for VirtualBox's command-line tool: logs the call, applies the faults file, then answers from
// the state folder as the real Linux tool would.
#include "peerjournal.h"
#include "simcalllog.h"
#include "tooloutput.h"
#include "vboxcommands.h"
#include "vboxfaults.h"
#include "vboxhost.h"
#include "vboxstore.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QLockFile>
#include <QThread>

#include <cstdio>
#include <cstdlib>
#ifdef __SANITIZE_ADDRESS__
#include <sanitizer/lsan_interface.h>
#endif

namespace {

void writeAll(FILE *stream, const QByteArray &bytes)
{
    fwrite(bytes.constData(), 1, static_cast<size_t>(bytes.size()), stream);
    fflush(stream);
}

} // namespace

// The call itself; `entry` receives the call log's line, whose end is filled in when the call is over.
int runCall(int argc, char *argv[], const QDateTime &started, SimCallLog::Entry *entry)
{
    QCoreApplication app(argc, argv);
    // The error prefix is the running executable's own file name, as the real tool takes it.
    const QString program = QFileInfo(QCoreApplication::applicationFilePath()).fileName();
    const QStringList args = app.arguments().mid(1);
    const QString stateDir = SimCallLog::stateDir(QCoreApplication::applicationDirPath());
    SimCallLog::append(stateDir, QStringLiteral("calls.log"), program, args, entry, started);

    const FaultAction fault = VBoxFaults::lookup(stateDir, program, args);
    if (fault.hang) {
        for (;;)
            QThread::sleep(1);
    }
    if (fault.sleepMs > 0)
        QThread::msleep(static_cast<unsigned long>(fault.sleepMs));
    if (fault.respond || fault.pass) {
        writeAll(stdout, fault.standardOutput);
        writeAll(stderr, fault.standardError);
        if (fault.respond)
            return fault.exitCode;
    }

    QLockFile lock(QDir(stateDir).absoluteFilePath(QStringLiteral("state.lock")));
    lock.setStaleLockTime(0);
    lock.lock();
    ToolOutput out(program);
    VBoxStore store(stateDir);
    QString error;
    int code = ToolOutput::Failure;
    if (store.load(&error)) {
        const VBoxHost host(stateDir);
        VBoxCommands commands(store, host, out);
        code = commands.run(args);
        PeerJournal::append(
            "vbox",
            (args.join(QLatin1Char(' ')) + QStringLiteral(" = ") + QString::number(code)).toStdString());
    } else {
        // The service cannot read its state: what the real tool says when its service does not come up
        // (the stand-in's own reason goes to <state>/state-errors.log, not to the caller).
        out.error(QStringLiteral("Failed to create the VirtualBox object!"));
        out.error(QStringLiteral("Code NS_ERROR_ABORT (0x80004004) - Operation aborted (extended info not "
                                 "available)"));
        out.error(
            QStringLiteral("Most likely, the VirtualBox COM server is not running or failed to start."));
        SimCallLog::append(stateDir, QStringLiteral("state-errors.log"), program, QStringList{error});
    }
    writeAll(stdout, out.standardOutput());
    writeAll(stderr, out.standardError());
    return code;
}

int main(int argc, char *argv[])
{
    const QDateTime started = SimCallLog::processStart();
    SimCallLog::Entry entry;
    const int code = runCall(argc, argv, started, &entry);
    // The end is the call's last act: its output is written and everything it made is gone, and the
    // libraries' own teardown at exit is skipped, so that what the caller waits for after the logged end
    // is only the process's end itself.
    std::fflush(nullptr);
    SimCallLog::markEnd(entry);
#ifdef __SANITIZE_ADDRESS__
    // A sanitizer build still looks for leaks, which it would otherwise do at the skipped exit.
    __lsan_do_leak_check();
#endif
    std::_Exit(code);
}
