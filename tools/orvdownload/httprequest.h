#pragma once

#include <QByteArray>
#include <QEventLoop>
#include <QNetworkReply>
#include <QString>
#include <QTimer>
#include <QUrl>

#include <functional>

class QNetworkAccessManager;
class QTemporaryFile;

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

    // GETs url and waits for the whole reply, at most `timeoutMs`.
    virtual int get(const QUrl &url, int timeoutMs);
    // POSTs `body` (as application/octet-stream) to url and waits for the whole reply, at most
    // `timeoutMs`; the reply's body is kept as for get.
    virtual int post(const QUrl &url, const QByteArray &body, int timeoutMs);
    // Asks url with HEAD and puts the value of the reply's header `header` into `value` (empty when
    // the reply has none), waiting at most `timeoutMs`.
    virtual int head(const QUrl &url, const QByteArray &header, QString *value, int timeoutMs);
    QByteArray body() const { return m_body; }
    int httpStatus() const { return m_status; }

public slots:
    virtual void OnTimeOut();
    virtual void OnQuit();
    // Ends the request under way at once: the reply is aborted and the call returns with
    // QNetworkReply::OperationCanceledError (5).
    virtual void OnClose();
    virtual void OnNetWorkError(QNetworkReply::NetworkError code);

protected:
    void forgetReply();
    // Waits for m_reply as get does: its whole body (up to kMaxQueryBody), an error or the time-out.
    int waitForReply(int timeoutMs);

    int m_error = 0;
    bool m_replySeen = false;
    int m_status = 0;
    QByteArray m_body;
    QNetworkAccessManager *m_manager = nullptr;
    QNetworkReply *m_reply = nullptr;
};

// Streams one GET into a file: the bytes go to a temporary file beside the target, which becomes the
// target only after a complete 2xx answer of at most kMaxBody bytes that the acceptor takes, and only
// when no file of that name exists at that moment (a hard link, which never replaces: a file written
// meanwhile by someone else is kept). A stall of one interval without a byte, an error, a longer body
// or the overall limit end it and leave the target as it was.
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
    // The file was complete but a file of the target's name appeared meanwhile and was kept.
    bool keptExisting() const { return m_keptExisting; }
    // Decides whether a complete body is worth keeping (by default every body is).
    void setAcceptor(std::function<bool(const QByteArray &)> acceptor) { m_acceptor = std::move(acceptor); }

public slots:
    void OnTimeOut() override;
    void OnQuit() override;
    void OnNetWorkError(QNetworkReply::NetworkError code) override;
    void OnReadyRead();
    void OnOverall();

private:
    void fail(int code);
    bool commit();

    qint64 m_received = 0;
    qint64 m_lastSeen = 0;
    QTemporaryFile *m_file = nullptr;
    QString m_target;
    std::function<bool(const QByteArray &)> m_acceptor;
    bool m_keptExisting = false;
    QTimer m_timer;
    QTimer m_overall;
    QString m_szRedirecteLocation;
    bool m_redirect = false;
    bool m_saved = false;
};
