#pragma once

#include <QByteArray>
#include <QPointer>
#include <QString>
#include <QUrl>

class QNetworkAccessManager;
class QNetworkReply;

// What came back for one posted upload body.
struct UploadReply
{
    bool transferOk = false; // finished in time, without a network or HTTP error
    bool timedOut = false;
    int httpStatus = 0; // 0 when no HTTP answer arrived
    QString error;      // the network layer's text when the transfer failed
    QByteArray body;    // the answer, empty after a failure
    bool accepted = false;
};

// Posts one upload body and waits, in a local event loop, for the answer to this very request, at
// most `timeoutMs`; a request without an answer by then is aborted. The headers are Content-Type
// "application/x-www-form-urlencoded" and Content-Length.
class UploadRequest
{
public:
    static UploadReply post(QNetworkAccessManager *manager, const QUrl &url, const QByteArray &body,
                            int timeoutMs, QPointer<QNetworkReply> *currentReply = nullptr);
};
