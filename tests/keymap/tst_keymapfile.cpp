// The key-map file: its payloads byte for byte as Qt 5's QDataStream writes them, the JSON form the
// program writes, the load with its proportion test and scaling, and broken files.
#include "keymapfile.h"

#include <QDataStream>
#include <QTemporaryDir>
#include <QtTest>

namespace {

QByteArray hex(const char *text)
{
    return QByteArray::fromHex(QByteArray(text).replace(' ', ""));
}

// The payloads exactly as Qt writes them, to compare our bytes with.
QByteArray qtMapPayload(const KeyMap &map)
{
    QMap<QString, QByteArray> values;
    for (auto it = map.constBegin(); it != map.constEnd(); ++it) {
        QByteArray value;
        QDataStream s(&value, QIODevice::WriteOnly);
        s << qint32(it.value().type) << it.value().pos;
        values.insert(it.key(), value);
    }
    QByteArray out;
    QDataStream s(&out, QIODevice::WriteOnly);
    s << values;
    return out;
}

QByteArray qtRectPayload(const QRect &rect)
{
    QByteArray out;
    QDataStream s(&out, QIODevice::WriteOnly);
    s << rect;
    return out;
}

QByteArray fileText(const QByteArray &map, const QByteArray &rect, int rotation)
{
    return "{\n    \"keyMap\": \"" + map.toBase64() + "\",\n    \"rect\": \"" + rect.toBase64() +
           "\",\n    \"rotation\": " + QByteArray::number(rotation) + "\n}\n";
}

KeyMap sampleMap()
{
    KeyMap map;
    map.insert(QStringLiteral("A"), {KeyMapKey, {100, 200}});
    map.insert(QStringLiteral("FIRE"), {KeyMapFire, {400, 500}});
    map.insert(QStringLiteral("POSCENTER"), {KeyMapPosCenter, {300, 400}});
    map.insert(QStringLiteral("W"), {KeyMapPosUp, {300, 354}});
    map.insert(QStringLiteral("Left"), {KeyMapSenLeft, {0, 0}});
    map.insert(QStringLiteral("Space"), {KeyMapSlideRight, {-5, 7}});
    map.insert(QString::fromUtf8("\xc3\xa9"), {KeyMapKey, {1, 2}}); // a non-ASCII key survives
    return map;
}

} // namespace

Q_DECLARE_METATYPE(KeyMap)

class TestKeyMapFile : public QObject
{
    Q_OBJECT

private slots:
    void payloadsAreQtStreamBytes();
    void writtenFileHasTheseBytes();
    void loadScales_data();
    void loadScales();
    void brokenFilesLoadNothing_data();
    void brokenFilesLoadNothing();
    void truncatedValueReadsZeros();
    void namesReachingPaths_data();
    void namesReachingPaths();
    void writeReplacesAtomically();
};

void TestKeyMapFile::payloadsAreQtStreamBytes()
{
    // The example of the format: "A" -> {0, (100, 200)}, and a 540 x 960 rectangle at (0, 0).
    KeyMap one;
    one.insert(QStringLiteral("A"), {KeyMapKey, {100, 200}});
    QCOMPARE(KeyMapFile::encodeMap(one), hex("00000001 00000002 0041 0000000C 00000000 00000064 000000C8"));
    QCOMPARE(KeyMapFile::encodeRect(QRect(0, 0, 540, 960)), hex("00000000 00000000 0000021B 000003BF"));
    QCOMPARE(KeyMapFile::encodeMap(KeyMap()), hex("00000000"));
    // A bigger map: the same bytes as Qt's stream, and it reads back.
    const KeyMap map = sampleMap();
    QCOMPARE(KeyMapFile::encodeMap(map), qtMapPayload(map));
    QCOMPARE(KeyMapFile::encodeRect(QRect(3, -4, 720, 1280)), qtRectPayload(QRect(3, -4, 720, 1280)));
    bool ok = false;
    QCOMPARE(KeyMapFile::decodeMap(qtMapPayload(map), &ok), map);
    QVERIFY(ok);
    QCOMPARE(KeyMapFile::decodeRect(qtRectPayload(QRect(3, -4, 720, 1280))), QRect(3, -4, 720, 1280));
}

