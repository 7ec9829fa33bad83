#include "httprequest.h"

#include <QDateTime>
#include <QDebug>
#include <QFileInfo>
#include <QMetaEnum>
#include <QNetworkAccessManager>
#include <QNetworkRequest>
#include <QRandomGenerator>
#include <QTemporaryFile>

#include <cerrno>
#include <cstring>
#include <unistd.h>

namespace {

constexpr int kTimeoutError = QNetworkReply::TimeoutError; // 4

QString errorName(QNetworkReply::NetworkError code)
{
    const char *name = QMetaEnum::fromType<QNetworkReply::NetworkError>().valueToKey(code);
    return name ? QString::fromLatin1(name) : QString::number(code);
}

} // namespace

HttpWebBlockRequest::HttpWebBlockRequest() : m_manager(new QNetworkAccessManager()) {}

HttpWebBlockRequest::~HttpWebBlockRequest()
{
    if (m_reply) {
        m_reply->disconnect(this);
        m_reply->abort();
        m_reply->deleteLater();
    }
    delete m_manager;
    qDebug() << "GC";
}

void HttpWebBlockRequest::forgetReply()
{
    if (!m_reply)
        return;
    m_reply->disconnect(this);
    m_reply->deleteLater();
    m_reply = nullptr;
}

int HttpWebBlockRequest::get(const QUrl &url, int timeoutMs)
{
    m_error = 0;
    m_replySeen = false;
    m_status = 0;
    m_body.clear();
    forgetReply();
    m_reply = m_manager->get(QNetworkRequest(url));
    return waitForReply(timeoutMs);
}

int HttpWebBlockRequest::post(const QUrl &url, const QByteArray &body, int timeoutMs)
{
    m_error = 0;
    m_replySeen = false;
    m_status = 0;
    m_body.clear();
    forgetReply();
    QNetworkRequest request(url);
    request.setHeader(QNetworkRequest::ContentTypeHeader, QByteArrayLiteral("application/octet-stream"));
    m_reply = m_manager->post(request, body);
    return waitForReply(timeoutMs);
}

int HttpWebBlockRequest::head(const QUrl &url, const QByteArray &header, QString *value, int timeoutMs)
{
    m_error = 0;
    m_replySeen = false;
    m_status = 0;
    m_body.clear();
    forgetReply();
    if (value)
        value->clear();
    m_reply = m_manager->head(QNetworkRequest(url));
    QNetworkReply *reply = m_reply;
    // The headers are read when the reply ends, before waitForReply lets it go.
    connect(reply, &QNetworkReply::finished, this, [reply, header, value] {
        if (value && reply->hasRawHeader(header))
            *value = QString::fromLatin1(reply->rawHeader(header));
    });
    return waitForReply(timeoutMs);
}

int HttpWebBlockRequest::waitForReply(int timeoutMs)
{
    connect(m_reply, &QNetworkReply::errorOccurred, this, &HttpWebBlockRequest::OnNetWorkError);
    // The query ends on the reply's end, not on its first piece: a body in two pieces is read whole.
    connect(m_reply, &QNetworkReply::finished, this, &HttpWebBlockRequest::OnQuit);
    connect(m_reply, &QNetworkReply::readyRead, this, [this] {
        if (m_reply && m_reply->bytesAvailable() + m_body.size() > kMaxQueryBody) {
            qInfo() << "HttpWebBlockRequest the answer is longer than" << kMaxQueryBody << "bytes";
            m_body.clear();
            // Ended here, outside any error signal of the reply.
            m_reply->disconnect(this);
            m_reply->abort();
            if (m_error == 0)
                m_error = QNetworkReply::UnknownContentError;
            quit();
            return;
        }
        if (m_reply)
            m_body += m_reply->readAll();
    });
    QTimer timer;
    timer.setSingleShot(true);
    connect(&timer, &QTimer::timeout, this, &HttpWebBlockRequest::OnTimeOut);
    timer.start(timeoutMs);
    exec();
    forgetReply();
    return m_error;
}

