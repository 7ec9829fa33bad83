// The feedback form against the web stand-in on 127.0.0.1: the exact request it receives for a table
// of form inputs (method, path, headers, the unity package and the base API request it carries), the
// messages the user sees, and a server that refuses, fails or never answers leaving the form usable.

#include "feedbackdialog.h"
#include "global.h"
#include "installtree.h"
#include "paths.h"
#include "webstandin.h"

#include <QApplication>
#include <QDialog>
#include <QJsonArray>
#include <QJsonDocument>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTextEdit>
#include <QTimer>
#include <QtTest>

namespace {

constexpr int kReplyTimeoutMs = 1500;

// The text of the first message box that opens from now on (closed at once), or "" after `ms`.
class MessageWatcher : public QObject
{
public:
    explicit MessageWatcher(int ms = 6000)
    {
        m_timer.setInterval(20);
        connect(&m_timer, &QTimer::timeout, this, [this] {
            for (QWidget *widget : QApplication::topLevelWidgets()) {
                if (widget->objectName() == QLatin1String("CommonDialog") && widget->isVisible()) {
                    if (auto *label = widget->findChild<QLabel *>(QStringLiteral("dlg_msg")))
                        texts << label->text();
                    static_cast<QDialog *>(widget)->accept();
                }
            }
        });
        m_timer.start();
        m_deadline.start();
        m_ms = ms;
    }
    bool waitForOne()
    {
        while (texts.isEmpty() && m_deadline.elapsed() < m_ms)
            QTest::qWait(20);
        return !texts.isEmpty();
    }
    void stop() { m_timer.stop(); }
    QStringList texts;

private:
    QTimer m_timer;
    QElapsedTimer m_deadline;
    int m_ms = 6000;
};

} // namespace

class TestFeedback : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void request_data();
    void request();
    void refusedInputs_data();
    void refusedInputs();
    void serverFaultsKeepTheFormUsable_data();
    void serverFaultsKeepTheFormUsable();
    void replyAfterCloseTouchesNothing();

private:
    InstallTree m_tree;
    WebStandIn m_web{m_tree.root() + QStringLiteral("/web")};
};

void TestFeedback::initTestCase()
{
    QVERIFY(m_tree.isValid());
    m_tree.declareHost(InstallTree::HostWithVirtualisation);
    QVERIFY(m_web.start());
    m_web.configure(m_tree, kReplyTimeoutMs);
    const QProcessEnvironment env = m_tree.environment();
    for (const char *name : {"APPDATA", "LOCALAPPDATA", "XDG_CONFIG_HOME", "XDG_CONFIG_DIRS", "TMPDIR"})
        qputenv(name, env.value(QLatin1String(name)).toUtf8());
    Platform::initSettingsPaths();
    QCoreApplication::setOrganizationName(QStringLiteral("Halvora"));
    QCoreApplication::setApplicationName(QStringLiteral("Orvanta"));
    Global::systemInfo.installUuid = QStringLiteral("5c0e6a1b-77d2-4f0a-b3e9-0d1c2b3a4f50");
    Global::systemInfo.productVersion = QStringLiteral("1.4.2");
    Global::installInfo.channelId = QStringLiteral("1208");
}

void TestFeedback::init()
{
    m_web.setControl(QString());
}

void TestFeedback::request_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("contact");
    QTest::addColumn<QString>("field");
    QTest::newRow("e-mail") << "The game stutters."
                            << "player.one+test@example.org"
                            << "emailAddress";
    QTest::newRow("QQ number") << QString::fromUtf8("\xe7\x94\xbb\xe9\x9d\xa2\xe5\x8d\xa1\xe9\xa1\xbf")
                               << "123456789"
                               << "qqNumber";
    QTest::newRow("11-digit mobile counts as QQ") << "Sound <lost> & back"
                                                  << "13812345678"
                                                  << "qqNumber";
    QTest::newRow("phone with area code and extension") << "Line one\nline two"
                                                        << "0755-1234567-12"
                                                        << "phoneNumber";
}

