#include "webservice.h"

#include "peerjournal.h"

#include "bodycodec.h"
#include "protowire.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QPointer>
#include <QSaveFile>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTextStream>
#include <QTimer>
#include <QUrl>
#include <QUrlQuery>

namespace {

// The server's keys: the usage report and the base API use the report key, the logs the log key.
const QByteArray kReportKey = QByteArrayLiteral("k7@Lw!q2#Zp9&Rt4");
const QByteArray kLogKey = QByteArrayLiteral("Tq3$vN)8mE&xW2j");

const int kMaxHeaderBytes = 64 * 1024;
const qint64 kMaxBodyBytes = 64 * 1024 * 1024;

const char *reasonPhrase(int status)
{
    switch (status) {
    case 200:
        return "OK";
    case 400:
        return "Bad Request";
    case 404:
        return "Not Found";
    case 405:
        return "Method Not Allowed";
    case 413:
        return "Payload Too Large";
    case 500:
        return "Internal Server Error";
    case 503:
        return "Service Unavailable";
    default:
        return "Status";
    }
}

QString printable(const QByteArray &bytes)
{
    QString text = QString::fromUtf8(bytes.left(80));
    text.replace(QLatin1Char('\n'), QStringLiteral("\\n")).replace(QLatin1Char('\r'), QStringLiteral("\\r"));
    return bytes.size() > 80 ? text + QStringLiteral("...") : text;
}

bool writeFile(const QString &path, const QByteArray &bytes)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    file.write(bytes);
    return file.commit();
}

} // namespace

WebService::WebService(const QString &stateDir, QObject *parent)
    : QObject(parent), m_stateDir(stateDir), m_server(new QTcpServer(this))
{
    QDir().mkpath(path(QStringLiteral("requests")));
    // Numbering goes on after requests of an earlier run in the same folder.
    const QStringList stored = QDir(path(QStringLiteral("requests"))).entryList({QStringLiteral("*.json")});
    for (const QString &name : stored)
        m_seq = qMax(m_seq, name.section(QLatin1Char('-'), 0, 0).toInt());
    connect(m_server, &QTcpServer::newConnection, this, &WebService::onNewConnection);
}

bool WebService::listen(quint16 port)
{
    if (!m_server->listen(QHostAddress::LocalHost, port))
        return false;
    log(QStringLiteral("listening on 127.0.0.1:%1").arg(m_server->serverPort()));
    return true;
}

quint16 WebService::port() const
{
    return m_server->serverPort();
}

QString WebService::errorString() const
{
    return m_server->errorString();
}

QString WebService::endpointFor(const QString &path)
{
    if (path == QLatin1String("/pavixtopdatareport.php"))
        return QStringLiteral("report");
    if (path == QLatin1String("/logup.php"))
        return QStringLiteral("crashlog");
    if (path == QLatin1String("/runlogUp.php"))
        return QStringLiteral("runlog");
    if (path == QLatin1String("/YeltBaseAPI.php"))
        return QStringLiteral("baseapi");
    if (path == QLatin1String("/api_service/api/get_keyboard_json.php"))
        return QStringLiteral("keymap");
    if (path.startsWith(QLatin1String("/keymaps/")))
        return QStringLiteral("keymapfile");
    return QStringLiteral("unknown");
}

QString WebService::path(const QString &name) const
{
    return m_stateDir + QLatin1Char('/') + name;
}

void WebService::log(const QString &line)
{
    const QString stamped =
        QDateTime::currentDateTime().toString(QStringLiteral("HH:mm:ss.zzz")) + QLatin1Char(' ') + line;
    QFile file(path(QStringLiteral("webservice.log")));
    if (file.open(QIODevice::WriteOnly | QIODevice::Append))
        file.write(stamped.toUtf8() + '\n');
    QTextStream(stderr) << "webservice: " << stamped << '\n';
}

void WebService::onNewConnection()
{
    while (QTcpSocket *socket = m_server->nextPendingConnection()) {
        m_connections.insert(socket, Connection());
        connect(socket, &QTcpSocket::readyRead, this, [this, socket] { onReadyRead(socket); });
        connect(socket, &QTcpSocket::disconnected, this, [this, socket] {
            m_connections.remove(socket);
            socket->deleteLater();
        });
    }
}

