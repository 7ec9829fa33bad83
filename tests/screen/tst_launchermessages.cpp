// The launcher messages and the file rules without a guest: request bytes checked against the
// simulated launcher's own reader, reply files as the reply thread reads them, the names of package
// copies and dropped files, the sorting of a drop, and the picture broadcast's quoting.

#include "androidtouchwidget.h"
#include "guestfiles.h"
#include "launcherwire.h"
#include "pavixconnection.h"

#include <QMimeData>
#include <QTemporaryDir>
#include <QUrl>
#include <QtTest>

class TestLauncherMessages : public QObject
{
    Q_OBJECT

private slots:
    void requestBytes_data();
    void requestBytes();
    void replyFiles_data();
    void replyFiles();
    void packageCopyName_data();
    void packageCopyName();
    void dropSorting();
    void freeTargetNames_data();
    void freeTargetNames();
    void broadcastQuoting_data();
    void broadcastQuoting();
};

void TestLauncherMessages::requestBytes_data()
{
    QTest::addColumn<int>("action");
    QTest::addColumn<QString>("data");
    QTest::addColumn<QByteArray>("bytes");
    QTest::newRow("stop script") << 1 << QString() << QByteArray::fromHex("08010a");
    QTest::newRow("home") << 2 << QString() << QByteArray::fromHex("08020a");
    QTest::newRow("menu") << 3 << QString() << QByteArray::fromHex("08030a");
    QTest::newRow("install") << 5 << QStringLiteral("apk_AB.apk")
                             << QByteArray::fromHex("0805120a61706b5f41422e61706b0a");
    QTest::newRow("download text, untrimmed") << 6 << QStringLiteral(" x\n")
                                              << QByteArray::fromHex("080612032078"
                                                                     "0a"
                                                                     "0a");
    QTest::newRow("launch abc") << 7 << QStringLiteral("abc") << QByteArray::fromHex("080712036162630a");
    QTest::newRow("toast utf-8") << 10 << QStringLiteral("\u00e9") << QByteArray::fromHex("080a1202c3a90a");
    QTest::newRow("window hidden") << 12 << QString() << QByteArray::fromHex("080c0a");
    QTest::newRow("window shown") << 13 << QString() << QByteArray::fromHex("080d0a");
    QTest::newRow("ctrl minus") << 17 << QStringLiteral("0") << QByteArray::fromHex("08111201300a");
    QTest::newRow("258 two bytes") << 258 << QString() << QByteArray::fromHex("0882020a");
    QTest::newRow("260 two bytes") << 260 << QString() << QByteArray::fromHex("0884020a");
    QByteArray long200 = QByteArray::fromHex("080a12c801") + QByteArray(200, 'x') + '\n';
    QTest::newRow("200 bytes of text") << 10 << QString(200, QLatin1Char('x')) << long200;
}

void TestLauncherMessages::requestBytes()
{
    QFETCH(int, action);
    QFETCH(QString, data);
    QFETCH(QByteArray, bytes);
    const QByteArray sent = PavixConnection::requestBytes(action, data);
    QCOMPARE(sent.toHex(), bytes.toHex());
    // The launcher's reader takes it back whole, the final 0A not part of the message.
    const LauncherWire::Message read = LauncherWire::parseRequest(sent);
    QVERIFY2(read.ok, qPrintable(read.error));
    QCOMPARE(read.action, action);
    QCOMPARE(read.hasData, !data.isEmpty());
    QCOMPARE(QString::fromUtf8(read.data), data);
    // Without its final 0A a request is malformed for the launcher.
    QVERIFY(!LauncherWire::parseRequest(sent.left(sent.size() - 1)).ok);
}

