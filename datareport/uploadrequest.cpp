#include "uploadrequest.h"

#include "uploadbody.h"

#include <QEventLoop>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QTimer>

UploadReply UploadRequest::post(QNetworkAccessManager *manager, const QUrl &url, const QByteArray &body,
                                int timeoutMs, QPointer<QNetworkReply> *currentReply)
{
    UploadReply result;
    if (!manager) {
        result.error = QStringLiteral("no network access manager");
        return result;
    }
    QNetworkRequest request(url);
    request.setHeader(QNetworkRequest::ContentTypeHeader,
                      QByteArrayLiteral("application/x-www-form-urlencoded"));
    request.setHeader(QNetworkRequest::ContentLengthHeader, body.size());
    QNetworkReply *reply = manager->post(request, body);
    if (currentReply)
        *currentReply = reply;

    // Only this request's own end (or the time limit) ends the wait; answers to other uploads that
    // finish meanwhile do not.
    if (!reply->isFinished()) {
        QEventLoop loop;
        QTimer timer;
        timer.setSingleShot(true);
        QObject::connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
        QObject::connect(&timer, &QTimer::timeout, &loop, &QEventLoop::quit);
        timer.start(timeoutMs);
        loop.exec();
        if (!reply->isFinished()) {
            result.timedOut = true;
            reply->abort();
        }
    }

    result.httpStatus = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    if (result.timedOut) {
        result.error = QStringLiteral("no answer within %1 ms").arg(timeoutMs);
    } else if (reply->error() != QNetworkReply::NoError) {
        result.error = reply->errorString();
    } else {
        result.transferOk = true;
        result.body = reply->readAll();
    }
    result.accepted = UploadBody::isAccepted(result.transferOk, result.body);
    reply->deleteLater();
    return result;
}