void TestKeyMapFile::writtenFileHasTheseBytes()
{
    QTemporaryDir dir;
    const QString path = dir.path() + QStringLiteral("/new/folder/com.game.json");
    const KeyMap map = sampleMap();
    QVERIFY(KeyMapFile::write(path, map, QRect(0, 0, 540, 960), 90));
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), fileText(qtMapPayload(map), qtRectPayload(QRect(0, 0, 540, 960)), 90));
    // ... and a file built by hand from Qt's bytes, members in another order, loads the same map.
    const QByteArray reordered = "{\"rotation\": 270, \"rect\": \"" +
                                 qtRectPayload(QRect(0, 0, 540, 960)).toBase64() + "\", \"keyMap\": \"" +
                                 qtMapPayload(map).toBase64() + "\"}";
    const KeyMapFile::LoadResult result = KeyMapFile::loadBytes(reordered, QSize(540, 960));
    QCOMPARE(int(result.status), int(KeyMapFile::LoadStatus::Loaded));
    QCOMPARE(result.map, map);
    QCOMPARE(result.rotation, 270);
}

void TestKeyMapFile::loadScales_data()
{
    QTest::addColumn<QRect>("saved");
    QTest::addColumn<QSize>("current");
    QTest::addColumn<QPoint>("stored");
    QTest::addColumn<bool>("loads");
    QTest::addColumn<QPoint>("played");
    QTest::newRow("540x960 on 720x1280")
        << QRect(0, 0, 540, 960) << QSize(720, 1280) << QPoint(100, 200) << true << QPoint(133, 266);
    QTest::newRow("pad point scaled")
        << QRect(0, 0, 540, 960) << QSize(720, 1280) << QPoint(300, 354) << true << QPoint(400, 472);
    QTest::newRow("720x1280 on 540x960")
        << QRect(0, 0, 720, 1280) << QSize(540, 960) << QPoint(100, 201) << true << QPoint(75, 150);
    QTest::newRow("negative truncates toward zero")
        << QRect(0, 0, 720, 1280) << QSize(540, 960) << QPoint(-101, -3) << true << QPoint(-75, -2);
    QTest::newRow("portrait on landscape")
        << QRect(0, 0, 540, 960) << QSize(960, 540) << QPoint(1, 1) << false << QPoint();
    QTest::newRow("0.625 on 0.5625") << QRect(0, 0, 720, 1280) << QSize(800, 1280) << QPoint(1, 1) << false
                                     << QPoint();
    QTest::newRow("difference 0.0031 loads")
        << QRect(0, 0, 720, 1280) << QSize(724, 1280) << QPoint(720, 1280) << true << QPoint(724, 1287);
    // 20 / 1000 - 10 / 1000 is 0.01 exactly in doubles: the limit still loads (scale 2).
    QTest::newRow("difference exactly 0.01 loads")
        << QRect(0, 0, 10, 1000) << QSize(20, 1000) << QPoint(5, 100) << true << QPoint(10, 200);
    QTest::newRow("difference 0.0101 fails")
        << QRect(0, 0, 1000, 1000) << QSize(10101, 10000) << QPoint(1, 1) << false << QPoint();
    QTest::newRow("missing rect is 1x1: square screen")
        << QRect(0, 0, 1, 1) << QSize(500, 500) << QPoint(2, 3) << true << QPoint(1000, 1500);
    QTest::newRow("null rectangle never divides")
        << QRect(QPoint(5, 5), QPoint(4, 100)) << QSize(500, 500) << QPoint(2, 3) << false << QPoint();
    QTest::newRow("zero-height screen")
        << QRect(0, 0, 540, 960) << QSize(540, 0) << QPoint(2, 3) << false << QPoint();
}

