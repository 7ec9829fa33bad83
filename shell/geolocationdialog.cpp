#include "geolocationdialog.h"

#include "commondialog.h"
#include "dialogtype.h"
#include "settingmodel.h"

#include <QDebug>
#include <QFile>
#include <QLabel>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QPushButton>
#include <QWebFrame>
#include <QWebSettings>
#include <QWebView>
#include <QtNumeric>

const char *const GeolocationDialog::kPageUrl = "qrc:/html/resources/fusedLocation.html";

namespace {

// The map service's JavaScript API, version 2.0. The access key is the installation's own credential
// for that service; a build for distribution puts its key here.
const char *const kDefaultMapScript =
    "https://api.map.baidu.com/api?v=2.0&ak=0000000000000000000000000000000A";
// The window property under which the bridge passes into the page's closure.
const char *const kBridgeHandoverName = "__orvantaBridgeHandover";
// Where the page names its map script.
const char *const kMapScriptMarker = "@MAP_SCRIPT_URL@";

QUrl &mapScriptOverride()
{
    static QUrl url;
    return url;
}

QString sixDigits(double value)
{
    return QString::number(value, 'g', 6);
}

const char *const kSetButtonStyle =
    "QPushButton{background-color:#0190ff;border-radius:22px;color:white;font:18px \"黑体\";}"
    "QPushButton:hover{background-color:#44aeff;}QPushButton:pressed{background-color:#007ae7;}";
const char *const kReturnButtonStyle =
    "QPushButton{background:transparent;border:none;image:url(:/images/fun_dialog_return.png);}"
    "QPushButton:hover,QPushButton:pressed{image:url(:/images/fun_dialog_return_hover.png);}";

// The page's network: every address of this machine's own kinds (files, the program's resources, any
// scheme but the web's) is refused, except the one map script the page names, which may be a local
// file in a test installation. What the web page may reach stays as it is.
class RemoteOnlyNetwork : public QNetworkAccessManager
{
public:
    RemoteOnlyNetwork(const QUrl &mapScript, QObject *parent)
        : QNetworkAccessManager(parent), m_mapScript(mapScript)
    {
    }

protected:
    QNetworkReply *createRequest(Operation op, const QNetworkRequest &request,
                                 QIODevice *outgoingData) override
    {
        const QString scheme = request.url().scheme().toLower();
        const bool web = scheme == QLatin1String("http") || scheme == QLatin1String("https") ||
                         scheme == QLatin1String("data");
        if (web || (op == GetOperation && request.url() == m_mapScript))
            return QNetworkAccessManager::createRequest(op, request, outgoingData);
        qWarning().noquote() << "GeolocationDialog : local address refused" << request.url().toString();
        // An address no handler takes: the load fails at once.
        QNetworkRequest refused(request);
        refused.setUrl(QUrl(QStringLiteral("refused:")));
        return QNetworkAccessManager::createRequest(op, refused, outgoingData);
    }

private:
    QUrl m_mapScript;
};

} // namespace

void GeolocationBridge::SetCurrentPosition(double lng, double lat)
{
    // The page cleans what the user types, but a lone "-" or a script's own call can still bring a
    // value that is no place; it never becomes the point sent to the guest.
    if (!qIsFinite(lng) || !qIsFinite(lat) || qAbs(lng) > 180.0 || qAbs(lat) > 90.0) {
        qWarning() << "GeolocationDialog : position refused" << lng << lat;
        return;
    }
    if (m_take)
        m_take(lng, lat);
}

GeolocationPage::GeolocationPage(const QUrl &pageUrl, QObject *parent) : QWebPage(parent), m_pageUrl(pageUrl)
{
}

bool GeolocationPage::acceptNavigationRequest(QWebFrame *frame, const QNetworkRequest &request,
                                              NavigationType type)
{
    // Only the packaged page itself is shown; a link, a form or a script cannot take the dialog (and the
    // bridge that comes with it) to another page. Frames inside the page (the map's own) may load.
    if (frame && frame != mainFrame() && request.url().scheme() != QLatin1String("file"))
        return true;
    if (frame == mainFrame() && request.url().adjusted(QUrl::RemoveFragment) == m_pageUrl)
        return QWebPage::acceptNavigationRequest(frame, request, type);
    qWarning().noquote() << "GeolocationDialog : navigation refused" << request.url().toString();
    return false;
}

