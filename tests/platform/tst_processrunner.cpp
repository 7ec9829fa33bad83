// The one process runner: what a caller sees for each way a program can end, for a program that is
// missing or hangs, for large output, and for arguments that a shell would have split or unquoted.

#include "processrunner.h"

#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>

using Platform::ProcessResult;

// Every heap allocation of this program passes here, so that a test can count those of one thread while
// it runs the crash path's start.
static thread_local bool t_counting = false;
static thread_local int t_allocations = 0;
#if defined(__SANITIZE_ADDRESS__)
// AddressSanitizer owns malloc (a replacement would run before it is set up and hand it memory it never
// allocated); its allocation hook counts instead.
extern "C" int __sanitizer_install_malloc_and_free_hooks(void (*mallocHook)(const volatile void *, size_t),
                                                         void (*freeHook)(const volatile void *));
static void countAllocation(const volatile void *, size_t)
{
    if (t_counting)
        ++t_allocations;
}
static void ignoreRelease(const volatile void *) {}
[[maybe_unused]] static const int s_hooksInstalled =
    __sanitizer_install_malloc_and_free_hooks(countAllocation, ignoreRelease);
#else
extern "C" void *__libc_malloc(size_t size);
extern "C" void *__libc_calloc(size_t count, size_t size);
extern "C" void *__libc_realloc(void *pointer, size_t size);
extern "C" void *malloc(size_t size)
{
    if (t_counting)
        ++t_allocations;
    return __libc_malloc(size);
}
extern "C" void *calloc(size_t count, size_t size)
{
    if (t_counting)
        ++t_allocations;
    return __libc_calloc(count, size);
}
extern "C" void *realloc(void *pointer, size_t size)
{
    if (t_counting)
        ++t_allocations;
    return __libc_realloc(pointer, size);
}
#endif

Q_DECLARE_METATYPE(Platform::ProcessResult)

namespace {

QStringList sh(const QString &script)
{
    return {QStringLiteral("-c"), script};
}

} // namespace

class TestProcessRunner : public QObject
{
    Q_OBJECT

private slots:
    void results_data()
    {
        QTest::addColumn<QString>("program");
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("timeoutMs");
        QTest::addColumn<ProcessResult>("result");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<int>("signal");
        QTest::addColumn<QByteArray>("standardOutput");
        QTest::addColumn<QByteArray>("standardError");

        QTest::newRow("exit 0 with output")
            << "sh" << sh("echo out; echo err >&2") << 5000 << ProcessResult::Finished << 0 << 0
            << QByteArray("out\n") << QByteArray("err\n");
        QTest::newRow("exit 1") << "sh" << sh("exit 1") << 5000 << ProcessResult::Finished << 1 << 0
                                << QByteArray() << QByteArray();
        QTest::newRow("exit 255") << "sh" << sh("exit 255") << 5000 << ProcessResult::Finished << 255 << 0
                                  << QByteArray() << QByteArray();
        QTest::newRow("no time-out given") << "sh" << sh("exit 3") << -1 << ProcessResult::Finished << 3 << 0
                                           << QByteArray() << QByteArray();
        QTest::newRow("full path") << "/bin/sh" << sh("printf x") << 5000 << ProcessResult::Finished << 0 << 0
                                   << QByteArray("x") << QByteArray();
        QTest::newRow("crash by SIGSEGV")
            << "sh" << sh("echo before; kill -SEGV $$") << 5000 << ProcessResult::Crashed << -1 << SIGSEGV
            << QByteArray("before\n") << QByteArray();
        QTest::newRow("killed by SIGKILL") << "sh" << sh("kill -KILL $$") << 5000 << ProcessResult::Crashed
                                           << -1 << SIGKILL << QByteArray() << QByteArray();
        QTest::newRow("time-out") << "sh" << sh("echo started; exec sleep 30") << 300
                                  << ProcessResult::TimedOut << -1 << 0 << QByteArray("started\n")
                                  << QByteArray();
        QTest::newRow("missing program by name")
            << "orv-no-such-program" << QStringList() << 5000 << ProcessResult::FailedToStart << -1 << 0
            << QByteArray() << QByteArray();
        QTest::newRow("missing program by path")
            << "/nonexistent/orv-no-such-program" << QStringList() << 5000 << ProcessResult::FailedToStart
            << -1 << 0 << QByteArray() << QByteArray();
        QTest::newRow("not executable")
            << "/etc/hostname" << QStringList() << 5000 << ProcessResult::FailedToStart << -1 << 0
            << QByteArray() << QByteArray();
        QTest::newRow("arguments with blanks and quotes")
            << "printf"
            << QStringList{"[%s]\\n", "two words", "double\"quote", "single'quote", "", " lead", "$HOME",
                           "a\\b",    "*"}
            << 5000 << ProcessResult::Finished << 0 << 0
            << QByteArray("[two words]\n[double\"quote]\n[single'quote]\n[]\n[ lead]\n[$HOME]\n"
                          "[a\\b]\n[*]\n")
            << QByteArray();
    }