void TestKeyMapFile::loadScales()
{
    QFETCH(QRect, saved);
    QFETCH(QSize, current);
    QFETCH(QPoint, stored);
    QFETCH(bool, loads);
    QFETCH(QPoint, played);
    KeyMap map;
    map.insert(QStringLiteral("A"), {KeyMapKey, stored});
    map.insert(QStringLiteral("Left"), {KeyMapSenLeft, {0, 0}});
    const KeyMapFile::LoadResult result = KeyMapFile::loadBytes(KeyMapFile::toJson(map, saved, 0), current);
    QCOMPARE(result.status == KeyMapFile::LoadStatus::Loaded, loads);
    if (!loads) {
        QCOMPARE(int(result.status), int(KeyMapFile::LoadStatus::ShapeMismatch));
        QVERIFY(result.map.isEmpty());
        return;
    }
    QCOMPARE(result.map.value(QStringLiteral("A")).pos, played);
    QCOMPARE(result.map.value(QStringLiteral("Left")).pos, QPoint(0, 0));
}

void TestKeyMapFile::brokenFilesLoadNothing_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<int>("status");
    const QByteArray rect = qtRectPayload(QRect(0, 0, 540, 960)).toBase64();
    const QByteArray good = fileText(qtMapPayload(sampleMap()), qtRectPayload(QRect(0, 0, 540, 960)), 0);
    const int parseError = int(KeyMapFile::LoadStatus::ParseError);
    const int loaded = int(KeyMapFile::LoadStatus::Loaded);
    const int mismatch = int(KeyMapFile::LoadStatus::ShapeMismatch);
    QTest::newRow("empty file") << QByteArray() << parseError;
    QTest::newRow("truncated JSON") << good.left(good.size() / 2) << parseError;
    QTest::newRow("not an object") << QByteArray("[1, 2]") << mismatch; // no rect: 1 x 1 on 540 x 960
    QTest::newRow("bad Base64 map") << QByteArray("{\"rect\": \"" + rect + "\", \"keyMap\": \"!!!!****\"}")
                                    << loaded;
    QTest::newRow("truncated map payload")
        << QByteArray("{\"rect\": \"" + rect + "\", \"keyMap\": \"" +
                      qtMapPayload(sampleMap()).left(30).toBase64() + "\"}")
        << loaded;
    QTest::newRow("huge count") << QByteArray("{\"rect\": \"" + rect + "\", \"keyMap\": \"" +
                                              hex("FFFFFFFF 00000002 0041 0000000C").toBase64() + "\"}")
                                << loaded;
    QTest::newRow("huge key length") << QByteArray("{\"rect\": \"" + rect + "\", \"keyMap\": \"" +
                                                   hex("00000001 FFFFFFFE 0041").toBase64() + "\"}")
                                     << loaded;
    QTest::newRow("odd key length")
        << QByteArray("{\"rect\": \"" + rect + "\", \"keyMap\": \"" +
                      hex("00000001 00000001 41 0000000C 0000000000000000 00000000").toBase64() + "\"}")
        << loaded;
    QTest::newRow("null rectangle")
        << QByteArray("{\"rect\": \"" + qtRectPayload(QRect(QPoint(0, 0), QPoint(-1, -1))).toBase64() +
                      "\", \"keyMap\": \"" + qtMapPayload(sampleMap()).toBase64() + "\"}")
        << mismatch;
    QTest::newRow("extreme rectangle")
        << QByteArray("{\"rect\": \"" + hex("80000000 80000000 7FFFFFFF 7FFFFFFF").toBase64() +
                      "\", \"keyMap\": \"" + qtMapPayload(sampleMap()).toBase64() + "\"}")
        << mismatch;
}

