#pragma once

#include <QByteArray>
#include <QEventLoop>
#include <QNetworkReply>
#include <QString>
#include <QTimer>
#include <QUrl>

class QNetworkAccessManager;
class QSaveFile;

// A blocking HTTP request: runs a local event loop until the reply has ended, an error came or the
// time ran out. The error code is 0 or a QNetworkReply::NetworkError value (4, the time-out, when the
// time ran out).
class HttpWebBlockRequest : public QEventLoop
{
    Q_OBJECT

public:
    // The largest body a request keeps; a longer one ends the request with an error.
    static constexpr qint64 kMaxQueryBody = 64 * 1024;

    HttpWebBlockRequest();
    ~HttpWebBlockRequest() override;

    // GETs url and waits for the whole reply, at most `seconds`.
    virtual int get(const QUrl &url, int timeoutMs);
    QByteArray body() const { return m_body; }
    int httpStatus() const { return m_status; }

public slots:
    virtual void OnTimeOut();
    virtual void OnQuit();
    virtual void OnNetWorkError(QNetworkReply::NetworkError code);

protected:
    void forgetReply();

    int m_error = 0;
    bool m_replySeen = false;
    int m_status = 0;
    QByteArray m_body;
    QNetworkAccessManager *m_manager = nullptr;
    QNetworkReply *m_reply = nullptr;
};

// Streams one GET into a file: the bytes go to a temporary file beside the target, which replaces the
// target only after a complete 2xx answer of at most kMaxBody bytes. A stall of one interval without a
// byte, an error, a longer body or the overall limit end it and leave the target as it was.
class HttpDownload : public HttpWebBlockRequest
{
    Q_OBJECT

public:
    static constexpr qint64 kMaxBody = 4 * 1024 * 1024;

    HttpDownload();
    ~HttpDownload() override;

    // Downloads url + "?" + a random number into filePath; `intervalMs` is the stall limit and
    // `overallMs` the longest the whole transfer may take. 0 when the file is in place.
    int download(const QUrl &url, const QString &filePath, int intervalMs, int overallMs);
    // The absolute address of a 302 answer's target (relative ones resolved against the reply's
    // address); empty unless the last download ended on one.
    QString redirectLocation() const { return m_szRedirecteLocation; }
    bool redirected() const { return m_redirect; }
    bool saved() const { return m_saved; }

public slots:
    void OnTimeOut() override;
    void OnQuit() override;
    void OnNetWorkError(QNetworkReply::NetworkError code) override;
    void OnReadyRead();
    void OnOverall();

private:
    void fail(int code);

    qint64 m_received = 0;
    qint64 m_lastSeen = 0;
    QSaveFile *m_file = nullptr;
    QTimer m_timer;
    QTimer m_overall;
    QString m_szRedirecteLocation;
    bool m_redirect = false;
    bool m_saved = false;
};
