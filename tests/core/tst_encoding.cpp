#include "base64.h"
#include "filemd5.h"
#include "pointbytes.h"
#include "xxtea.h"

#include <QTemporaryDir>
#include <QtTest>

#include <random>

class TestEncoding : public QObject
{
    Q_OBJECT

private slots:
    void xxteaReferenceVectors_data();
    void xxteaReferenceVectors();
    void xxteaWithLengthLayout();
    void xxteaSizes_data();
    void xxteaSizes();
    void xxteaRefusesBadArguments();
    void xxteaShortKeyIsZeroPadded();
    void encryptStringMatchesRoutine();
    void base64KnownAnswers_data();
    void base64KnownAnswers();
    void base64AgreesWithQt();
    void fileMd5KnownAnswers_data();
    void fileMd5KnownAnswers();
    void fileMd5CoversTheWholeFile();
    void fileMd5OfMissingFileIsEmpty();
    void pointBytes_data();
    void pointBytes();
    void pointFromShortBytes_data();
    void pointFromShortBytes();
};

static QByteArray hex(const char *text)
{
    return QByteArray::fromHex(text);
}

void TestEncoding::xxteaReferenceVectors_data()
{
    // Published test vectors of the corrected Block TEA, as bytes (words in little-endian order).
    QTest::addColumn<QByteArray>("key");
    QTest::addColumn<QByteArray>("plain");
    QTest::addColumn<QByteArray>("cipher");
    QTest::newRow("zero key, zero block")
        << hex("00000000000000000000000000000000") << hex("0000000000000000") << hex("ab043705808c5d57");
    QTest::newRow("bit key, zero block")
        << hex("0102040810204080fffefcf8f0e0c080") << hex("0000000000000000") << hex("d1e78be2c746728a");
    QTest::newRow("delta key, ones block")
        << hex("9e3779b99b9773e9b979379e6b695156") << hex("ffffffffffffffff") << hex("67ed0ea8e8973fc5");
    QTest::newRow("bit key, bit block")
        << hex("0102040810204080fffefcf8f0e0c080") << hex("fffefcf8f0e0c080") << hex("8c3707c01c7fccc4");
}

void TestEncoding::xxteaReferenceVectors()
{
    QFETCH(QByteArray, key);
    QFETCH(QByteArray, plain);
    QFETCH(QByteArray, cipher);
    QByteArray out(plain.size(), '\x55');
    QCOMPARE(
        xxteaEncrypt(plain.constData(), plain.size(), key.constData(), key.size(), out.data(), out.size()),
        plain.size());
    QCOMPARE(out.toHex(), cipher.toHex());
    // In place gives the same bytes.
    QByteArray inPlace = plain;
    xxteaEncrypt(inPlace.constData(), inPlace.size(), key.constData(), key.size(), inPlace.data(),
                 inPlace.size());
    QCOMPARE(inPlace.toHex(), cipher.toHex());
}

void TestEncoding::xxteaWithLengthLayout()
{
    // "abc" becomes 61 62 63 00 03 00 00 00 before encryption: two words, 8 bytes out.
    const QByteArray key = "k7@Lw!q2#Zp9&Rt4";
    QByteArray block = hex("6162630003000000");
    QCOMPARE(xxteaEncrypt(block.constData(), 8, key.constData(), key.size(), block.data(), 8), 8);

    QByteArray out(16, '\x55');
    QCOMPARE(xxteaEncryptWithLength("abc", 3, key.constData(), key.size(), out.data(), out.size()), 8);
    QCOMPARE(out.left(8).toHex(), block.toHex());
    QCOMPARE(out.mid(8), QByteArray(8, '\x55')); // nothing written past the result

    // A length that is a multiple of 4 gets no zero padding before the length word.
    QByteArray four = hex("0102030404000000");
    xxteaEncrypt(four.constData(), 8, key.constData(), key.size(), four.data(), 8);
    QByteArray out4(8, 0);
    QCOMPARE(xxteaEncryptWithLength("\x01\x02\x03\x04", 4, key.constData(), key.size(), out4.data(), 8), 8);
    QCOMPARE(out4.toHex(), four.toHex());
}

void TestEncoding::xxteaSizes_data()
{
    QTest::addColumn<int>("length");
    QTest::addColumn<int>("padded");
    QTest::addColumn<int>("withLength");
    QTest::newRow("1 byte") << 1 << 4 << 8;
    QTest::newRow("4 bytes") << 4 << 4 << 8;
    QTest::newRow("5 bytes") << 5 << 8 << 12;
    QTest::newRow("8 bytes") << 8 << 8 << 12;
    QTest::newRow("1000 bytes") << 1000 << 1000 << 1004;
}