void HttpWebBlockRequest::OnClose()
{
    if (m_error == 0)
        m_error = QNetworkReply::OperationCanceledError;
    if (m_reply) {
        m_reply->disconnect(this);
        m_reply->abort();
    }
    quit();
}

void HttpWebBlockRequest::OnQuit()
{
    if (!m_reply)
        return;
    m_replySeen = true;
    m_status = m_reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    if (m_error == 0)
        m_body += m_reply->readAll();
    quit();
}

void HttpWebBlockRequest::OnTimeOut()
{
    if (!m_replySeen) {
        m_error = kTimeoutError;
        if (m_reply) {
            m_reply->disconnect(this);
            m_reply->abort();
        }
        quit();
    }
    qInfo() << "HttpWebBlockRequest timeout";
}

void HttpWebBlockRequest::OnNetWorkError(QNetworkReply::NetworkError code)
{
    qInfo().noquote() << "HttpWebBlockRequest OnNetWorkError the error is " + errorName(code);
    if (m_error == 0)
        m_error = code;
    // The reply has ended with its error: it is not aborted from inside its own error signal (that
    // would end it a second time); it is only left and deleted later.
    if (m_reply)
        m_reply->disconnect(this);
    quit();
}

HttpDownload::HttpDownload()
{
    m_timer.setSingleShot(false);
    connect(&m_timer, &QTimer::timeout, this, &HttpDownload::OnTimeOut);
    m_overall.setSingleShot(true);
    connect(&m_overall, &QTimer::timeout, this, &HttpDownload::OnOverall);
}

HttpDownload::~HttpDownload()
{
    delete m_file;
}

int HttpDownload::download(const QUrl &url, const QString &filePath, int intervalMs, int overallMs)
{
    m_szRedirecteLocation.clear();
    m_received = 0;
    m_lastSeen = 0;
    m_replySeen = false;
    m_redirect = false;
    m_saved = false;
    m_keptExisting = false;
    m_error = 0;
    m_status = 0;
    forgetReply();

    QUrl address(url.toString(QUrl::FullyEncoded) + QLatin1Char('?') +
                 QString::number(QRandomGenerator::global()->generate() & 0x7fffffff));
    qInfo().noquote() << "now download the file " + address.toString();

    delete m_file;
    m_target = filePath;
    const QFileInfo info(filePath);
    m_file = new QTemporaryFile(info.absolutePath() + QStringLiteral("/.") + info.fileName() +
                                QStringLiteral(".XXXXXX.part"));
    if (!m_file->open()) {
        qInfo().noquote() << "cannot write " + filePath + ": " + m_file->errorString();
        delete m_file;
        m_file = nullptr;
        return QNetworkReply::UnknownContentError;
    }

    QNetworkRequest request(address);
    request.setRawHeader("Cache-Control", "no-cache");
    request.setAttribute(QNetworkRequest::CacheLoadControlAttribute, QNetworkRequest::AlwaysNetwork);
    request.setAttribute(QNetworkRequest::CacheSaveControlAttribute, false);
    request.setAttribute(QNetworkRequest::CookieLoadControlAttribute, QNetworkRequest::Manual);
    request.setAttribute(QNetworkRequest::CookieSaveControlAttribute, QNetworkRequest::Manual);
    request.setAttribute(QNetworkRequest::AuthenticationReuseAttribute, QNetworkRequest::Manual);
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::ManualRedirectPolicy);
    m_reply = m_manager->get(request);
    connect(m_reply, &QNetworkReply::finished, this, &HttpDownload::OnQuit);
    connect(m_reply, &QNetworkReply::readyRead, this, &HttpDownload::OnReadyRead);
    connect(m_reply, &QNetworkReply::errorOccurred, this, &HttpDownload::OnNetWorkError);
    m_timer.start(intervalMs);
    m_overall.start(overallMs);
    exec();
    m_timer.stop();
    m_overall.stop();
    forgetReply();
    // The temporary file goes; a committed one lives on under the target's name.
    delete m_file;
    m_file = nullptr;
    if (!m_saved && m_error == 0 && !m_redirect)
        m_error = QNetworkReply::UnknownContentError;
    return m_error;
}