bool WebService::parseHeader(Connection &connection, QString *error)
{
    const int end = connection.buffer.indexOf("\r\n\r\n");
    const QList<QByteArray> lines = connection.buffer.left(end).split('\n');
    connection.buffer.remove(0, end + 4);
    const QList<QByteArray> requestLine = lines.value(0).trimmed().split(' ');
    if (requestLine.size() != 3 || !requestLine.at(2).startsWith("HTTP/1.")) {
        *error = QStringLiteral("bad request line \"%1\"").arg(printable(lines.value(0)));
        return false;
    }
    connection.method = requestLine.at(0);
    connection.target = requestLine.at(1);
    for (int i = 1; i < lines.size(); ++i) {
        const QByteArray line = lines.at(i).trimmed();
        const int colon = line.indexOf(':');
        if (colon <= 0) {
            *error = QStringLiteral("bad header line \"%1\"").arg(printable(line));
            return false;
        }
        connection.headers.insert(line.left(colon).trimmed().toLower(), line.mid(colon + 1).trimmed());
    }
    if (connection.headers.contains("transfer-encoding")) {
        *error = QStringLiteral("chunked bodies are not accepted");
        return false;
    }
    bool ok = true;
    connection.contentLength = connection.headers.contains("content-length")
                                   ? connection.headers.value("content-length").toLongLong(&ok)
                                   : 0;
    if (!ok || connection.contentLength < 0 || connection.contentLength > kMaxBodyBytes) {
        *error = QStringLiteral("bad Content-Length \"%1\"")
                     .arg(QString::fromLatin1(connection.headers.value("content-length")));
        return false;
    }
    connection.headerDone = true;
    return true;
}

void WebService::onReadyRead(QTcpSocket *socket)
{
    auto it = m_connections.find(socket);
    if (it == m_connections.end())
        return;
    Connection &connection = it.value();
    connection.buffer += socket->readAll();
    if (connection.answered)
        return; // one request per connection; anything after it is ignored
    if (!connection.headerDone) {
        if (!connection.buffer.contains("\r\n\r\n")) {
            if (connection.buffer.size() > kMaxHeaderBytes) {
                log(QStringLiteral("header larger than %1 bytes, refused").arg(kMaxHeaderBytes));
                connection.answered = true;
                sendReply(socket, 0, 413, "header too large");
            }
            return;
        }
        QString error;
        if (!parseHeader(connection, &error)) {
            log(QStringLiteral("unreadable request: %1").arg(error));
            connection.answered = true;
            sendReply(socket, 0, 400, error.toUtf8());
            return;
        }
    }
    if (connection.buffer.size() < connection.contentLength)
        return;
    connection.answered = true;
    const QByteArray body = connection.buffer.left(int(connection.contentLength));
    handleRequest(socket, connection, body);
}