void TestLauncherMessages::replyFiles_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<bool>("empty");
    QTest::addColumn<int>("action");
    QTest::addColumn<QString>("data");
    QTest::addColumn<bool>("whole");
    QTest::newRow("package changed") << QByteArray::fromHex("08091208612e622e67616d65") << false << 9
                                     << QStringLiteral("a.b.game") << true;
    QTest::newRow("copied text utf-8")
        << QByteArray::fromHex("08081203e4b8ad") << false << 8 << QStringLiteral("\u4e2d") << true;
    QTest::newRow("script running") << QByteArray::fromHex("088302120131") << false << 259
                                    << QStringLiteral("1") << true;
    QTest::newRow("empty file") << QByteArray() << true << 1 << QString() << false;
    QTest::newRow("lone 0A") << QByteArray("\n") << true << 1 << QString() << false;
    QTest::newRow("two 0A") << QByteArray("\n\n") << false << 1 << QString() << false;
    // A trailing line feed is a field 1 of the wrong type cut short: what came before it counts.
    QTest::newRow("trailing 0A") << QByteArray::fromHex("080912017a0a") << false << 9 << QStringLiteral("z")
                                 << false;
    QTest::newRow("unknown action 300") << QByteArray::fromHex("08ac02") << false << 1 << QString() << false;
    QTest::newRow("action 19") << QByteArray::fromHex("0813") << false << 1 << QString() << false;
    QTest::newRow("action 0") << QByteArray::fromHex("0800") << false << 1 << QString() << false;
    QTest::newRow("extra field 3") << QByteArray::fromHex("08091201781805") << false << 9
                                   << QStringLiteral("x") << true;
    QTest::newRow("later field wins")
        << QByteArray::fromHex("0808120161080912016200") << false << 9 << QStringLiteral("b") << false;
    QTest::newRow("length beyond the end")
        << QByteArray::fromHex("08081209616263") << false << 8 << QString() << false;
    QTest::newRow("key cut short") << QByteArray::fromHex("080912016180") << false << 9 << QStringLiteral("a")
                                   << false;
    QTest::newRow("a group is skipped") << QByteArray::fromHex("0808120161"
                                                               "0b"
                                                               "1801"
                                                               "0c")
                                        << false << 8 << QStringLiteral("a") << true;
    QTest::newRow("a group without its end") << QByteArray::fromHex("0808120161"
                                                                    "0b"
                                                                    "1801")
                                             << false << 8 << QStringLiteral("a") << false;
}

void TestLauncherMessages::replyFiles()
{
    QFETCH(QByteArray, bytes);
    QFETCH(bool, empty);
    QFETCH(int, action);
    QFETCH(QString, data);
    QFETCH(bool, whole);
    const LauncherReply reply = PavixConnection::readReply(bytes);
    QCOMPARE(reply.empty, empty);
    QCOMPARE(reply.action, action);
    QCOMPARE(reply.data, data);
    QCOMPARE(reply.parsedWhole, whole);
    // The launcher's own reader agrees on what a whole message is.
    if (!empty)
        QCOMPARE(LauncherWire::parse(bytes).ok, whole);
}

void TestLauncherMessages::packageCopyName_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("digest");
    QTest::addColumn<QString>("name");
    QTest::newRow("apk") << "/a/game.apk"
                         << "0123ABCD"
                         << "apk_0123ABCD.apk";
    QTest::newRow("upper-case APK") << "/a/GAME.APK"
                                    << "0123ABCD"
                                    << "apk_0123ABCD.apk";
    QTest::newRow("ypk") << "/a/game.ypk"
                         << "FF"
                         << "apk_FF.ypk";
    QTest::newRow("unreadable: empty digest") << "/a/x.apk"
                                              << ""
                                              << "apk_.apk";
    QTest::newRow("no package suffix") << "/a/apk"
                                       << "AA"
                                       << "apk_AA.ypk";
}

void TestLauncherMessages::packageCopyName()
{
    QFETCH(QString, path);
    QFETCH(QString, digest);
    QFETCH(QString, name);
    QCOMPARE(PavixConnection::packageCopyName(path, digest), name);
}

