// The programs' English texts: every key the sources use has a finished English text in the committed
// source (resources/translations), the compiled texts the programs carry say the same, texts with an
// argument show it, and a program's translation file goes over the English texts without hiding them
// where it lacks a key.

#include "translations.h"

#include <QDirIterator>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTranslator>
#include <QXmlStreamReader>
#include <QtTest>

namespace {

const char *const kSourceDir = ORV_SOURCE_DIR;

struct Message
{
    QString context;
    QString source;
    QString translation;
    bool finished = true;
};

QVector<Message> readTs(const QString &path, QString *error)
{
    QVector<Message> messages;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        *error = path + QStringLiteral(": cannot be read");
        return messages;
    }
    QXmlStreamReader xml(&file);
    QString context;
    Message message;
    while (!xml.atEnd()) {
        if (xml.readNext() != QXmlStreamReader::StartElement)
            continue;
        if (xml.name() == QLatin1String("name")) {
            context = xml.readElementText();
        } else if (xml.name() == QLatin1String("source")) {
            message = Message();
            message.context = context;
            message.source = xml.readElementText();
        } else if (xml.name() == QLatin1String("translation")) {
            message.finished = xml.attributes().value(QLatin1String("type")).isEmpty();
            message.translation = xml.readElementText();
            messages << message;
        }
    }
    if (xml.hasError())
        *error = path + QStringLiteral(": ") + xml.errorString();
    return messages;
}

// The %1 .. %9 markers of a text.
QSet<QString> argumentMarkers(const QString &text)
{
    QSet<QString> markers;
    static const QRegularExpression marker(QStringLiteral("%[1-9]"));
    for (auto it = marker.globalMatch(text); it.hasNext();)
        markers << it.next().captured();
    return markers;
}

// Keys that the product's sources pass through .arg(): tr("key").arg(...) and
// translate("context", "key").arg(...).
QSet<QString> keysWithArguments()
{
    QSet<QString> keys;
    static const QRegularExpression call(
        QStringLiteral(R"re((?:\btr\(|\btranslate\(\s*"[^"]*"\s*,\s*)"([^"]+)"\s*\)\s*\.arg\()re"));
    for (const char *folder : {"app", "startup", "checks", "screen", "keymap", "shell", "vm", "datareport",
                               "core", "platform", "multiplayer", "tools"}) {
        QDirIterator files(QLatin1String(kSourceDir) + QLatin1Char('/') + QLatin1String(folder),
                           {QStringLiteral("*.cpp"), QStringLiteral("*.h")}, QDir::Files,
                           QDirIterator::Subdirectories);
        while (files.hasNext()) {
            QFile file(files.next());
            if (!file.open(QIODevice::ReadOnly))
                continue;
            const QString text = QString::fromUtf8(file.readAll());
            for (auto it = call.globalMatch(text); it.hasNext();)
                keys << it.next().captured(1);
        }
    }
    return keys;
}

} // namespace

class TestTranslations : public QObject
{
    Q_OBJECT

private slots:
    void cleanup();
    void sourcesHoldEveryKey();
    void everyTextFinished_data();
    void everyTextFinished();
    void fileGoesOverEnglish_data();
    void fileGoesOverEnglish();
    void missingEnglishIsReported();

private:
    static void removeTranslators();
};

void TestTranslations::cleanup()
{
    removeTranslators();
}

void TestTranslations::removeTranslators()
{
    for (QTranslator *translator : QCoreApplication::instance()->findChildren<QTranslator *>()) {
        QCoreApplication::removeTranslator(translator);
        delete translator;
    }
}

void TestTranslations::sourcesHoldEveryKey()
{
    // lupdate over the programs' sources changes nothing in the committed English sources: no key is
    // missing, none is left over.
    QTemporaryDir scratch;
    QProcess update;
    update.setProcessChannelMode(QProcess::MergedChannels);
    update.start(QLatin1String(kSourceDir) + QStringLiteral("/scripts/update-translations"),
                 {scratch.path()});
    QVERIFY(update.waitForFinished(120000));
    QVERIFY2(update.exitStatus() == QProcess::NormalExit && update.exitCode() == 0,
             update.readAll().constData());
    for (const char *texts : {"orvanta", "multiplayer", "orvantau"}) {
        const QString name = QLatin1String(texts) + QStringLiteral("_en.ts");
        QFile committed(QLatin1String(kSourceDir) + QStringLiteral("/resources/translations/") + name);
        QFile refreshed(scratch.filePath(name));
        QVERIFY(committed.open(QIODevice::ReadOnly));
        QVERIFY(refreshed.open(QIODevice::ReadOnly));
        QVERIFY2(committed.readAll() == refreshed.readAll(),
                 qPrintable(name + QStringLiteral(" differs from the keys the sources use: run "
                                                  "scripts/update-translations and write the new texts")));
    }
}

