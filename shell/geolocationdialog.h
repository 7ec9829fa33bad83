#pragma once

#include "funcbasedialog.h"

#include <QObject>
#include <QUrl>
#include <QWebPage>

#include <functional>

class QLabel;
class QPushButton;
class QWebFrame;
class QWebView;

// What the virtual-location page may call: one object whose single call hands over the point the user
// chose. Nothing of QObject (deleteLater, destroyed, objectName) is given to the page, and it has no
// signals the page could emit.
class GeolocationBridge : public QObject
{
    Q_OBJECT

public:
    explicit GeolocationBridge(std::function<void(double, double)> take, QObject *parent = nullptr)
        : QObject(parent), m_take(std::move(take))
    {
    }

    Q_INVOKABLE void SetCurrentPosition(double lng, double lat);

private:
    std::function<void(double, double)> m_take;
};

// The page of the dialog: it stays on the packaged page (no navigation away, no new windows).
class GeolocationPage : public QWebPage
{
    Q_OBJECT

public:
    GeolocationPage(const QUrl &pageUrl, QObject *parent);
    // Alerts of the page, in order (also shown to the user as message boxes unless quiet).
    QStringList alerts() const { return m_alerts; }
    void setQuiet(bool quiet) { m_quiet = quiet; }

protected:
    bool acceptNavigationRequest(QWebFrame *frame, const QNetworkRequest &request,
                                 NavigationType type) override;
    void javaScriptAlert(QWebFrame *frame, const QString &msg) override;
    void javaScriptConsoleMessage(const QString &message, int lineNumber, const QString &sourceID) override;

private:
    QUrl m_pageUrl;
    QStringList m_alerts;
    bool m_quiet = false;
};

// The virtual-location dialog: a map page in which the user picks a point (by a click, a place search or
// typed coordinates), and a set button that sends the point to the guest and stores it in group
// "Geolocation" of the instance settings file. The page talks to the dialog only through its bridge.
class GeolocationDialog : public FuncBaseDialog
{
    Q_OBJECT

public:
    static const char *const kPageUrl;

    explicit GeolocationDialog(QWidget *parent = nullptr);
    ~GeolocationDialog() override;

    // The map script the page loads: the map service's JavaScript API by default; ORV_MAP_SCRIPT_URL
    // (or setMapScriptUrl) names another, e.g. a local script offering the same calls.
    static QUrl mapScriptUrl();
    static void setMapScriptUrl(const QUrl &url);

    // The page has finished loading (well or not).
    bool pageLoaded() const { return m_pageLoaded; }
    double longitude() const { return m_longitude; }
    double latitude() const { return m_latitude; }
    QWebView *webView() const { return m_webView; }
    GeolocationPage *page() const { return m_page; }
    // A message box the dialog runs (the "set location ok" message); tests close it.
    void setMessageRunner(std::function<void(const QString &, QWidget *)> runner)
    {
        m_runMessage = std::move(runner);
    }

signals:
    // The set button: the point to send to the guest (the opener connects the input channel).
    void sendGps(double longitude, double latitude);
    // The page has loaded (ok) and shows the stored point.
    void pageReady(bool ok);

public slots:
    void populateJavaScriptWindowObject();
    void permissionRequested(QWebFrame *frame, QWebPage::Feature feature);
    void setLocation();
    void loadFinishedSlot(bool ok);
    void on_btn_close_clicked();

private:
    void takePosition(double lng, double lat);

    QWidget *widget_bkg = nullptr;
    QPushButton *pushButton_set = nullptr;
    QPushButton *btn_close = nullptr;
    QLabel *label = nullptr;
    QWidget *widget = nullptr;
    QWebView *m_webView = nullptr;
    GeolocationPage *m_page = nullptr;
    GeolocationBridge *m_bridge = nullptr;
    bool m_pageLoaded = false;
    double m_longitude = 0.0;
    double m_latitude = 0.0;
    std::function<void(const QString &, QWidget *)> m_runMessage;
};