void WebService::handleRequest(QTcpSocket *socket, Connection &connection, const QByteArray &body)
{
    const int seq = ++m_seq;
    const QUrl url(QStringLiteral("http://127.0.0.1") + QString::fromUtf8(connection.target));
    const QString endpoint = endpointFor(url.path());
    const bool isPost = connection.method == "POST";

    PeerJournal::append("web",
                        (endpoint + QLatin1Char(' ') + QString::fromLatin1(connection.method)).toStdString());
    QJsonObject record;
    record.insert(QStringLiteral("seq"), seq);
    record.insert(QStringLiteral("time"), QDateTime::currentDateTime().toString(Qt::ISODateWithMs));
    record.insert(QStringLiteral("method"), QString::fromLatin1(connection.method));
    record.insert(QStringLiteral("target"), QString::fromUtf8(connection.target));
    record.insert(QStringLiteral("path"), url.path());
    record.insert(QStringLiteral("query"), url.query(QUrl::FullyEncoded));
    record.insert(QStringLiteral("endpoint"), endpoint);
    QJsonObject headers;
    for (auto h = connection.headers.cbegin(); h != connection.headers.cend(); ++h)
        headers.insert(QString::fromLatin1(h.key()), QString::fromUtf8(h.value()));
    record.insert(QStringLiteral("headers"), headers);
    record.insert(QStringLiteral("bodyLength"), body.size());
    record.insert(QStringLiteral("body"), QString::fromLatin1(body));

    QStringList problems;
    int status = 200;
    QByteArray reply;
    QString summary;

    if (endpoint == QLatin1String("report") || endpoint == QLatin1String("baseapi") ||
        endpoint == QLatin1String("runlog") || endpoint == QLatin1String("crashlog")) {
        if (!isPost)
            problems
                << QStringLiteral("method %1 where POST belongs").arg(QString::fromLatin1(connection.method));
        if (connection.headers.value("content-type") != "application/x-www-form-urlencoded")
            problems << QStringLiteral("Content-Type \"%1\"")
                            .arg(QString::fromUtf8(connection.headers.value("content-type")));
        if (!connection.headers.contains("content-length"))
            problems << QStringLiteral("no Content-Length");
        const bool isLog = endpoint.endsWith(QLatin1String("log"));
        if (isLog && url.query() != QLatin1String("platform=windows"))
            problems << QStringLiteral("query \"%1\" where platform=windows belongs").arg(url.query());
        if (!isLog && url.hasQuery())
            problems << QStringLiteral("unexpected query \"%1\"").arg(url.query());

        const BodyCodec::Result decoded = BodyCodec::decodeBody(body, isLog ? kLogKey : kReportKey);
        QJsonObject decodeInfo{{QStringLiteral("ok"), decoded.ok},
                               {QStringLiteral("error"), decoded.error},
                               {QStringLiteral("payloadLength"), decoded.payload.size()}};
        record.insert(QStringLiteral("decode"), decodeInfo);
        if (!decoded.ok) {
            problems << QStringLiteral("body: ") + decoded.error;
            summary = QStringLiteral("undecodable body: ") + decoded.error;
        } else if (isLog) {
            record.insert(QStringLiteral("text"), QString::fromUtf8(decoded.payload));
            writeFile(
                path(QStringLiteral("requests/%1-%2.txt").arg(seq, 4, 10, QLatin1Char('0')).arg(endpoint)),
                decoded.payload);
            summary = QStringLiteral("log text of %1 bytes").arg(decoded.payload.size());
        } else {
            writeFile(
                path(
                    QStringLiteral("requests/%1-%2.payload").arg(seq, 4, 10, QLatin1Char('0')).arg(endpoint)),
                decoded.payload);
            const bool isReport = endpoint == QLatin1String("report");
            const ProtoWire::Decoded message = ProtoWire::decode(
                isReport ? ProtoWire::Message::RequestDataReport : ProtoWire::Message::YeltUnityCSPkg,
                decoded.payload);
            record.insert(isReport ? QStringLiteral("report") : QStringLiteral("baseapi"), message.json);
            problems << message.problems;
            if (body.isEmpty())
                problems << QStringLiteral("empty body");
            summary = isReport
                          ? QStringLiteral("report with %1 events and %2 events with data")
                                .arg(message.json.value(QStringLiteral("commonEvents")).toArray().size())
                                .arg(message.json.value(QStringLiteral("commonExEvents")).toArray().size())
                          : QStringLiteral("base API request");
        }
        // The real server takes only what it can read.
        reply = problems.isEmpty() ? QByteArrayLiteral("1") : QByteArrayLiteral("0");
    } else if (endpoint == QLatin1String("keymap")) {
        // Answers with the address of the package's key-map file, or nothing for an unknown package.
        const QString package = QUrlQuery(url).queryItemValue(QStringLiteral("package"), QUrl::FullyDecoded);
        const QString file = path(QStringLiteral("keymaps/") + package + QStringLiteral(".json"));
        if (!package.isEmpty() && !package.contains(QLatin1Char('/')) && QFileInfo::exists(file))
            reply = QStringLiteral("http://127.0.0.1:%1/keymaps/%2.json")
                        .arg(port())
                        .arg(QString::fromLatin1(QUrl::toPercentEncoding(package)))
                        .toUtf8();
        summary = QStringLiteral("key-map address for \"%1\": \"%2\"").arg(package, QString::fromUtf8(reply));
    } else if (endpoint == QLatin1String("keymapfile")) {
        const QString name = url.path().mid(int(qstrlen("/keymaps/")));
        QFile file(path(QStringLiteral("keymaps/") + name));
        if (!name.contains(QLatin1Char('/')) && file.open(QIODevice::ReadOnly)) {
            reply = file.readAll();
        } else {
            status = 404;
            reply = "not found";
        }
        summary = QStringLiteral("key-map file \"%1\"").arg(name);
    } else {
        status = 404;
        reply = "not found";
        summary = QStringLiteral("unknown path");
    }

    record.insert(QStringLiteral("problems"), QJsonArray::fromStringList(problems));
    const QString base =
        path(QStringLiteral("requests/%1-%2").arg(seq, 4, 10, QLatin1Char('0')).arg(endpoint));
    writeFile(base + QStringLiteral(".body"), body);
    writeFile(base + QStringLiteral(".json"), QJsonDocument(record).toJson(QJsonDocument::Indented));
    log(QStringLiteral("#%1 %2 %3 %4 bytes -> %5: %6%7")
            .arg(seq)
            .arg(QString::fromLatin1(connection.method), QString::fromUtf8(connection.target))
            .arg(body.size())
            .arg(endpoint, summary,
                 problems.isEmpty()
                     ? QString()
                     : QStringLiteral(" [problems: %1]").arg(problems.join(QStringLiteral("; ")))));
    // A HEAD request is answered with the headers a GET would get and no body, as web servers do.
    socket->setProperty("orvHeadRequest", connection.method == "HEAD");
    answer(socket, seq, endpoint, url.path(), status, reply);
}

