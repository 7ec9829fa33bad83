// The periodic report upload: with time-outs of minutes scaled down, the engine's own timer sends
// the stored events without anyone asking, again and again.

#include "datareportengine.h"
#include "global.h"
#include "installtree.h"
#include "paths.h"
#include "sqlitetool.h"
#include "webstandin.h"

#include <QJsonArray>
#include <QThreadPool>
#include <QtTest>

class TestUploadTimer : public QObject
{
    Q_OBJECT

private:
    InstallTree m_tree;
    WebStandIn m_web{m_tree.root() + QStringLiteral("/web")};

    static int storedRows() { return DataReportEngine::instance()->dao().findAll().size(); }

private slots:
    void initTestCase()
    {
        QVERIFY(m_tree.isValid());
        const QProcessEnvironment env = m_tree.environment();
        for (const char *name : {"APPDATA", "LOCALAPPDATA", "XDG_CONFIG_HOME", "XDG_CONFIG_DIRS", "TMPDIR"})
            qputenv(name, env.value(QLatin1String(name)).toUtf8());
        // 300 s become 600 ms.
        qputenv("ORV_TIMEOUT_SCALE", "0.002");
        Platform::initSettingsPaths();
        QCoreApplication::setOrganizationName(QStringLiteral("Halvora"));
        QCoreApplication::setApplicationName(QStringLiteral("Orvanta"));
        QVERIFY(m_web.start());
        m_web.configure(m_tree);
        Global::vmName = QStringLiteral("Orvanta_1");
        SQLiteTool::instance().connect();
        QVERIFY(SQLiteTool::instance().isOpen());
    }

    void timerSendsStoredEvents()
    {
        DataReportEngine::report(2011);
        QThreadPool::globalInstance()->waitForDone();
        QCOMPARE(storedRows(), 1);
        DataReportEngine::init();

        QTRY_COMPARE_WITH_TIMEOUT(m_web.requests(QStringLiteral("report")).size(), 1, 10000);
        QTRY_COMPARE(storedRows(), 0);

        // The next period takes what was stored since.
        DataReportEngine::report(2014);
        QThreadPool::globalInstance()->waitForDone();
        QTRY_COMPARE_WITH_TIMEOUT(m_web.requests(QStringLiteral("report")).size(), 2, 10000);
        const QJsonArray events = m_web.requests(QStringLiteral("report"))
                                      .last()
                                      .value(QStringLiteral("report"))
                                      .toObject()
                                      .value(QStringLiteral("commonEvents"))
                                      .toArray();
        QCOMPARE(events.size(), 1);
        QCOMPARE(events.at(0).toObject().value(QStringLiteral("eventKey")).toInt(), 2014);
        QTRY_COMPARE(storedRows(), 0);
    }
};

QTEST_GUILESS_MAIN(TestUploadTimer)
#include "tst_uploadtimer.moc"