    void results()
    {
        QFETCH(QString, program);
        QFETCH(QStringList, arguments);
        QFETCH(int, timeoutMs);
        QFETCH(ProcessResult, result);
        QFETCH(int, exitCode);
        QFETCH(int, signal);
        QFETCH(QByteArray, standardOutput);
        QFETCH(QByteArray, standardError);

        Platform::ProcessRequest request;
        request.program = program;
        request.arguments = arguments;
        request.timeoutMs = timeoutMs;
        QElapsedTimer clock;
        clock.start();
        const Platform::ProcessOutcome outcome = Platform::runProcess(request);
        QCOMPARE(outcome.result, result);
        QCOMPARE(outcome.exitCode, exitCode);
        QCOMPARE(outcome.signal, signal);
        QCOMPARE(outcome.standardOutput, standardOutput);
        QCOMPARE(outcome.standardError, standardError);
        QCOMPARE(outcome.errorText.isEmpty(), result != ProcessResult::FailedToStart);
        if (result == ProcessResult::TimedOut) {
            QVERIFY2(clock.elapsed() < 5000, "the time-out was not kept");
            // Killed and reaped: the process is gone.
            QVERIFY(outcome.pid > 0);
            QCOMPARE(::kill(outcome.pid, 0), -1);
        }
    }

    // More than a pipe buffer (64 KiB) on both channels at once: neither may block the other.
    void largeOutput()
    {
        Platform::ProcessRequest request;
        request.program = QStringLiteral("sh");
        request.arguments = sh(QStringLiteral("head -c 1000000 /dev/zero | tr '\\0' o; "
                                              "head -c 300000 /dev/zero | tr '\\0' e >&2; echo end"));
        request.timeoutMs = 10000;
        const Platform::ProcessOutcome outcome = Platform::runProcess(request);
        QCOMPARE(outcome.result, ProcessResult::Finished);
        QCOMPARE(outcome.standardOutput.size(), 1000000 + 4);
        QVERIFY(outcome.standardOutput.endsWith("oooend\n"));
        QCOMPARE(outcome.standardOutput.count('o'), 1000000);
        QCOMPARE(outcome.standardError, QByteArray(300000, 'e'));
    }

    // The end of the program counts, not the end of its output: a child left behind holding the
    // pipes open does not hold up the caller.
    void childKeepsPipesOpen()
    {
        Platform::ProcessRequest request;
        request.program = QStringLiteral("sh");
        request.arguments = sh(QStringLiteral("sleep 30 & echo parent done"));
        request.timeoutMs = 10000;
        QElapsedTimer clock;
        clock.start();
        const Platform::ProcessOutcome outcome = Platform::runProcess(request);
        QCOMPARE(outcome.result, ProcessResult::Finished);
        QCOMPARE(outcome.standardOutput, QByteArray("parent done\n"));
        QVERIFY(clock.elapsed() < 5000);
    }

    // Uncaptured output goes to this program's channels; the end is still reported.
    void uncaptured()
    {
        Platform::ProcessRequest request;
        request.program = QStringLiteral("sh");
        request.arguments = sh(QStringLiteral("echo shown; exit 4"));
        request.timeoutMs = 5000;
        request.captureOutput = false;
        const Platform::ProcessOutcome outcome = Platform::runProcess(request);
        QCOMPARE(outcome.result, ProcessResult::Finished);
        QCOMPARE(outcome.exitCode, 4);
        QCOMPARE(outcome.standardOutput, QByteArray());
    }

    void workingFolder()
    {
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        Platform::ProcessRequest request;
        request.program = QStringLiteral("sh");
        request.arguments = sh(QStringLiteral("pwd -P"));
        request.workingFolder = dir.path();
        request.timeoutMs = 5000;
        Platform::ProcessOutcome outcome = Platform::runProcess(request);
        QCOMPARE(outcome.result, ProcessResult::Finished);
        QCOMPARE(QString::fromLocal8Bit(outcome.standardOutput).trimmed(),
                 QFileInfo(dir.path()).canonicalFilePath());

        request.workingFolder = dir.filePath(QStringLiteral("missing"));
        outcome = Platform::runProcess(request);
        QCOMPARE(outcome.result, ProcessResult::FailedToStart);
        QVERIFY(!outcome.errorText.isEmpty());
    }