void TestLauncherMessages::dropSorting()
{
    QMimeData data;
    data.setUrls(
        {QUrl::fromLocalFile(QStringLiteral("/d/a.apk")), QUrl::fromLocalFile(QStringLiteral("/d/B.YPK")),
         QUrl::fromLocalFile(QStringLiteral("/d/GAME.APK")),
         QUrl::fromLocalFile(QStringLiteral("/d/photo.PNG")),
         QUrl::fromLocalFile(QStringLiteral("/d/x.jpeg")), QUrl::fromLocalFile(QStringLiteral("/d/y.jpep")),
         QUrl::fromLocalFile(QStringLiteral("/d/z.Bmp")), QUrl::fromLocalFile(QStringLiteral("/d/a,b.png")),
         QUrl::fromLocalFile(QStringLiteral("/d/\u00fcber space.txt")),
         QUrl::fromLocalFile(QStringLiteral("/d/$(touch x)`id`\".txt")),
         QUrl::fromLocalFile(QStringLiteral("/d/noext")), QUrl(QStringLiteral("https://example.org/a.apk"))});
    const AndroidTouchWidget::DroppedFiles files = AndroidTouchWidget::classifyDrop(&data);
    QCOMPARE(files.packages, (QStringList{"/d/a.apk", "/d/B.YPK", "/d/GAME.APK"}));
    QCOMPARE(files.images, (QStringList{"/d/photo.PNG", "/d/x.jpeg", "/d/y.jpep", "/d/z.Bmp", "/d/a,b.png"}));
    QCOMPARE(files.others,
             (QStringList{QStringLiteral("/d/\u00fcber space.txt"), "/d/$(touch x)`id`\".txt", "/d/noext"}));

    // The raw list as a file manager gives it: percent-encoded, CR LF separated.
    QMimeData raw;
    raw.setData(QStringLiteral("text/uri-list"), "file:///d/%C3%BCber%20space.png\r\nfile:///d/two.apk\r\n");
    const AndroidTouchWidget::DroppedFiles decoded = AndroidTouchWidget::classifyDrop(&raw);
    QCOMPARE(decoded.images, QStringList{QStringLiteral("/d/\u00fcber space.png")});
    QCOMPARE(decoded.packages, QStringList{"/d/two.apk"});

    QMimeData text;
    text.setText(QStringLiteral("/d/a.apk"));
    const AndroidTouchWidget::DroppedFiles none = AndroidTouchWidget::classifyDrop(&text);
    QVERIFY(none.packages.isEmpty() && none.images.isEmpty() && none.others.isEmpty());
}

void TestLauncherMessages::freeTargetNames_data()
{
    QTest::addColumn<QStringList>("existing");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("target");
    QTest::newRow("free") << QStringList() << "shot.png"
                          << "shot.png";
    QTest::newRow("taken once") << QStringList{"shot.png"} << "shot.png"
                                << "shot_1.png";
    QTest::newRow("taken twice") << QStringList{"shot.png", "shot_1.png"} << "shot.png"
                                 << "shot_2.png";
    QTest::newRow("no dot") << QStringList{"name"} << "name"
                            << "name_1";
    QTest::newRow("two dots") << QStringList{"a.tar.gz"} << "a.tar.gz"
                              << "a.tar_1.gz";
}

void TestLauncherMessages::freeTargetNames()
{
    QFETCH(QStringList, existing);
    QFETCH(QString, name);
    QFETCH(QString, target);
    QTemporaryDir dir;
    for (const QString &file : existing) {
        QFile f(dir.path() + QLatin1Char('/') + file);
        QVERIFY(f.open(QIODevice::WriteOnly));
    }
    QCOMPARE(GuestFiles::freeTargetName(dir.path(), name), target);
}

void TestLauncherMessages::broadcastQuoting_data()
{
    const QString prefix = QStringLiteral("am broadcast -a com.corvel.ShareFileChangeBroadCastReceiver  --ei "
                                          "SET_ALL_FILE_KEY 1 --es ALL_FILE_PATH_KEY ");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("command");
    QTest::newRow("plain") << "shot_1.png" << prefix + "\"shot_1.png\"";
    QTest::newRow("blank and quote") << "a \"b\".png" << prefix + "\"a \\\"b\\\".png\"";
    QTest::newRow("command substitution") << "$(reboot).png" << prefix + "\"\\$(reboot).png\"";
    QTest::newRow("backquotes") << "`id`.png" << prefix + "\"\\`id\\`.png\"";
    QTest::newRow("backslash") << "a\\\".png" << prefix + "\"a\\\\\\\".png\"";
    QTest::newRow("single quote stays") << "it's.png" << prefix + "\"it's.png\"";
    QTest::newRow("line feed: not sent") << "a\nreboot.png" << QString();
    QTest::newRow("carriage return: not sent") << "a\rb.png" << QString();
    QTest::newRow("empty: not sent") << "" << QString();
}

void TestLauncherMessages::broadcastQuoting()
{
    QFETCH(QString, name);
    QFETCH(QString, command);
    QCOMPARE(GuestFiles::broadcastCommand(name), command);
}

QTEST_MAIN(TestLauncherMessages)
#include "tst_launchermessages.moc"