// Reads the control file: "key=value" lines; "<endpoint>.key=value" applies to one endpoint only
// and wins over the plain key. Lines starting with "#" are comments.
static QHash<QString, QString> readControl(const QString &file, const QString &endpoint)
{
    QHash<QString, QString> general;
    QHash<QString, QString> specific;
    QFile control(file);
    if (!control.open(QIODevice::ReadOnly))
        return general;
    const QList<QByteArray> lines = control.readAll().split('\n');
    for (const QByteArray &raw : lines) {
        const QString line = QString::fromUtf8(raw).trimmed();
        const int eq = line.indexOf(QLatin1Char('='));
        if (line.isEmpty() || line.startsWith(QLatin1Char('#')) || eq <= 0)
            continue;
        const QString key = line.left(eq).trimmed();
        const QString value = line.mid(eq + 1).trimmed();
        const int dot = key.indexOf(QLatin1Char('.'));
        if (dot < 0)
            general.insert(key, value);
        else if (key.left(dot) == endpoint)
            specific.insert(key.mid(dot + 1), value);
    }
    for (auto it = specific.cbegin(); it != specific.cend(); ++it)
        general.insert(it.key(), it.value());
    return general;
}

void WebService::answer(QTcpSocket *socket, int seq, const QString &endpoint, const QString &requestPath,
                        int defaultStatus, const QByteArray &defaultBody)
{
    QHash<QString, QString> control = readControl(path(QStringLiteral("control")), endpoint);
    // A redirect answers every request of its endpoint except the one for its own target, which is
    // answered as usual (so that a client that follows it gets the file).
    if (control.contains(QStringLiteral("location"))) {
        const QUrl target = QUrl(QStringLiteral("http://127.0.0.1/"))
                                .resolved(QUrl(control.value(QStringLiteral("location"))));
        if (target.path() == requestPath) {
            control.remove(QStringLiteral("location"));
            control.remove(QStringLiteral("status"));
            control.remove(QStringLiteral("reply"));
        } else if (!control.contains(QStringLiteral("status"))) {
            control.insert(QStringLiteral("status"), QStringLiteral("302"));
        }
    }
    const QString mode = control.value(QStringLiteral("answer"), QStringLiteral("normal"));
    int status = defaultStatus;
    QByteArray body = defaultBody;
    if (mode == QLatin1String("accept")) {
        body = "1";
    } else if (mode == QLatin1String("refuse")) {
        body = "0";
    } else if (mode == QLatin1String("error")) {
        status = 500;
        body = "server error";
    }
    if (control.contains(QStringLiteral("status")))
        status = control.value(QStringLiteral("status")).toInt();
    if (control.contains(QStringLiteral("reply")))
        body = control.value(QStringLiteral("reply")).toUtf8();

    if (mode == QLatin1String("hang")) {
        log(QStringLiteral("#%1 not answered (hang)").arg(seq));
        return;
    }

    QPointer<QTcpSocket> guarded(socket);
    auto deliver = [this, guarded, seq, mode, status, body, control] {
        if (!guarded || guarded->state() != QAbstractSocket::ConnectedState) {
            log(QStringLiteral("#%1 client went away before the answer").arg(seq));
            return;
        }
        if (mode == QLatin1String("close")) {
            log(QStringLiteral("#%1 closed without an answer").arg(seq));
            guarded->abort();
            return;
        }
        if (mode == QLatin1String("garbage")) {
            log(QStringLiteral("#%1 answered with bytes that are not HTTP").arg(seq));
            static const char garbage[] = "\x00\xff garbage, not HTTP\r\n\r\n";
            guarded->write(QByteArray(garbage, sizeof(garbage) - 1));
            guarded->disconnectFromHost();
            return;
        }
        sendReply(guarded, seq, status, body, control);
    };

    const int delayMs = control.value(QStringLiteral("delayMs")).toInt();
    const bool hold = control.value(QStringLiteral("hold")) == QLatin1String("1");
    if (hold) {
        log(QStringLiteral("#%1 held until the file \"release\" exists").arg(seq));
        auto *poll = new QTimer(this);
        poll->setInterval(20);
        connect(poll, &QTimer::timeout, this, [this, poll, deliver, delayMs] {
            if (!QFileInfo::exists(path(QStringLiteral("release"))))
                return;
            poll->deleteLater();
            poll->stop();
            QTimer::singleShot(delayMs, this, deliver);
        });
        poll->start();
    } else {
        QTimer::singleShot(delayMs, this, deliver);
    }
}