void TestEncoding::xxteaSizes()
{
    QFETCH(int, length);
    QFETCH(int, padded);
    QFETCH(int, withLength);
    const QByteArray input(length, 'x');
    const QByteArray key = "0123456789abcdef";
    // A null output is a size query.
    QCOMPARE(xxteaEncrypt(input.constData(), length, key.constData(), 16, nullptr, 0), padded);
    QCOMPARE(xxteaEncryptWithLength(input.constData(), length, key.constData(), 16, nullptr, 0), withLength);

    // One byte short: -1 and nothing written.
    QByteArray small(withLength - 1, '\x55');
    QCOMPARE(
        xxteaEncryptWithLength(input.constData(), length, key.constData(), 16, small.data(), small.size()),
        -1);
    QCOMPARE(small, QByteArray(withLength - 1, '\x55'));
    QByteArray smallPadded(padded - 1, '\x55');
    QCOMPARE(
        xxteaEncrypt(input.constData(), length, key.constData(), 16, smallPadded.data(), smallPadded.size()),
        -1);
    QCOMPARE(smallPadded, QByteArray(padded - 1, '\x55'));

    QByteArray exact(withLength, 0);
    QCOMPARE(
        xxteaEncryptWithLength(input.constData(), length, key.constData(), 16, exact.data(), exact.size()),
        withLength);
}

void TestEncoding::xxteaRefusesBadArguments()
{
    char out[32] = {};
    const char *key = "0123456789abcdef";
    QCOMPARE(xxteaEncrypt(nullptr, 4, key, 16, out, 32), -1);
    QCOMPARE(xxteaEncrypt("abcd", 0, key, 16, out, 32), -1);
    QCOMPARE(xxteaEncryptWithLength(nullptr, 4, key, 16, out, 32), -1);
    QCOMPARE(xxteaEncryptWithLength("abcd", 0, key, 16, out, 32), -1);
    QCOMPARE(xxteaEncryptWithLength("abcd", 4, nullptr, 16, out, 32), -1);
    QCOMPARE(xxteaEncryptWithLength("abcd", 4, key, 0, out, 32), -1);
    // Keys longer than 16 bytes are refused, not cut.
    QCOMPARE(xxteaEncryptWithLength("abcd", 4, "0123456789abcdefX", 17, out, 32), -1);
    QCOMPARE(QByteArray(out, 32), QByteArray(32, 0));
}

void TestEncoding::xxteaShortKeyIsZeroPadded()
{
    const QByteArray key15 = "Tq3$vN)8mE&xW2j";
    QCOMPARE(key15.size(), 15);
    const QByteArray key16 = key15 + QByteArray(1, '\0');
    const QByteArray data = "a log line that is longer than one block";
    QByteArray a(64, 0);
    QByteArray b(64, 0);
    const int na = xxteaEncryptWithLength(data.constData(), data.size(), key15.constData(), 15, a.data(), 64);
    const int nb = xxteaEncryptWithLength(data.constData(), data.size(), key16.constData(), 16, b.data(), 64);
    QCOMPARE(na, 44);
    QCOMPARE(nb, 44);
    QCOMPARE(a, b);
    QVERIFY(a.left(40) != data);
}

void TestEncoding::encryptStringMatchesRoutine()
{
    const std::string key = "k7@Lw!q2#Zp9&Rt4";
    // Five bytes: 5 + 3 zero bytes + 4-byte length = 12 bytes, 16 Base64 characters.
    const std::string data = "hello";
    const std::string encrypted = encryptString(key, data);
    QCOMPARE(int(encrypted.size()), 12);
    QByteArray expected(12, 0);
    xxteaEncryptWithLength(data.data(), 5, key.data(), 16, expected.data(), 12);
    QCOMPARE(QByteArray::fromStdString(encrypted), expected);
    QCOMPARE(int(base64Encode(encrypted).size()), 16);

    QVERIFY(encryptString(key, std::string()).empty());
    QVERIFY(encryptString(std::string(), data).empty());
    // Bytes after a zero byte are encrypted too.
    QCOMPARE(int(encryptString(key, std::string("a\0b", 3)).size()), 8);
}

void TestEncoding::base64KnownAnswers_data()
{
    QTest::addColumn<QByteArray>("input");
    QTest::addColumn<QByteArray>("encoded");
    // RFC 4648 section 10, and the routine's own examples.
    QTest::newRow("empty") << QByteArray() << QByteArray();
    QTest::newRow("f") << QByteArray("f") << QByteArray("Zg==");
    QTest::newRow("fo") << QByteArray("fo") << QByteArray("Zm8=");
    QTest::newRow("foo") << QByteArray("foo") << QByteArray("Zm9v");
    QTest::newRow("foob") << QByteArray("foob") << QByteArray("Zm9vYg==");
    QTest::newRow("fooba") << QByteArray("fooba") << QByteArray("Zm9vYmE=");
    QTest::newRow("foobar") << QByteArray("foobar") << QByteArray("Zm9vYmFy");
    QTest::newRow("abc") << QByteArray("abc") << QByteArray("YWJj");
    QTest::newRow("ab") << QByteArray("ab") << QByteArray("YWI=");
    QTest::newRow("a") << QByteArray("a") << QByteArray("YQ==");
    QTest::newRow("high bytes") << hex("00fffe") << QByteArray("AP/+");
    QTest::newRow("zero bytes") << QByteArray(4, '\0') << QByteArray("AAAAAA==");
}

