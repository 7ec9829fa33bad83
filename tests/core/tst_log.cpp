#include "commandline.h"
#include "global.h"
#include "installtree.h"
#include "log.h"
#include "programrun.h"

#include <QDate>
#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>

namespace {

// A log line with its time replaced by "T": "[T]: <vm>  <level><text>".
QStringList linesWithoutTime(const QString &text)
{
    static const QRegularExpression time(QStringLiteral("^\\[\\d\\d:\\d\\d:\\d\\d \\d\\d\\d\\]: "));
    QStringList lines;
    for (const QString &line : text.split(QLatin1Char('\n'), Qt::SkipEmptyParts)) {
        QString stripped = line;
        if (stripped.contains(time))
            stripped.replace(time, QStringLiteral("[T]: "));
        lines << stripped;
    }
    return lines;
}

QString readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

} // namespace

class TestLog : public QObject
{
    Q_OBJECT

private slots:
    void lineFormat_data();
    void lineFormat();
    void filterAndAppend_data();
    void filterAndAppend();
    void logRootIsTwoLevelsAboveTheProgram();
    void programWritesItsLog_data();
    void programWritesItsLog();
};

void TestLog::lineFormat_data()
{
    QTest::addColumn<QString>("vm");
    QTest::addColumn<int>("type");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("expected");
    QTest::newRow("debug") << "Orvanta_0" << int(QtDebugMsg) << "VBoxTool : list"
                           << "[09:05:07 042]: Orvanta_0  D/VBoxTool : list\n";
    QTest::newRow("info") << "Orvanta_1" << int(QtInfoMsg) << "x"
                          << "[09:05:07 042]: Orvanta_1  I/x\n";
    QTest::newRow("warning") << "Orvanta_1" << int(QtWarningMsg) << "x"
                             << "[09:05:07 042]: Orvanta_1  W/x\n";
    QTest::newRow("critical") << "Orvanta_1" << int(QtCriticalMsg) << "x"
                              << "[09:05:07 042]: Orvanta_1  C/x\n";
    QTest::newRow("fatal") << "Orvanta_1" << int(QtFatalMsg) << "x"
                           << "[09:05:07 042]: Orvanta_1  F/x\n";
    QTest::newRow("unknown type: empty prefix") << "Orvanta_1" << 42 << "text"
                                                << "[09:05:07 042]: Orvanta_1  text\n";
    QTest::newRow("placeholders inside the VM name and text stay")
        << "Orv_%2_%1" << int(QtInfoMsg) << "a %1 b %3 c %4"
        << "[09:05:07 042]: Orv_%2_%1  I/a %1 b %3 c %4\n";
    QTest::newRow("non-ASCII text") << "Orvanta_0" << int(QtInfoMsg) << QString::fromUtf8("路径 é")
                                    << QString::fromUtf8("[09:05:07 042]: Orvanta_0  I/路径 é\n");
}

void TestLog::lineFormat()
{
    QFETCH(QString, vm);
    QFETCH(int, type);
    QFETCH(QString, text);
    QFETCH(QString, expected);
    QCOMPARE(formatLogLine(QTime(9, 5, 7, 42), vm, static_cast<QtMsgType>(type), text), expected);
}

void TestLog::filterAndAppend_data()
{
    QTest::addColumn<bool>("debug");
    QTest::addColumn<bool>("quitting");
    QTest::addColumn<int>("type");
    QTest::addColumn<bool>("written");
    QTest::newRow("debug without -debug") << false << false << int(QtDebugMsg) << false;
    QTest::newRow("debug with -debug") << true << false << int(QtDebugMsg) << true;
    QTest::newRow("info") << false << false << int(QtInfoMsg) << true;
    QTest::newRow("warning") << false << false << int(QtWarningMsg) << true;
    QTest::newRow("warning while quitting") << true << true << int(QtWarningMsg) << false;
    QTest::newRow("critical while quitting") << false << true << int(QtCriticalMsg) << true;
    QTest::newRow("info while quitting") << false << true << int(QtInfoMsg) << true;
}