void TestFeedback::request()
{
    QFETCH(QString, text);
    QFETCH(QString, contact);
    QFETCH(QString, field);
    const int before = m_web.requests(QStringLiteral("baseapi")).size();
    FeedbackDialog dialog;
    dialog.show();
    dialog.contentEdit()->setPlainText(text);
    dialog.contactEdit()->setText(contact);
    QCOMPARE(dialog.contactEdit()->text(), contact); // the validator took it
    MessageWatcher messages;
    dialog.findChild<QPushButton *>(QStringLiteral("btn_submit"))->click();
    QVERIFY(messages.waitForOne());
    QCOMPARE(messages.texts, QStringList{"send successfully"});
    QTRY_VERIFY(!dialog.isVisible());

    const QList<QJsonObject> requests = m_web.requests(QStringLiteral("baseapi"));
    QCOMPARE(requests.size(), before + 1);
    const QJsonObject r = requests.last();
    QCOMPARE(r.value(QStringLiteral("method")).toString(), QStringLiteral("POST"));
    QCOMPARE(r.value(QStringLiteral("target")).toString(), QStringLiteral("/YeltBaseAPI.php"));
    const QJsonObject headers = r.value(QStringLiteral("headers")).toObject();
    QCOMPARE(headers.value(QStringLiteral("content-type")).toString(),
             QStringLiteral("application/x-www-form-urlencoded"));
    QCOMPARE(headers.value(QStringLiteral("content-length")).toString().toInt(),
             r.value(QStringLiteral("bodyLength")).toInt());
    QVERIFY2(r.value(QStringLiteral("problems")).toArray().isEmpty(),
             qPrintable(QJsonDocument(r.value(QStringLiteral("problems")).toArray()).toJson()));
    const QJsonObject package = r.value(QStringLiteral("baseapi")).toObject();
    QCOMPARE(package.value(QStringLiteral("result")).toInt(), 0);
    const QJsonObject head = package.value(QStringLiteral("head")).toObject();
    QCOMPARE(head.value(QStringLiteral("cmd")).toInt(), 1001);
    QCOMPARE(head.value(QStringLiteral("uin")).toInt(), 0);
    QCOMPARE(head.value(QStringLiteral("requestType")).toInt(), 1);
    const QJsonObject proto = package.value(QStringLiteral("body")).toObject();
    QCOMPARE(proto.value(QStringLiteral("result")).toInt(), 0);
    QCOMPARE(proto.value(QStringLiteral("subcmd")).toInt(), 5);
    const QJsonObject request = proto.value(QStringLiteral("baseapi_req")).toObject();
    QCOMPARE(request.value(QStringLiteral("details")).toString(), text);
    QCOMPARE(request.value(field).toString(), contact);
    // Exactly one contact field.
    int contacts = 0;
    for (const char *name : {"phoneNumber", "qqNumber", "emailAddress"})
        contacts += request.contains(QLatin1String(name)) ? 1 : 0;
    QCOMPARE(contacts, 1);
    const QJsonObject user = request.value(QStringLiteral("user_info")).toObject();
    QCOMPARE(user, head.value(QStringLiteral("user_info")).toObject());
    QCOMPARE(user.value(QStringLiteral("uuid")).toString(), Global::systemInfo.installUuid);
    QCOMPARE(user.value(QStringLiteral("productID")).toInt(), 123);
    QCOMPARE(user.value(QStringLiteral("version")).toString(), QStringLiteral("1.4.2"));
    QCOMPARE(user.value(QStringLiteral("channelID")).toInt(), 1208);
    QCOMPARE(user.value(QStringLiteral("platformType")).toInt(), 103);
}

void TestFeedback::refusedInputs_data()
{
    QTest::addColumn<QString>("text"); // "" keeps the initial text
    QTest::addColumn<QString>("contact");
    QTest::addColumn<QString>("message");
    QTest::newRow("no text") << ""
                             << "12345"
                             << "please_check";
    QTest::newRow("no contact") << "Something"
                                << ""
                                << "please_check_contact_info";
    QTest::newRow("4-digit number") << "Something"
                                    << "1234"
                                    << "please_check_contact_info";
}

void TestFeedback::refusedInputs()
{
    QFETCH(QString, text);
    QFETCH(QString, contact);
    QFETCH(QString, message);
    const int before = m_web.requests().size();
    FeedbackDialog dialog;
    dialog.show();
    QCOMPARE(dialog.contentEdit()->toPlainText(), QStringLiteral("feedback_content_init"));
    if (!text.isEmpty())
        dialog.contentEdit()->setPlainText(text);
    if (!contact.isEmpty())
        dialog.contactEdit()->setText(contact);
    MessageWatcher messages;
    dialog.findChild<QPushButton *>(QStringLiteral("btn_submit"))->click();
    QVERIFY(messages.waitForOne());
    QCOMPARE(messages.texts, QStringList{message});
    QVERIFY(dialog.isVisible());
    QTest::qWait(200);
    QCOMPARE(m_web.requests().size(), before);
}

void TestFeedback::serverFaultsKeepTheFormUsable_data()
{
    QTest::addColumn<QString>("control");
    QTest::newRow("HTTP error") << "answer=error";
    QTest::newRow("closed without answer") << "answer=close";
    QTest::newRow("never answers") << "answer=hang";
}

void TestFeedback::serverFaultsKeepTheFormUsable()
{
    QFETCH(QString, control);
    m_web.setControl(control);
    FeedbackDialog dialog;
    dialog.show();
    dialog.contentEdit()->setPlainText(QStringLiteral("It froze."));
    dialog.contactEdit()->setText(QStringLiteral("someone@example.org"));
    auto *submit = dialog.findChild<QPushButton *>(QStringLiteral("btn_submit"));
    MessageWatcher messages(kReplyTimeoutMs + 5000);
    submit->click();
    // While the post runs the form takes input.
    QTest::qWait(100);
    QVERIFY(dialog.isVisible());
    QVERIFY(submit->isEnabled());
    dialog.contentEdit()->setPlainText(QStringLiteral("It froze twice."));
    QVERIFY(messages.waitForOne());
    QCOMPARE(messages.texts, QStringList{"send failed"});
    QVERIFY(dialog.isVisible());
    QCOMPARE(dialog.contentEdit()->toPlainText(), QStringLiteral("It froze twice."));
    // Another try reaches a server that answers again.
    messages.stop();
    m_web.setControl(QString());
    MessageWatcher second;
    submit->click();
    QVERIFY(second.waitForOne());
    QCOMPARE(second.texts, QStringList{"send successfully"});
}

void TestFeedback::replyAfterCloseTouchesNothing()
{
    m_web.setControl(QStringLiteral("delayMs=600"));
    {
        FeedbackDialog dialog;
        dialog.show();
        dialog.contentEdit()->setPlainText(QStringLiteral("Closing right away."));
        dialog.contactEdit()->setText(QStringLiteral("12345"));
        dialog.findChild<QPushButton *>(QStringLiteral("btn_submit"))->click();
        dialog.findChild<QPushButton *>(QStringLiteral("btn_close"))->click();
    }
    // The dialog is gone before the answer: no message, no crash.
    MessageWatcher messages(1500);
    QVERIFY(!messages.waitForOne());
}

QTEST_MAIN(TestFeedback)
#include "tst_feedback.moc"