void GeolocationPage::javaScriptAlert(QWebFrame *frame, const QString &msg)
{
    m_alerts.append(msg);
    if (!m_quiet)
        QWebPage::javaScriptAlert(frame, msg);
}

void GeolocationPage::javaScriptConsoleMessage(const QString &message, int lineNumber,
                                               const QString &sourceID)
{
    qDebug().noquote() << "GeolocationDialog : page" << sourceID << lineNumber << message;
}

GeolocationDialog::GeolocationDialog(QWidget *parent) : FuncBaseDialog(parent, 30, 43, 20, 44)
{
    setObjectName(QStringLiteral("GeolocationDialog"));
    setWindowTitle(tr("Dialog"));
    resize(944, 625);
    setAttribute(Qt::WA_TranslucentBackground);

    widget_bkg = new QWidget(this);
    widget_bkg->setObjectName(QStringLiteral("widget_bkg"));
    widget_bkg->setGeometry(0, 0, 944, 625);
    widget_bkg->setStyleSheet(
        QStringLiteral("#widget_bkg{background-color:#343841;border:1px solid #111518;}"));

    pushButton_set = new QPushButton(tr("geo_set"), widget_bkg);
    pushButton_set->setObjectName(QStringLiteral("pushButton_set"));
    pushButton_set->setGeometry(804, 563, 120, 44);
    pushButton_set->setStyleSheet(QString::fromUtf8(kSetButtonStyle));

    btn_close = new QPushButton(widget_bkg);
    btn_close->setObjectName(QStringLiteral("btn_close"));
    btn_close->setGeometry(30, 20, 13, 22);
    btn_close->setStyleSheet(QString::fromLatin1(kReturnButtonStyle));

    label = new QLabel(tr("geolocation"), widget_bkg);
    label->setObjectName(QStringLiteral("label"));
    label->setGeometry(60, 20, 824, 20);
    label->setAlignment(Qt::AlignCenter);
    label->setStyleSheet(QString::fromUtf8("color:white;font:20px \"黑体\";border:none;"));

    widget = new QWidget(widget_bkg);
    widget->setObjectName(QStringLiteral("widget"));
    widget->setGeometry(1, 60, 942, 1);
    widget->setStyleSheet(QStringLiteral("background-color:#3d4248;"));

    // The stored point until the page hands over another, so "set" without a click on the map resends it.
    SettingModel::readLocation(&m_longitude, &m_latitude);

    m_bridge = new GeolocationBridge([this](double lng, double lat) { takePosition(lng, lat); }, this);
    m_page = new GeolocationPage(QUrl(QString::fromLatin1(kPageUrl)), this);
    m_page->settings()->setAttribute(QWebSettings::JavascriptCanOpenWindows, false);
    m_page->settings()->setAttribute(QWebSettings::JavascriptCanAccessClipboard, false);
    m_page->settings()->setAttribute(QWebSettings::PluginsEnabled, false);
    // The map script is remote content running in the packaged (local) page: it may load what a web
    // page may, but it reads no file of this machine and no other origin's data (no universal access).
    m_page->settings()->setAttribute(QWebSettings::LocalContentCanAccessFileUrls, false);
    m_page->settings()->setAttribute(QWebSettings::LocalContentCanAccessRemoteUrls, false);
    m_page->setNetworkAccessManager(new RemoteOnlyNetwork(mapScriptUrl(), m_page));

    m_webView = new QWebView(widget_bkg);
    m_webView->setObjectName(QStringLiteral("webView"));
    m_webView->setPage(m_page);
    m_webView->setGeometry(20, 80, widget_bkg->width() - 40, widget_bkg->height() - 160);
    m_webView->setStyleSheet(QStringLiteral("background-color:white;"));

    connect(m_page->mainFrame(), &QWebFrame::javaScriptWindowObjectCleared, this,
            &GeolocationDialog::populateJavaScriptWindowObject);
    connect(m_page, &QWebPage::featurePermissionRequested, this, &GeolocationDialog::permissionRequested);
    connect(m_webView, &QWebView::loadFinished, this, &GeolocationDialog::loadFinishedSlot);
    connect(pushButton_set, &QPushButton::clicked, this, &GeolocationDialog::setLocation);
    connect(btn_close, &QPushButton::clicked, this, &GeolocationDialog::on_btn_close_clicked);

    // The page is packaged; only its map script's address is filled in here.
    QFile page(QStringLiteral(":/html/resources/fusedLocation.html"));
    QString html;
    if (page.open(QIODevice::ReadOnly))
        html = QString::fromUtf8(page.readAll());
    else
        qWarning() << "GeolocationDialog : the page is missing from the resources";
    html.replace(QLatin1String(kMapScriptMarker),
                 mapScriptUrl().toString(QUrl::FullyEncoded).toHtmlEscaped());
    m_page->mainFrame()->setHtml(html, QUrl(QString::fromLatin1(kPageUrl)));
}