void WebService::sendReply(QTcpSocket *socket, int seq, int status, const QByteArray &body,
                           const QHash<QString, QString> &control)
{
    const QString location = control.value(QStringLiteral("location"));
    const int splitMs = control.value(QStringLiteral("splitMs"), QStringLiteral("-1")).toInt();
    const int truncate = control.value(QStringLiteral("truncate"), QStringLiteral("-1")).toInt();
    if (location.isEmpty() && splitMs < 0 && truncate < 0) {
        sendReply(socket, seq, status, body);
        return;
    }
    QByteArray response = "HTTP/1.1 " + QByteArray::number(status) + ' ' + reasonPhrase(status) + "\r\n";
    response += "Content-Type: text/html; charset=utf-8\r\n";
    if (!location.isEmpty())
        response += "Location: " + location.toUtf8() + "\r\n";
    response += "Content-Length: " + QByteArray::number(body.size()) + "\r\n";
    response += "Connection: close\r\n\r\n";
    // A truncated answer announces the whole body, sends only its start and closes.
    const QByteArray sent = socket->property("orvHeadRequest").toBool() ? QByteArray()
                            : truncate >= 0                             ? body.left(truncate)
                                                                        : body;
    const int half = splitMs >= 0 ? sent.size() / 2 : sent.size();
    socket->write(response + sent.left(half));
    socket->flush();
    QPointer<QTcpSocket> guarded(socket);
    const auto rest = [guarded, sent, half] {
        if (!guarded)
            return;
        guarded->write(sent.mid(half));
        guarded->disconnectFromHost();
    };
    if (splitMs >= 0)
        QTimer::singleShot(splitMs, this, rest);
    else
        rest();
    log(QStringLiteral("#%1 answered %2 \"%3\"%4%5%6")
            .arg(seq)
            .arg(status)
            .arg(printable(sent))
            .arg(location.isEmpty() ? QString() : QStringLiteral(" location ") + location)
            .arg(splitMs >= 0 ? QStringLiteral(" in two pieces %1 ms apart").arg(splitMs) : QString())
            .arg(truncate >= 0 ? QStringLiteral(" cut to %1 of %2 bytes").arg(sent.size()).arg(body.size())
                               : QString()));
}

void WebService::sendReply(QTcpSocket *socket, int seq, int status, const QByteArray &body)
{
    QByteArray response = "HTTP/1.1 " + QByteArray::number(status) + ' ' + reasonPhrase(status) + "\r\n";
    response += "Content-Type: text/html; charset=utf-8\r\n";
    response += "Content-Length: " + QByteArray::number(body.size()) + "\r\n";
    response += "Connection: close\r\n\r\n";
    if (!socket->property("orvHeadRequest").toBool())
        response += body;
    socket->write(response);
    socket->disconnectFromHost();
    if (seq > 0)
        log(QStringLiteral("#%1 answered %2 \"%3\"").arg(seq).arg(status).arg(printable(body)));
}