void TestEncoding::base64KnownAnswers()
{
    QFETCH(QByteArray, input);
    QFETCH(QByteArray, encoded);
    QCOMPARE(QByteArray::fromStdString(base64Encode(input.toStdString())), encoded);
}

void TestEncoding::base64AgreesWithQt()
{
    QCOMPARE(QByteArray::fromStdString(base64Alphabet),
             QByteArray("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/"));
    std::mt19937 random(42);
    for (int length = 0; length < 100; ++length) {
        QByteArray bytes(length, 0);
        for (char &c : bytes)
            c = static_cast<char>(random() & 0xFF);
        QCOMPARE(QByteArray::fromStdString(base64Encode(bytes.toStdString())), bytes.toBase64());
    }
}

void TestEncoding::fileMd5KnownAnswers_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QString>("digest");
    // RFC 1321 appendix A.5.
    QTest::newRow("empty") << QByteArray() << "D41D8CD98F00B204E9800998ECF8427E";
    QTest::newRow("a") << QByteArray("a") << "0CC175B9C0F1B6A831C399E269772661";
    QTest::newRow("abc") << QByteArray("abc") << "900150983CD24FB0D6963F7D28E17F72";
    QTest::newRow("message digest") << QByteArray("message digest") << "F96B697D7CB7938D525A2F31AAF161D0";
    QTest::newRow("alphabet") << QByteArray("abcdefghijklmnopqrstuvwxyz")
                              << "C3FCD3D76192E4007DFB496CCA67E13B";
}

void TestEncoding::fileMd5KnownAnswers()
{
    QFETCH(QByteArray, content);
    QFETCH(QString, digest);
    QTemporaryDir dir;
    QFile file(dir.filePath("package.apk"));
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(content);
    file.close();
    QCOMPARE(fileMd5(file.fileName()), digest);
}

void TestEncoding::fileMd5CoversTheWholeFile()
{
    QTemporaryDir dir;
    QByteArray head(4096, 0);
    for (int i = 0; i < head.size(); ++i)
        head[i] = static_cast<char>(i * 7);
    const auto write = [&](const QString &name, const QByteArray &bytes) {
        QFile file(dir.filePath(name));
        file.open(QIODevice::WriteOnly);
        file.write(bytes);
        return file.fileName();
    };
    const auto md5 = [](const QByteArray &bytes) {
        return QString::fromLatin1(
            QCryptographicHash::hash(bytes, QCryptographicHash::Md5).toHex().toUpper());
    };
    // Two packages of the same size that share their first 4 KiB (and more) are told apart.
    const QByteArray tailA = QByteArray(100000, 'a');
    const QByteArray tailB = QByteArray(99999, 'a') + "b";
    const QString a = write("a.apk", head + tailA);
    const QString b = write("b.apk", head + tailB);
    const QString c = write("c.apk", head.left(4095) + "X" + QByteArray(5, 'b'));
    QCOMPARE(fileMd5(a), md5(head + tailA));
    QCOMPARE(fileMd5(b), md5(head + tailB));
    QVERIFY(fileMd5(a) != fileMd5(b));
    QCOMPARE(fileMd5(c), md5(head.left(4095) + "X" + QByteArray(5, 'b')));
}

void TestEncoding::fileMd5OfMissingFileIsEmpty()
{
    QTemporaryDir dir;
    QTest::ignoreMessage(QtDebugMsg, "file open error.");
    QCOMPARE(fileMd5(dir.filePath("missing.apk")), QString());
}

void TestEncoding::pointBytes_data()
{
    QTest::addColumn<QPoint>("position");
    QTest::addColumn<QByteArray>("bytes");
    QTest::newRow("example") << QPoint(100, 200) << hex("00000064000000c8");
    QTest::newRow("origin") << QPoint(0, 0) << hex("0000000000000000");
    QTest::newRow("negative") << QPoint(-1, -2) << hex("fffffffffffffffe");
    QTest::newRow("large") << QPoint(0x12345678, -0x7fffffff - 1) << hex("1234567880000000");
}

void TestEncoding::pointBytes()
{
    QFETCH(QPoint, position);
    QFETCH(QByteArray, bytes);
    QCOMPARE(toByteArray(position).toHex(), bytes.toHex());
    QCOMPARE(fromByteArray(bytes), position);
}

void TestEncoding::pointFromShortBytes_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QPoint>("position");
    QTest::newRow("empty") << QByteArray() << QPoint(0, 0);
    QTest::newRow("x only") << hex("00000064") << QPoint(100, 0);
    QTest::newRow("half of y") << hex("000000640000") << QPoint(100, 0);
}

void TestEncoding::pointFromShortBytes()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QPoint, position);
    QCOMPARE(fromByteArray(bytes), position);
}

QTEST_GUILESS_MAIN(TestEncoding)
#include "tst_encoding.moc"
