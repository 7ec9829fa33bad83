// Every resource a program's code, forms and style sheets name (":/images/...", url(:/...)) is listed
// by that program's resource files and its file is there: no window asks for a picture it does not
// carry ("Could not create pixmap from ...").

#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QXmlStreamReader>
#include <QtTest>

namespace {

const QString kSource = QStringLiteral(ORV_SOURCE_DIR);

// Resource path -> file on disk ("" when the file is made by the build), read from a .qrc file.
QHash<QString, QString> readQrc(const QString &path, QString *error)
{
    QHash<QString, QString> entries;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        *error = path + QStringLiteral(": cannot be read");
        return entries;
    }
    QXmlStreamReader xml(&file);
    QString prefix;
    while (!xml.atEnd()) {
        if (xml.readNext() != QXmlStreamReader::StartElement)
            continue;
        if (xml.name() == QLatin1String("qresource")) {
            prefix = xml.attributes().value(QLatin1String("prefix")).toString();
            if (!prefix.endsWith(QLatin1Char('/')))
                prefix += QLatin1Char('/');
        } else if (xml.name() == QLatin1String("file")) {
            const QString alias = xml.attributes().value(QLatin1String("alias")).toString();
            const QString name = xml.readElementText();
            const QString onDisk = name.contains(QLatin1Char('@'))
                                       ? QString()
                                       : QFileInfo(path).absolutePath() + QLatin1Char('/') + name;
            entries.insert(QLatin1Char(':') + prefix + (alias.isEmpty() ? name : alias), onDisk);
        }
    }
    if (xml.hasError())
        *error = path + QStringLiteral(": ") + xml.errorString();
    return entries;
}

// The resource paths named in the given files and folders (code, forms, style sheets).
QMap<QString, QString> references(const QStringList &places)
{
    static const QRegularExpression reference(
        QStringLiteral(R"re((?<![A-Za-z/]):(/[A-Za-z0-9_%.-][A-Za-z0-9_%./-]*))re"));
    QMap<QString, QString> found; // path -> where it was first seen
    QStringList files;
    for (const QString &place : places) {
        const QString path = kSource + QLatin1Char('/') + place;
        if (QFileInfo(path).isFile()) {
            files << path;
            continue;
        }
        QDirIterator it(path, {"*.cpp", "*.h", "*.ui", "*.qss"}, QDir::Files, QDirIterator::Subdirectories);
        while (it.hasNext())
            files << it.next();
    }
    for (const QString &path : files) {
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly))
            continue;
        const QString text = QString::fromUtf8(file.readAll());
        for (auto it = reference.globalMatch(text); it.hasNext();) {
            QString name = QLatin1Char(':') + it.next().captured(1);
            // A picture chosen by number names its first one; a prefix joined to names at run time and
            // the English texts the build makes are not single resources.
            name.replace(QStringLiteral("%1"), QStringLiteral("1"));
            if (name.endsWith(QLatin1Char('/')) || name.startsWith(QLatin1String(":/translations/")))
                continue;
            if (!found.contains(name))
                found.insert(name, path.mid(kSource.size() + 1));
        }
    }
    return found;
}

} // namespace

class TestPictures : public QObject
{
    Q_OBJECT

private slots:
    void everyNamedResourceIsCarried_data();
    void everyNamedResourceIsCarried();
};

void TestPictures::everyNamedResourceIsCarried_data()
{
    QTest::addColumn<QStringList>("places");
    QTest::addColumn<QStringList>("qrcs");
    QTest::addColumn<int>("atLeast");
    QStringList emulator{"startup", "checks", "screen", "keymap", "shell", "core", "vm", "datareport"};
    QDirIterator app(kSource + QStringLiteral("/app"), {"*.cpp", "*.h"}, QDir::Files);
    while (app.hasNext())
        emulator << app.next().mid(kSource.size() + 1);
    QTest::newRow("Orvanta and OrvCrashNotice")
        << emulator
        << QStringList{"resources/orvanta.qrc", "resources/checkimages.qrc", "resources/keymapimages.qrc",
                       "resources/shellimages.qrc", "resources/locationpage.qrc"}
        << 20;
    QTest::newRow("OrvMultiPlayer") << QStringList{"app/multiplayer", "multiplayer",
                                                   "resources/multiplayer/style.qss"}
                                    << QStringList{"resources/multiplayer/images.qrc",
                                                   "resources/multiplayer/multiplayer.qrc.in"}
                                    << 20;
    QTest::newRow("OrvantaU") << QStringList{"tools/orvantau", "tools/common"}
                              << QStringList{"resources/orvantau.qrc"} << 3;
}

void TestPictures::everyNamedResourceIsCarried()
{
    QFETCH(QStringList, places);
    QFETCH(QStringList, qrcs);
    QFETCH(int, atLeast);
    QHash<QString, QString> carried;
    for (const QString &qrc : qrcs) {
        QString error;
        const QHash<QString, QString> entries = readQrc(kSource + QLatin1Char('/') + qrc, &error);
        QVERIFY2(error.isEmpty(), qPrintable(error));
        for (auto it = entries.cbegin(); it != entries.cend(); ++it) {
            QVERIFY2(it.value().isEmpty() || QFileInfo(it.value()).isFile(),
                     qPrintable(qrc + QStringLiteral(" lists a missing file: ") + it.value()));
            carried.insert(it.key(), it.value());
        }
    }
    const QMap<QString, QString> named = references(places);
    QVERIFY2(named.size() >= atLeast, qPrintable(QStringList(named.keys()).join(' ')));
    for (auto it = named.cbegin(); it != named.cend(); ++it)
        QVERIFY2(carried.contains(it.key()),
                 qPrintable(it.value() + QStringLiteral(" names ") + it.key() + QStringLiteral(", which ") +
                            qrcs.join(QStringLiteral(" and ")) + QStringLiteral(" do not carry")));
}

QTEST_GUILESS_MAIN(TestPictures)
#include "tst_pictures.moc"
