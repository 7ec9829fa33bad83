// The shell's dialogs with the emulator's English texts loaded as the program loads them: every message
// the dispatcher or the crash notice puts into the common dialog, and the quit, update and VirtualBox
// error dialogs, show finished texts that fit their controls.

#include "commondialog.h"
#include "dialogtype.h"
#include "quitorvdialog.h"
#include "translations.h"
#include "updatedialog.h"
#include "vboxerrordialog.h"
#include "windowtexts.h"

#include <QTemporaryDir>
#include <QtTest>

#include <memory>

class TestShellTexts : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void messages_data();
    void messages();
    void dialogs_data();
    void dialogs();

private:
    QTemporaryDir m_root;
    QHash<QPair<QString, QString>, QString> m_texts;
    QSet<QString> m_bare;
};

void TestShellTexts::initTestCase()
{
    qputenv("LOCALAPPDATA", m_root.path().toLocal8Bit()); // no update notes
    QVERIFY(!Translations::install(QStringLiteral(":/translations/orvanta_en.qm"),
                                   m_root.path() + QStringLiteral("/player/language/Orvanta_zh_CN.qm")));
    m_texts = WindowTexts::readSource(QStringLiteral(ORV_TRANSLATIONS_DIR "/orvanta_en.ts"));
    QVERIFY(!m_texts.isEmpty());
    m_bare = WindowTexts::bareKeys(m_texts);
}

void TestShellTexts::messages_data()
{
    QTest::addColumn<QString>("context");
    QTest::addColumn<QString>("key");
    QTest::addColumn<int>("type");
    // Every error-code message, as the dispatcher shows it.
    const QHash<QPair<QString, QString>, QString> texts =
        WindowTexts::readSource(QStringLiteral(ORV_TRANSLATIONS_DIR "/orvanta_en.ts"));
    QStringList errorKeys;
    for (auto it = texts.cbegin(); it != texts.cend(); ++it)
        if (it.key().first == QLatin1String("DialogControl"))
            errorKeys << it.key().second;
    errorKeys.sort();
    QVERIFY(errorKeys.size() >= 12);
    for (const QString &key : errorKeys)
        QTest::addRow("%s", qPrintable(key)) << "DialogControl" << key << int(DialogType::ErrorCodeTutorial);
    QTest::newRow("crash notice") << "CrashHandler"
                                  << "Crash_Message" << int(DialogType::Message);
    QTest::newRow("starting") << "LoadingWindow"
                              << "starting" << int(DialogType::Message);
    QTest::newRow("exiting") << "MainControl"
                             << "exiting" << int(DialogType::Message);
    QTest::newRow("files missing") << "LoadingControl"
                                   << "file miss" << int(DialogType::Message);
    QTest::newRow("update clears data") << "UpdateDialog"
                                        << "need_clear_data" << int(DialogType::ClearData);
}

void TestShellTexts::messages()
{
    QFETCH(QString, context);
    QFETCH(QString, key);
    QFETCH(int, type);
    const QString text = QCoreApplication::translate(context.toUtf8().constData(), key.toUtf8().constData());
    QCOMPARE(text, m_texts.value({context, key}));
    CommonDialog dialog(text, type, nullptr);
    int shown = 0;
    const QStringList problems = WindowTexts::problems(&dialog, m_bare, false, &shown);
    QVERIFY2(problems.isEmpty(), qPrintable(problems.join(QStringLiteral("; "))));
    QVERIFY(shown >= 2); // the message and a button
}

void TestShellTexts::dialogs_data()
{
    QTest::addColumn<QString>("name");
    QTest::newRow("quit") << "quit";
    QTest::newRow("update") << "update";
    QTest::newRow("update that clears data") << "update clear";
    QTest::newRow("VirtualBox error") << "vbox error";
}

void TestShellTexts::dialogs()
{
    QFETCH(QString, name);
    std::unique_ptr<QDialog> dialog;
    if (name == QLatin1String("quit"))
        dialog = std::make_unique<QuitOrvDialog>();
    else if (name.startsWith(QLatin1String("update")))
        dialog = std::make_unique<UpdateDialog>(name.endsWith(QLatin1String("clear")));
    else
        dialog = std::make_unique<VBoxErrorDialog>();
    dialog->show();
    QVERIFY(QTest::qWaitForWindowExposed(dialog.get()));
    int shown = 0;
    const QStringList problems = WindowTexts::problems(dialog.get(), m_bare, false, &shown);
    QVERIFY2(problems.isEmpty(), qPrintable(problems.join(QStringLiteral("; "))));
    QVERIFY(shown >= 3);
}

QTEST_MAIN(TestShellTexts)
#include "tst_shelltexts.moc"