void TestLog::filterAndAppend()
{
    QFETCH(bool, debug);
    QFETCH(bool, quitting);
    QFETCH(int, type);
    QFETCH(bool, written);

    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    Global::vmName = QStringLiteral("Orvanta_3");
    Global::debugLogFile = dir.path() + QStringLiteral("/debug-2024-01-01.log");
    QFile existing(Global::debugLogFile);
    QVERIFY(existing.open(QIODevice::WriteOnly));
    existing.write("[00:00:00 000]: Orvanta_3  I/earlier line\n");
    existing.close();
    CommandLine::debug = debug;
    appQuittingFlag = quitting;

    messageHandler(static_cast<QtMsgType>(type), QMessageLogContext(), QStringLiteral("Control    : one"));
    messageHandler(QtInfoMsg, QMessageLogContext(), QStringLiteral("Control    : two"));
    appQuittingFlag = false;
    CommandLine::debug = false;

    QStringList expected{QStringLiteral("[T]: Orvanta_3  I/earlier line")};
    if (written)
        expected << QStringLiteral("[T]: Orvanta_3  ") + logLevelPrefix(static_cast<QtMsgType>(type)) +
                        QStringLiteral("Control    : one");
    expected << QStringLiteral("[T]: Orvanta_3  I/Control    : two");
    QCOMPARE(linesWithoutTime(readFile(Global::debugLogFile)), expected);
}

void TestLog::logRootIsTwoLevelsAboveTheProgram()
{
    QCOMPARE(logRootFor(QStringLiteral("/opt/orvanta/1.4.2/player")), QStringLiteral("/opt/orvanta"));
    QCOMPARE(logRootFor(QStringLiteral("/opt/orvanta/1.4.2/player/")), QStringLiteral("/opt/orvanta"));
}

void TestLog::programWritesItsLog_data()
{
    QTest::addColumn<bool>("debug");
    QTest::newRow("without -debug") << false;
    QTest::newRow("with -debug") << true;
}

void TestLog::programWritesItsLog()
{
    QFETCH(bool, debug);
    InstallTree tree;
    QVERIFY(tree.isValid());
    QVERIFY(tree.addProgram("Orvanta"));
    QVERIFY(tree.addRecorder("OrvMultiPlayer"));
    tree.useTempDirHere();

    // A VM name with a blank and dots must reach every line unchanged ("%" is not allowed in names).
    const QString vm = QStringLiteral("Orv 2.1_x");
    const QString day = QDate::currentDate().toString("yyyy-MM-dd");
    QStringList args{"-vm=" + vm};
    if (debug)
        args << "-debug";
    ProgramRun first(tree, "Orvanta", args);
    QVERIFY(first.start());
    QVERIFY(first.waitForOutput(" start====="));
    ProgramRun stop(tree, "Orvanta", {"-vm=" + vm, "-stop"});
    QCOMPARE(stop.run(), 0);
    QVERIFY(first.waitForFinished());
    QCOMPARE(first.exitCode(), 0);

    for (const char *folder : {"/log/log", "/log/crash", "/log/opengl"})
        QVERIFY2(QFileInfo(tree.installDir() + folder).isDir(), folder);
    // The file of the start day (a run across midnight keeps it; accept the next day's name only then).
    QString path = tree.logDir() + "/debug-" + day + ".log";
    if (!QFile::exists(path))
        path = tree.logDir() + "/debug-" + QDate::currentDate().toString("yyyy-MM-dd") + ".log";
    QVERIFY2(QFile::exists(path), qPrintable(path));
    const QString text = readFile(path);
    QVERIFY(text.endsWith('\n'));
    QVERIFY(!text.contains('\r'));

    static const QRegularExpression shape(
        QStringLiteral("^\\[\\d\\d:\\d\\d:\\d\\d \\d\\d\\d\\]: Orv 2\\.1_x  [DIWCF]/"));
    for (const QString &line : text.split('\n', Qt::SkipEmptyParts))
        QVERIFY2(shape.match(line).hasMatch(), qPrintable(line));

    const QStringList lines = linesWithoutTime(text);
    const QString banner =
        "[T]: " + vm + "  I/\"==============================" + vm + " start============================= \"";
    const QString currentPath =
        "[T]: " + vm + "  I/Main       : current path:  \"" + tree.versionDir() + "\"";
    const QString quit = "[T]: " + vm + "  I/Control    : quit start";
    QVERIFY2(lines.contains(banner), qPrintable(text));
    QVERIFY2(lines.contains(currentPath), qPrintable(text));
    QVERIFY2(lines.contains(quit), qPrintable(text));
    QVERIFY(lines.indexOf(banner) < lines.indexOf(currentPath));
    QVERIFY(lines.indexOf(currentPath) < lines.indexOf(quit));

    // The stop request is logged at debug level on arrival.
    const bool hasDebugLines = text.contains(QStringLiteral("  D/"));
    QCOMPARE(hasDebugLines, debug);
    if (debug)
        QVERIFY2(text.contains("  D/ handle new connect "), qPrintable(text));
}

QTEST_GUILESS_MAIN(TestLog)
#include "tst_log.moc"
