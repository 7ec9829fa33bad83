#include <QProcess>
#include <QtTest>

// The OpenGL check in its own processes: the GL driver reads its settings once per process.
class TestOpenGlCheck : public QObject
{
    Q_OBJECT

private slots:
    void check_data();
    void check();
};

void TestOpenGlCheck::check_data()
{
    QTest::addColumn<bool>("withDisplay");
    QTest::addColumn<QString>("versionOverride");
    QTest::addColumn<bool>("passes");

    QTest::newRow("real version") << true << "" << true;
    QTest::newRow("old version forced") << true << "1.4" << false;
    QTest::newRow("no display") << false << "" << false;
}

void TestOpenGlCheck::check()
{
    QFETCH(bool, withDisplay);
    QFETCH(QString, versionOverride);
    QFETCH(bool, passes);

    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    if (withDisplay && !env.contains("DISPLAY"))
        QSKIP("needs an X display (the suite runs under xvfb-run)");
    if (!withDisplay)
        env.remove("DISPLAY");
    env.remove("MESA_GL_VERSION_OVERRIDE");
    if (!versionOverride.isEmpty())
        env.insert("MESA_GL_VERSION_OVERRIDE", versionOverride);
    env.insert("LIBGL_ALWAYS_SOFTWARE", "1");

    QProcess fixture;
    fixture.setProcessEnvironment(env);
    fixture.start(QStringLiteral(GLCHECK_FIXTURE), QStringList());
    QVERIFY(fixture.waitForFinished(60000));
    const QString output = QString::fromLocal8Bit(fixture.readAllStandardOutput());
    QCOMPARE(fixture.exitStatus(), QProcess::NormalExit);
    QCOMPARE(fixture.exitCode(), 0);

    const QStringList lines = output.split('\n', Qt::SkipEmptyParts);
    QCOMPARE(lines.size(), 9); // two runs of four lines, then "alive"
    QCOMPARE(lines.last(), QStringLiteral("alive"));
    for (int run = 0; run < 2; ++run) {
        const QStringList block = lines.mid(run * 4, 4);
        QCOMPARE(block.at(0), withDisplay ? QStringLiteral("context=yes") : QStringLiteral("context=no"));
        if (passes) {
            QCOMPARE(block.at(1), QStringLiteral("opengl=OpenGLCheck|true|OpenGL version is ok|passed"));
            QVERIFY2(block.at(2).mid(8, 1).toInt() >= 2, qPrintable(block.at(2)));
            QVERIFY2(block.at(3).size() > 9, qPrintable(block.at(3))); // a real renderer name
        } else {
            QCOMPARE(block.at(1),
                     QStringLiteral("opengl=OpenGLCheck|false|OpenGL version is too low|go to update"));
        }
        if (!versionOverride.isEmpty())
            QVERIFY2(block.at(2).startsWith("version=" + versionOverride), qPrintable(block.at(2)));
        if (!withDisplay)
            QCOMPARE(block.at(2), QStringLiteral("version="));
    }
}

QTEST_GUILESS_MAIN(TestOpenGlCheck)
#include "tst_openglcheck.moc"