void TestTranslations::everyTextFinished_data()
{
    QTest::addColumn<QString>("texts");
    QTest::newRow("Orvanta and OrvCrashNotice") << "orvanta";
    QTest::newRow("OrvMultiPlayer") << "multiplayer";
    QTest::newRow("OrvantaU") << "orvantau";
}

void TestTranslations::everyTextFinished()
{
    QFETCH(QString, texts);
    QString error;
    const QVector<Message> messages =
        readTs(QLatin1String(kSourceDir) + QStringLiteral("/resources/translations/") + texts +
                   QStringLiteral("_en.ts"),
               &error);
    QVERIFY2(error.isEmpty(), qPrintable(error));
    QVERIFY(!messages.isEmpty());
    QTranslator compiled;
    QVERIFY(compiled.load(QStringLiteral(":/translations/") + texts + QStringLiteral("_en.qm")));
    const QSet<QString> withArguments = keysWithArguments();
    QVERIFY(withArguments.contains(QStringLiteral("delete fail")));

    for (const Message &m : messages) {
        const QString where = m.context + QStringLiteral(" / \"") + m.source + QStringLiteral("\"");
        QVERIFY2(m.finished && !m.translation.trimmed().isEmpty(),
                 qPrintable(where + QStringLiteral(": no text")));
        QVERIFY2(argumentMarkers(m.source).subtract(argumentMarkers(m.translation)).isEmpty(),
                 qPrintable(where + QStringLiteral(": drops an argument")));
        if (withArguments.contains(m.source))
            QVERIFY2(m.translation.contains(QLatin1String("%1")),
                     qPrintable(where + QStringLiteral(": given an argument that its text does not show")));
        // The checks' texts travel in ';'/'|'-separated lists and the '#'-joined dialog request.
        if (m.context.startsWith(QLatin1String("Check")) && m.context.endsWith(QLatin1String("Action")))
            QVERIFY2(!m.translation.contains(QRegularExpression(QStringLiteral("[|;#]"))),
                     qPrintable(where + QStringLiteral(": holds a separator")));
        // What the program carries is what the source says.
        QCOMPARE(compiled.translate(m.context.toUtf8().constData(), m.source.toUtf8().constData()),
                 m.translation);
    }
}

void TestTranslations::fileGoesOverEnglish_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<bool>("loads");
    QTest::addColumn<QString>("confirm");
    QTest::newRow("no file named") << "" << false << "OK";
    QTest::newRow("file missing") << "missing.qm" << false << "OK";
    QTest::newRow("file with some keys") << "partial.qm" << true << "确定";
}

void TestTranslations::fileGoesOverEnglish()
{
    QFETCH(QString, file);
    QFETCH(bool, loads);
    QFETCH(QString, confirm);

    // An installation's translation file that has one of the dialog's keys and lacks the other.
    QTemporaryDir scratch;
    QFile ts(scratch.filePath(QStringLiteral("partial.ts")));
    QVERIFY(ts.open(QIODevice::WriteOnly));
    ts.write(
        "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<!DOCTYPE TS>\n<TS version=\"2.1\" language=\"zh_CN\">\n"
        "<context><name>CommonDialog</name>\n"
        "<message><source>confirm</source><translation>\xe7\xa1\xae\xe5\xae\x9a</translation></message>\n"
        "</context>\n</TS>\n");
    ts.close();
    QVERIFY(QProcess::execute(QStringLiteral(ORV_LRELEASE),
                              {QStringLiteral("-silent"), ts.fileName(), QStringLiteral("-qm"),
                               scratch.filePath(QStringLiteral("partial.qm"))}) == 0);

    const QString path = file.isEmpty() ? QString() : scratch.filePath(file);
    QCOMPARE(Translations::install(QStringLiteral(":/translations/orvanta_en.qm"), path), loads);
    QCOMPARE(QCoreApplication::translate("CommonDialog", "confirm"), confirm);
    QCOMPARE(QCoreApplication::translate("CommonDialog", "cancel"), QStringLiteral("Cancel"));
    QCOMPARE(QCoreApplication::translate("CheckVTOpenStautsAction", "vt is close"),
             QStringLiteral("Virtualisation (VT) is off"));
    // A key no text source has stays itself.
    QCOMPARE(QCoreApplication::translate("CommonDialog", "no such key"), QStringLiteral("no such key"));
}

void TestTranslations::missingEnglishIsReported()
{
    QTest::ignoreMessage(QtWarningMsg,
                         "Translations: the program's English texts :/translations/none_en.qm are missing");
    QVERIFY(!Translations::install(QStringLiteral(":/translations/none_en.qm")));
    QCOMPARE(QCoreApplication::translate("CommonDialog", "cancel"), QStringLiteral("cancel"));
}

QTEST_GUILESS_MAIN(TestTranslations)
#include "tst_translations.moc"
