// Every resource a program's code, forms and style sheets name (":/images/...", url(:/...)) is listed
// by that program's resource files and its file is there: no window asks for a picture it does not
// carry ("Could not create pixmap from ..."), and every picture they carry is drawn: not a block of one
// colour that a user could tell from its neighbours only by its tip.

#include <cmath>

#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QRegularExpression>
#include <QSet>
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

// Every resource file of the programs, the pictures among them checked for what they show.
const QStringList kQrcs{
    "resources/orvanta.qrc",     "resources/checkimages.qrc",        "resources/keymapimages.qrc",
    "resources/shellimages.qrc", "resources/multiplayer/images.qrc", "resources/orvantau.qrc"};

struct Spread
{
    int colours = 0;      // distinct ARGB values
    double deviation = 0; // the largest standard deviation of one channel (alpha, red, green, blue)
};

// How much a picture varies: a placeholder block has one colour and no deviation at all.
Spread spreadOf(const QImage &picture)
{
    const QImage image = picture.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    QSet<QRgb> colours;
    double sum[4] = {0, 0, 0, 0};
    double squares[4] = {0, 0, 0, 0};
    for (int y = 0; y < image.height(); ++y) {
        const auto *line = reinterpret_cast<const QRgb *>(image.constScanLine(y));
        for (int x = 0; x < image.width(); ++x) {
            colours.insert(line[x]);
            const int channels[4] = {qAlpha(line[x]), qRed(line[x]), qGreen(line[x]), qBlue(line[x])};
            for (int c = 0; c < 4; ++c) {
                sum[c] += channels[c];
                squares[c] += double(channels[c]) * channels[c];
            }
        }
    }
    Spread spread;
    spread.colours = colours.size();
    const double count = double(image.width()) * image.height();
    for (int c = 0; c < 4 && count > 0; ++c) {
        const double mean = sum[c] / count;
        spread.deviation = qMax(spread.deviation, std::sqrt(qMax(0.0, squares[c] / count - mean * mean)));
    }
    return spread;
}

QImage pictureOf(const QString &qrc, const QString &resource)
{
    QString error;
    const QString file = readQrc(kSource + QLatin1Char('/') + qrc, &error).value(resource);
    return file.isEmpty() ? QImage() : QImage(file);
}

} // namespace

class TestPictures : public QObject
{
    Q_OBJECT

private slots:
    void everyNamedResourceIsCarried_data();
    void everyNamedResourceIsCarried();
    void everyPictureIsDrawn_data();
    void everyPictureIsDrawn();
    void picturesOfTwoStatesDiffer_data();
    void picturesOfTwoStatesDiffer();
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

void TestPictures::everyPictureIsDrawn_data()
{
    QTest::addColumn<QString>("qrc");
    QTest::addColumn<QString>("file");
    int pictures = 0;
    for (const QString &qrc : kQrcs) {
        QString error;
        const QHash<QString, QString> entries = readQrc(kSource + QLatin1Char('/') + qrc, &error);
        QVERIFY2(error.isEmpty(), qPrintable(error));
        QStringList files = entries.values();
        files.sort();
        files.removeDuplicates();
        for (const QString &file : files) {
            if (!file.endsWith(QLatin1String(".png")) && !file.endsWith(QLatin1String(".ico")))
                continue;
            QTest::newRow(qPrintable(file.mid(kSource.size() + 1))) << qrc << file;
            ++pictures;
        }
    }
    QVERIFY(pictures > 150);
}

// A picture of one colour, or whose every channel is nearly flat, is a block: a drawn icon stands on a
// transparent ground, a drawn background has a gradient, a frame or a figure.
void TestPictures::everyPictureIsDrawn()
{
    QFETCH(QString, qrc);
    QFETCH(QString, file);
    const QImage picture(file);
    QVERIFY2(!picture.isNull(), qPrintable(file + QStringLiteral(" is not a picture")));
    const Spread spread = spreadOf(picture);
    QVERIFY2(spread.colours >= 2 && spread.deviation >= 6.0,
             qPrintable(QStringLiteral("%1 (%2x%3) is a block: %4 colours, deviation %5")
                            .arg(file)
                            .arg(picture.width())
                            .arg(picture.height())
                            .arg(spread.colours)
                            .arg(spread.deviation, 0, 'f', 2)));
}

void TestPictures::picturesOfTwoStatesDiffer_data()
{
    QTest::addColumn<QString>("qrc");
    QTest::addColumn<QString>("first");
    QTest::addColumn<QString>("second");
    const QString keymap = QStringLiteral("resources/keymapimages.qrc");
    const QString shell = QStringLiteral("resources/shellimages.qrc");
    const QString checks = QStringLiteral("resources/checkimages.qrc");
    const QString manager = QStringLiteral("resources/multiplayer/images.qrc");
    QTest::newRow("key control on/off") << keymap << ":/images/keyctrl_on.png"
                                        << ":/images/keyctrl_off.png";
    QTest::newRow("keep on top on/off") << shell << ":/images/title_top.png"
                                        << ":/images/title_not_top.png";
    QTest::newRow("maximise/restore") << shell << ":/images/title_max.png"
                                      << ":/images/title_small.png";
    QTest::newRow("key mapping on/off") << shell << ":/images/menu_keyboard_on.png"
                                        << ":/images/menu_keyboard_off.png";
    QTest::newRow("script on/off") << shell << ":/images/menu_script_on.png"
                                   << ":/images/menu_script_off.png";
    QTest::newRow("radio checked/unchecked") << shell << ":/images/radio_check.png"
                                             << ":/images/radio_uncheck.png";
    QTest::newRow("check passed/not passed") << checks << ":/images/ec_passed_status.png"
                                             << ":/images/ec_not_passed_status.png";
    QTest::newRow("notice box on/off") << checks << ":/images/white_check_on.png"
                                       << ":/images/white_check_off.png";
    QTest::newRow("manager box checked/unchecked")
        << manager << ":/Images/Resources/Images/checkbox_checked.png"
        << ":/Images/Resources/Images/checkbox_unchecked.png";
}

// Two states of one control are told apart by their pictures, not by colour alone: the pictures differ
// in the shape (alpha) or brightness of more than one pixel in twenty.
void TestPictures::picturesOfTwoStatesDiffer()
{
    QFETCH(QString, qrc);
    QFETCH(QString, first);
    QFETCH(QString, second);
    const QImage a = pictureOf(qrc, first).convertToFormat(QImage::Format_ARGB32);
    const QImage b = pictureOf(qrc, second).convertToFormat(QImage::Format_ARGB32);
    QVERIFY2(!a.isNull() && !b.isNull(), qPrintable(first + QLatin1Char(' ') + second));
    QCOMPARE(a.size(), b.size());
    int differing = 0;
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x) {
            const QRgb p = a.pixel(x, y);
            const QRgb q = b.pixel(x, y);
            const int alpha = qAbs(qAlpha(p) - qAlpha(q));
            const int light = qAbs(qGray(p) * qAlpha(p) / 255 - qGray(q) * qAlpha(q) / 255);
            if (alpha > 48 || light > 48)
                ++differing;
        }
    QVERIFY2(differing * 20 > a.width() * a.height(),
             qPrintable(QStringLiteral("%1 and %2 differ in %3 of %4 pixels")
                            .arg(first, second)
                            .arg(differing)
                            .arg(a.width() * a.height())));
}

QTEST_GUILESS_MAIN(TestPictures)
#include "tst_pictures.moc"
