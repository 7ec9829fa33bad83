// Twenty emulators started at once in one install tree, against the simulated tool, which starts one
// simulated guest per machine: every one reaches its Android window, the machines' forwarded host ports never
// collide, and each guest is talked to by its own emulator only.

#include "gueststandin.h"
#include "installtree.h"
#include "programrun.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSet>
#include <QtTest>

#include <memory>
#include <vector>

namespace {

constexpr int kMachines = 20;
constexpr int kFirst = 40;

QString vmName(int i)
{
    return QStringLiteral("Orvanta_%1").arg(kFirst + i);
}

// A log line of machine `vm` (the log lines carry the machine name after the time).
bool logged(const QString &log, const QString &vm, const QString &text)
{
    return log.contains(
        QRegularExpression(QStringLiteral("\\]: %1  \\w/%2").arg(vm, QRegularExpression::escape(text))));
}

} // namespace

class TestParallelStarts : public QObject
{
    Q_OBJECT

private slots:
    void twentyMachinesAtOnce();
};

void TestParallelStarts::twentyMachinesAtOnce()
{
    if (qEnvironmentVariableIsEmpty("DISPLAY"))
        QSKIP("needs an X display: the start-up checks and the windows are real");
    InstallTree tree;
    QVERIFY(tree.isValid());
    QVERIFY(tree.addProgram(QStringLiteral("Orvanta")));
    QVERIFY(tree.addProgram(QStringLiteral("OrvantaUpdater")));
    QVERIFY(tree.addRecorder(QStringLiteral("OrvMultiPlayer")));
    QVERIFY(tree.addVirtualBox());
    QVERIFY(tree.addGuestImage());
    for (const char *library : {"libOpenglRender.so", "libDLLHelper.so"})
        QVERIFY(
            InstallTree::copyFile(InstallTree::stagedPlayerDir() + QLatin1Char('/') + QLatin1String(library),
                                  tree.playerDir() + QLatin1Char('/') + QLatin1String(library)));
    // Twenty starts share the processor, on a machine that may be busy with other work besides: the
    // tool's two-minute time-outs become thirty seconds, not a second.
    tree.setEnv(QStringLiteral("ORV_TIMEOUT_SCALE"), QStringLiteral("0.25"));
    tree.useTempDirHere();
    // The simulated tool starts each machine's guest; each boots at once.
    tree.setEnv(QStringLiteral("ORV_GUEST_BOOT_MS"), QStringLiteral("0"));

    std::vector<std::unique_ptr<ProgramRun>> emulators;
    std::vector<std::unique_ptr<GuestStandIn>> guests;
    for (int i = 0; i < kMachines; ++i) {
        emulators.push_back(std::make_unique<ProgramRun>(
            tree, QStringLiteral("Orvanta"),
            QStringList{QStringLiteral("-vm=") + vmName(i), QStringLiteral("-debug")}));
        guests.push_back(std::make_unique<GuestStandIn>());
        QVERIFY(emulators.back()->start());
    }

    // Each machine's guest comes up with its machine; then its emulator hands over.
    int shown = 0;
    const bool allShown = waitUntil(
        [&] {
            const QString log = tree.logText();
            shown = 0;
            for (int i = 0; i < kMachines; ++i) {
                if (guests[i]->dir().isEmpty() &&
                    logged(log, vmName(i), QStringLiteral("Loading    : machine running")))
                    guests[i]->attach(tree, vmName(i));
                if (logged(log, vmName(i), QStringLiteral("Control    : now show android")))
                    ++shown;
            }
            return shown == kMachines;
        },
        240000);
    if (!allShown) {
        // Say which machines did not get there, with their last log lines.
        const QStringList log = tree.logText().split(QLatin1Char('\n'));
        QString missing;
        for (int i = 0; i < kMachines; ++i) {
            if (logged(tree.logText(), vmName(i), QStringLiteral("Control    : now show android")))
                continue;
            const QStringList own =
                log.filter(QStringLiteral("]: ") + vmName(i) + QStringLiteral("  "))
                    .filter(QRegularExpression(QStringLiteral("Loading|VBoxTool|Android|VInput|Control")));
            missing += vmName(i) + QLatin1Char('\n') +
                       own.mid(qMax(0, own.size() - 15)).join(QLatin1Char('\n')) + QLatin1Char('\n');
        }
        QFAIL(qPrintable(
            QStringLiteral("%1 of %2 shown; missing:\n%3").arg(shown).arg(kMachines).arg(missing)));
    }

    // Every forwarded host port belongs to one machine only.
    QSet<int> ports;
    int rules = 0;
    for (int i = 0; i < kMachines; ++i) {
        QFile file(GuestStandIn::machineFile(tree, vmName(i)));
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QJsonArray natRules = QJsonDocument::fromJson(file.readAll())
                                        .object()
                                        .value(QStringLiteral("natRules"))
                                        .toObject()
                                        .value(QStringLiteral("1"))
                                        .toArray();
        QCOMPARE(natRules.size(), 5);
        for (const QJsonValue &rule : natRules) {
            ports.insert(rule.toObject().value(QStringLiteral("hostPort")).toInt());
            ++rules;
        }
    }
    QCOMPARE(ports.size(), rules);

    // Each guest was connected to by its own emulator, and by nobody else. (The picture, not the input
    // channel, tells that Android is up, so a connection may still be on its way.)
    for (int i = 0; i < kMachines; ++i) {
        const QRegularExpression connected(QStringLiteral("^# connected from "));
        QVERIFY2(waitUntil(
                     [&] {
                         return guests[i]->inputLines().filter(connected).size() > 0 &&
                                guests[i]->inputLines().contains(QStringLiteral("CONFIG:720:1280"));
                     },
                     60000),
                 qPrintable(vmName(i)));
        const QStringList lines = guests[i]->inputLines();
        const QStringList connections = lines.filter(connected);
        for (const QString &connection : connections)
            QCOMPARE(connection, QStringLiteral("# connected from %1").arg(emulators[i]->pid()));
        QCOMPARE(lines.value(lines.indexOf(connections.first()) + 1), QStringLiteral("CONFIG:720:1280"));
    }
}

QTEST_MAIN(TestParallelStarts)
#include "tst_parallelstarts.moc"