    // A time-out that leaves the program running: it carries on and finishes its work.
    void timeOutLeavingItRunning()
    {
        QTemporaryDir dir;
        const QString marker = dir.filePath(QStringLiteral("marker"));
        Platform::ProcessRequest request;
        request.program = QStringLiteral("sh");
        request.arguments = sh(QStringLiteral("sleep 0.5; echo done > \"$0\""));
        request.arguments << marker;
        request.timeoutMs = 50;
        request.killOnTimeout = false;
        const Platform::ProcessOutcome outcome = Platform::runProcess(request);
        QCOMPARE(outcome.result, ProcessResult::TimedOut);
        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(marker), 5000);
    }

    void detached_data()
    {
        QTest::addColumn<QString>("program");
        QTest::addColumn<ProcessResult>("result");
        QTest::newRow("started") << "sh" << ProcessResult::Started;
        QTest::newRow("missing") << "orv-no-such-program" << ProcessResult::FailedToStart;
    }

    void detached()
    {
        QFETCH(QString, program);
        QFETCH(ProcessResult, result);
        QTemporaryDir dir;
        const QString marker = dir.filePath(QStringLiteral("it's a marker"));
        Platform::ProcessRequest request;
        request.program = program;
        request.arguments = sh(QStringLiteral("echo \"$PWD\" > \"$0\"")) << marker;
        request.workingFolder = dir.path();
        const Platform::ProcessOutcome outcome = Platform::startDetached(request);
        QCOMPARE(outcome.result, result);
        if (result != ProcessResult::Started)
            return;
        QVERIFY(outcome.pid > 0);
        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(marker) && QFileInfo(marker).size() > 0, 5000);
        QFile file(marker);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(QString::fromLocal8Bit(file.readAll()).trimmed(), dir.path());
    }

    void crashSafe_data()
    {
        QTest::addColumn<QString>("program");
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<bool>("prepared");
        QTest::addColumn<ProcessResult>("result");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<int>("signal");
        QTest::newRow("exit code") << "sh" << sh("exit 7") << true << ProcessResult::Finished << 7 << 0;
        QTest::newRow("crash") << "sh" << sh("kill -ABRT $$") << true << ProcessResult::Crashed << -1
                               << SIGABRT;
        QTest::newRow("arguments unchanged")
            << "sh"
            << (sh("[ \"$0\" = 'a \"b\" c' ] && [ \"$1\" = \"it's\" ] && [ -z \"$2\" ]") << "a \"b\" c"
                                                                                         << "it's"
                                                                                         << "")
            << true << ProcessResult::Finished << 0 << 0;
        QTest::newRow("missing program")
            << "orv-no-such-program" << QStringList() << false << ProcessResult::FailedToStart << -1 << 0;
        QTest::newRow("too many arguments")
            << "sh" << QStringLiteral("x ").repeated(100).split(QLatin1Char(' '), Qt::SkipEmptyParts) << false
            << ProcessResult::FailedToStart << -1 << 0;
        QTest::newRow("texts too long") << "sh" << QStringList{QString(20000, QLatin1Char('x'))} << false
                                        << ProcessResult::FailedToStart << -1 << 0;
    }

    void crashSafe()
    {
        QFETCH(QString, program);
        QFETCH(QStringList, arguments);
        QFETCH(bool, prepared);
        QFETCH(ProcessResult, result);
        QFETCH(int, exitCode);
        QFETCH(int, signal);
        Platform::CrashSafeCommand command;
        QCOMPARE(command.set(program, arguments), prepared);
        QCOMPARE(command.isSet(), prepared);
        // A copy stays valid: the prepared texts are held by value.
        const Platform::CrashSafeCommand copy = command;
        command.clear();
        const Platform::ProcessOutcome outcome = copy.run(true);
        QCOMPARE(outcome.result, result);
        QCOMPARE(outcome.exitCode, exitCode);
        QCOMPARE(outcome.signal, signal);
    }

    // After set-up the crash path's start touches no heap: the crashed thread may hold its lock.
    void crashSafeAllocatesNothing()
    {
        Platform::CrashSafeCommand command;
        QVERIFY(command.set(QStringLiteral("sh"), sh(QStringLiteral("exit 3"))));
        t_allocations = 0;
        t_counting = true;
        const Platform::ProcessOutcome outcome = command.run(true);
        t_counting = false;
        QCOMPARE(t_allocations, 0);
        QCOMPARE(outcome.result, ProcessResult::Finished);
        QCOMPARE(outcome.exitCode, 3);

        // The counting itself works: an ordinary run allocates.
        t_allocations = 0;
        t_counting = true;
        Platform::ProcessRequest request;
        request.program = QStringLiteral("sh");
        request.arguments = sh(QStringLiteral("exit 0"));
        Platform::runProcess(request);
        t_counting = false;
        QVERIFY(t_allocations > 0);
    }

    void crashSafeDetached()
    {
        QTemporaryDir dir;
        const QString marker = dir.filePath(QStringLiteral("marker"));
        Platform::CrashSafeCommand command;
        QVERIFY(command.set(QStringLiteral("sh"), sh(QStringLiteral("echo x > \"$0\"")) << marker));
        const Platform::ProcessOutcome outcome = command.run(false);
        QCOMPARE(outcome.result, ProcessResult::Started);
        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(marker), 5000);
    }
};

QTEST_GUILESS_MAIN(TestProcessRunner)
#include "tst_processrunner.moc"
