// The manager's daily log: which messages reach it, the exact line form, and whole lines when many
// threads log at once.

#include "mplog.h"

#include <QDate>
#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QThread>
#include <QtTest>

#include <memory>
#include <vector>

using namespace OrvMulti;

class TestManagerLog : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void lineForm_data();
    void lineForm();
    void keepsInfoAndCriticalOnly();
    void concurrentLinesStayWhole();

private:
    QStringList lines() const;
    std::unique_ptr<QTemporaryDir> m_dir;
    QtMessageHandler m_previous = nullptr;
};

void TestManagerLog::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    qputenv("LOCALAPPDATA", QFile::encodeName(m_dir->path()));
    m_previous = qInstallMessageHandler(messageHandler);
}

void TestManagerLog::cleanup()
{
    qInstallMessageHandler(m_previous);
    m_dir.reset();
}

QStringList TestManagerLog::lines() const
{
    QFile file(logFilePath(QDate::currentDate()));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

void TestManagerLog::lineForm_data()
{
    QTest::addColumn<int>("type");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("expected");
    QTest::newRow("info") << int(QtInfoMsg) << "VBoxTool : init"
                          << "Info[12:34:56]:VBoxTool : init (f.cpp:7,fn)\n";
    QTest::newRow("critical with %1") << int(QtCriticalMsg) << "x %1 y"
                                      << "Critical[12:34:56]:x %1 y (f.cpp:7,fn)\n";
    QTest::newRow("fatal") << int(QtFatalMsg) << "end"
                           << "Fatal[12:34:56]:end (f.cpp:7,fn)\n";
}

void TestManagerLog::lineForm()
{
    QFETCH(int, type);
    QFETCH(QString, text);
    QFETCH(QString, expected);
    QCOMPARE(formatLogLine(QtMsgType(type), QTime(12, 34, 56), text, "f.cpp", 7, "fn"), expected);
    QCOMPARE(formatLogLine(QtInfoMsg, QTime(1, 2, 3), QStringLiteral("t"), nullptr, 0, nullptr),
             QStringLiteral("Info[01:02:03]:t (:0,)\n"));
}

void TestManagerLog::keepsInfoAndCriticalOnly()
{
    qDebug() << "debug line";
    qWarning() << "warning line";
    qInfo() << "info line";
    qCritical() << "critical line";
    const QStringList written = lines();
    QCOMPARE(written.size(), 2);
    QVERIFY(written.at(0).startsWith(QLatin1String("Info[")) &&
            written.at(0).contains(QLatin1String("info line")));
    QVERIFY(written.at(1).startsWith(QLatin1String("Critical[")));
    QVERIFY(QFileInfo(logFilePath(QDate::currentDate()))
                .absolutePath()
                .startsWith(m_dir->path() + "/OrvMultiPlayer/log"));
}

void TestManagerLog::concurrentLinesStayWhole()
{
    constexpr int kThreads = 8;
    constexpr int kLines = 150;
    const QString filler(400, QLatin1Char('x'));
    std::vector<std::unique_ptr<QThread>> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back(QThread::create([t, filler] {
            for (int i = 0; i < kLines; ++i)
                qInfo().noquote() << QStringLiteral("thread %1 line %2 ").arg(t).arg(i) + filler;
        }));
        threads.back()->start();
    }
    for (auto &thread : threads)
        QVERIFY(thread->wait(20000));
    const QStringList written = lines();
    QCOMPARE(written.size(), kThreads * kLines);
    static const QRegularExpression whole(
        QStringLiteral("^Info\\[\\d\\d:\\d\\d:\\d\\d\\]:thread \\d line \\d+ x{400} \\(.*:\\d+,.*\\)$"));
    for (const QString &line : written)
        QVERIFY2(whole.match(line).hasMatch(), qPrintable(line.left(80)));
}

QTEST_GUILESS_MAIN(TestManagerLog)
#include "tst_managerlog.moc"