GeolocationDialog::~GeolocationDialog()
{
    // The page's scripts may still call while the view goes; they find no receiver then.
    disconnect(m_page, nullptr, this, nullptr);
    disconnect(m_page->mainFrame(), nullptr, this, nullptr);
}

QUrl GeolocationDialog::mapScriptUrl()
{
    if (mapScriptOverride().isValid())
        return mapScriptOverride();
    const QString fromEnvironment = qEnvironmentVariable("ORV_MAP_SCRIPT_URL");
    if (!fromEnvironment.isEmpty())
        return QUrl(fromEnvironment);
    return QUrl(QString::fromLatin1(kDefaultMapScript));
}

void GeolocationDialog::setMapScriptUrl(const QUrl &url)
{
    mapScriptOverride() = url;
}

void GeolocationDialog::populateJavaScriptWindowObject()
{
    // The page gets the object "Orvanta" with the one position call. The Qt object behind it would also
    // offer QObject's own slots, signals and properties (deleteLater, destroyed, objectName), so it is
    // handed over under a passing name and kept only inside the call's closure; the name is gone before
    // any script of the page runs.
    QWebFrame *frame = m_page->mainFrame();
    frame->addToJavaScriptWindowObject(QLatin1String(kBridgeHandoverName), m_bridge, QWebFrame::QtOwnership);
    frame->evaluateJavaScript(
        QStringLiteral(
            "(function () {"
            "  var bridge = window.%1;"
            "  delete window.%1;"
            "  if (window.%1 !== undefined) window.%1 = undefined;"
            "  var position = function (lng, lat) { bridge.SetCurrentPosition(Number(lng), Number(lat)); };"
            "  Object.defineProperty(window, 'Orvanta', {"
            "    value: Object.freeze({ SetCurrentPosition: position }), writable: false, configurable: "
            "false });"
            "})();")
            .arg(QLatin1String(kBridgeHandoverName)));
}

void GeolocationDialog::permissionRequested(QWebFrame *frame, QWebPage::Feature feature)
{
    if (feature == QWebPage::Geolocation) {
        qDebug() << "GEO-Location: PermissionGrantedByUser";
        m_page->setFeaturePermission(frame, feature, QWebPage::PermissionGrantedByUser);
        return;
    }
    qDebug() << "";
}

void GeolocationDialog::takePosition(double lng, double lat)
{
    m_longitude = lng;
    m_latitude = lat;
}

void GeolocationDialog::loadFinishedSlot(bool ok)
{
    if (ok) {
        double lng = 0;
        double lat = 0;
        SettingModel::readLocation(&lng, &lat);
        m_page->mainFrame()->evaluateJavaScript(
            QStringLiteral("savePoint(%1,%2)").arg(sixDigits(lng), sixDigits(lat)));
    } else {
        qWarning() << "GeolocationDialog : the page did not load";
    }
    qInfo() << "GeolocationDialog : page loaded" << ok;
    m_pageLoaded = true;
    emit pageReady(ok);
}

void GeolocationDialog::setLocation()
{
    emit sendGps(m_longitude, m_latitude);
    // The guest has the point either way; a point not stored would not be sent again at the next start,
    // and the user is told so instead of the success message.
    const bool stored = SettingModel::writeValues({{QLatin1String(SettingKeys::kLongitude), m_longitude},
                                                   {QLatin1String(SettingKeys::kLatitude), m_latitude}});
    if (!stored)
        qWarning() << "GeolocationDialog : the location could not be stored";
    const QString text = stored ? tr("set location ok") : tr("set location not stored");
    if (m_runMessage) {
        m_runMessage(text, this);
        return;
    }
    CommonDialog message(text, static_cast<int>(DialogType::Message), this);
    message.exec();
}

void GeolocationDialog::on_btn_close_clicked()
{
    close();
}