void HttpDownload::fail(int code)
{
    if (m_error == 0)
        m_error = code;
    if (m_reply) {
        m_reply->disconnect(this);
        m_reply->abort();
    }
    quit();
}

void HttpDownload::OnReadyRead()
{
    if (!m_reply || m_reply->bytesAvailable() <= 0)
        return;
    const QByteArray bytes = m_reply->readAll();
    if (m_received + bytes.size() > kMaxBody) {
        qInfo() << "the file is longer than" << kMaxBody << "bytes, refused";
        fail(QNetworkReply::UnknownContentError);
        return;
    }
    if (!m_file || m_file->write(bytes) != bytes.size()) {
        qInfo() << "the file cannot be written";
        fail(QNetworkReply::UnknownContentError);
        return;
    }
    m_received += bytes.size();
}

void HttpDownload::OnTimeOut()
{
    if (m_received == m_lastSeen) {
        qInfo() << "occur network timeout error";
        HttpWebBlockRequest::OnTimeOut();
        return;
    }
    m_lastSeen = m_received;
}

void HttpDownload::OnOverall()
{
    qInfo() << "the download takes too long";
    fail(kTimeoutError);
}

void HttpDownload::OnQuit()
{
    if (!m_reply)
        return;
    m_replySeen = true;
    m_timer.stop();
    m_overall.stop();
    OnReadyRead();
    m_status = m_reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    qInfo() << "the HttpStatusCode is " << m_status;
    const QUrl target = m_reply->attribute(QNetworkRequest::RedirectionTargetAttribute).toUrl();
    if (m_status == 302 && target.isValid() && !target.isEmpty()) {
        m_szRedirecteLocation = m_reply->url().resolved(target).toString();
        m_redirect = true;
        qInfo().noquote() << "performing URL redirection, the m_szRedirecteLocation is " +
                                 m_szRedirecteLocation;
    } else if (m_error == 0 && m_reply->error() == QNetworkReply::NoError && m_status >= 200 &&
               m_status < 300) {
        // A body shorter than its announced length is a broken transfer, whatever the socket said.
        const QVariant length = m_reply->header(QNetworkRequest::ContentLengthHeader);
        if (length.isValid() && length.toLongLong() != m_received) {
            qInfo() << "the answer ended after" << m_received << "of" << length.toLongLong() << "bytes";
            m_error = QNetworkReply::UnknownContentError;
        } else if (m_file && commit()) {
            m_saved = true;
        } else if (m_error == 0) {
            m_error = QNetworkReply::UnknownContentError;
        }
    } else if (m_error == 0) {
        m_error = m_reply->error() != QNetworkReply::NoError ? m_reply->error()
                                                             : QNetworkReply::UnknownContentError;
    }
    quit();
    forgetReply();
}

bool HttpDownload::commit()
{
    if (!m_file->flush())
        return false;
    if (m_acceptor) {
        QFile written(m_file->fileName());
        if (!written.open(QIODevice::ReadOnly) || !m_acceptor(written.readAll())) {
            qInfo() << "the answer is not a key map, refused";
            return false;
        }
    }
    // Checked at the last moment by the file system itself: a link never replaces an existing name.
    if (::link(QFile::encodeName(m_file->fileName()).constData(), QFile::encodeName(m_target).constData()) ==
        0)
        return true;
    if (errno == EEXIST) {
        qInfo().noquote() << "a key map was written meanwhile, kept: " + m_target;
        m_keptExisting = true;
    } else {
        qInfo().noquote() << "cannot place " + m_target + ": " + QString::fromLocal8Bit(std::strerror(errno));
    }
    return false;
}

void HttpDownload::OnNetWorkError(QNetworkReply::NetworkError code)
{
    if (code == QNetworkReply::NoError)
        return;
    // An HTTP error status still ends in finished; the file is dropped there. Socket errors end here.
    if (m_reply && m_reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).isValid() &&
        code >= QNetworkReply::ContentAccessDenied && code < QNetworkReply::ProtocolUnknownError) {
        qInfo().noquote() << "HttpWebBlockRequest OnNetWorkError the error is " + errorName(code);
        return;
    }
    HttpWebBlockRequest::OnNetWorkError(code);
}