void TestKeyMapFile::brokenFilesLoadNothing()
{
    QFETCH(QByteArray, content);
    QFETCH(int, status);
    const KeyMapFile::LoadResult result = KeyMapFile::loadBytes(content, QSize(540, 960));
    QCOMPARE(int(result.status), status);
    QVERIFY(result.map.isEmpty());
}

void TestKeyMapFile::truncatedValueReadsZeros()
{
    // One entry whose value holds the type and only two bytes of x: x and y read as 0.
    const QByteArray payload = hex("00000001 00000002 0041 00000006 00000002 0001");
    bool ok = false;
    const KeyMap map = KeyMapFile::decodeMap(payload, &ok);
    QVERIFY(ok);
    QCOMPARE(map.value(QStringLiteral("A")), (KeyMapItem{KeyMapAim, {0, 0}}));
    // A payload cut inside the entry list has no entries at all.
    QVERIFY(KeyMapFile::decodeMap(payload.left(payload.size() - 7), &ok).isEmpty());
    QVERIFY(!ok);
}

void TestKeyMapFile::namesReachingPaths_data()
{
    QTest::addColumn<QString>("vm");
    QTest::addColumn<QString>("package");
    QTest::addColumn<bool>("accepted");
    QTest::newRow("plain") << "Orvanta_0"
                           << "com.example.game_2" << true;
    QTest::newRow("one part") << "Orvanta_0"
                              << "game" << true;
    QTest::newRow("climbs out") << "Orvanta_0"
                                << "../../x" << false;
    QTest::newRow("slash") << "Orvanta_0"
                           << "com/x" << false;
    QTest::newRow("empty part") << "Orvanta_0"
                                << "com..x" << false;
    QTest::newRow("leading dot") << "Orvanta_0"
                                 << ".com" << false;
    QTest::newRow("trailing dot") << "Orvanta_0"
                                  << "com." << false;
    QTest::newRow("blank") << "Orvanta_0"
                           << "com x" << false;
    QTest::newRow("non-ASCII letter") << "Orvanta_0" << QString::fromUtf8("c\xc3\xa9") << false;
    QTest::newRow("empty package") << "Orvanta_0"
                                   << "" << false;
    QTest::newRow("vm with dots") << "a..b"
                                  << "com.x" << false;
    QTest::newRow("vm with slash") << "a/b"
                                   << "com.x" << false;
    QTest::newRow("vm with backslash") << "a\\b"
                                       << "com.x" << false;
    QTest::newRow("vm dot-dot") << ".."
                                << "com.x" << false;
    QTest::newRow("empty vm") << ""
                              << "com.x" << false;
}

void TestKeyMapFile::namesReachingPaths()
{
    QFETCH(QString, vm);
    QFETCH(QString, package);
    QFETCH(bool, accepted);
    QTemporaryDir dir;
    qputenv("APPDATA", dir.path().toUtf8());
    const QString path = KeyMapFile::filePath(vm, package);
    QCOMPARE(!path.isEmpty(), accepted);
    if (accepted)
        QCOMPARE(path, dir.path() + "/Halvora/keyMap/" + vm + "/" + package + ".json");
}

void TestKeyMapFile::writeReplacesAtomically()
{
    QTemporaryDir dir;
    const QString path = dir.path() + QStringLiteral("/k.json");
    QVERIFY(KeyMapFile::write(path, sampleMap(), QRect(0, 0, 540, 960), 0));
    // A folder in place of the file: the write fails and leaves nothing half-written.
    const QString blocked = dir.path() + QStringLiteral("/blocked.json");
    QVERIFY(QDir().mkpath(blocked));
    QVERIFY(!KeyMapFile::write(blocked, sampleMap(), QRect(0, 0, 540, 960), 0));
    QVERIFY(QFileInfo(blocked).isDir());
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files), QStringList{"k.json"});
}

QTEST_GUILESS_MAIN(TestKeyMapFile)
#include "tst_keymapfile.moc"
