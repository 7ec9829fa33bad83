#include "keymapdownloader.h"

#include "httprequest.h"
#include "keymapfile.h"
#include "serverconfig.h"
#include "timeoutscale.h"

#include <QCommandLineParser>
#include <QDeadlineTimer>
#include <QDebug>
#include <QDir>
#include <QFileInfo>
#include <QUrl>

void KeyMapDownloader::parse(const QStringList &arguments)
{
    QCommandLineParser parser;
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    const QCommandLineOption vm(QStringLiteral("vm"), QString(), QStringLiteral("vm"));
    const QCommandLineOption pkg(QStringLiteral("pkg"), QString(), QStringLiteral("pkg"));
    const QCommandLineOption type(QStringLiteral("type"), QString(), QStringLiteral("type"));
    parser.addOption(vm);
    parser.addOption(pkg);
    parser.addOption(type);
    parser.process(arguments);
    m_vm = parser.value(vm);
    m_pkg = parser.value(pkg);
    m_type = parser.value(type);
    qDebug().noquote() << " vm " + m_vm << " pkg " + m_pkg;
}

int KeyMapDownloader::run()
{
    if (m_type == QLatin1String("pkg"))
        download();
    return 0;
}

bool KeyMapDownloader::download()
{
    // Only names that cannot leave the key-map folder reach a path.
    const QString target = KeyMapFile::filePath(m_vm, m_pkg);
    if (!KeyMapFile::isValidMachineName(m_vm)) {
        qInfo().noquote() << "refused: the machine name \"" + m_vm + "\" cannot name a key-map folder";
        return false;
    }
    if (target.isEmpty()) {
        qInfo().noquote() << "refused: \"" + m_pkg + "\" is no Android package name";
        return false;
    }

    const QDeadlineTimer deadline(TimeoutScale::ms(kRunLimitMs));
    const auto budget = [&deadline](int limitMs) {
        return int(qMax<qint64>(1, qMin<qint64>(limitMs, deadline.remainingTime())));
    };
    const QUrl query(ServerConfig::keymapServer() + QLatin1String(kQueryPath) + QStringLiteral("?package=") +
                     m_pkg);
    QByteArray answer;
    {
        HttpWebBlockRequest request;
        const int error = request.get(query, budget(TimeoutScale::ms(kQueryTimeoutMs)));
        if (error != 0 || request.httpStatus() < 200 || request.httpStatus() >= 300) {
            qInfo() << "the key-map query failed:" << error << "status" << request.httpStatus();
            return false;
        }
        answer = request.body();
    }
    const QString text = QString::fromUtf8(answer).trimmed();
    if (text.isEmpty()) {
        qInfo().noquote() << "no key map for " + m_pkg;
        return false;
    }
    const QString address =
        text.startsWith(QLatin1String("http://")) || text.startsWith(QLatin1String("https://"))
            ? text
            : QStringLiteral("http://") + text;
    const QUrl url(address, QUrl::StrictMode);
    if (!url.isValid() || url.host().isEmpty()) {
        qInfo().noquote() << "the service answered no address: " + text.left(200);
        return false;
    }

    const QString folder = QFileInfo(target).absolutePath();
    if (!QDir().mkpath(folder)) {
        qInfo().noquote() << "cannot create " + folder;
        return false;
    }
    HttpDownload download;
    // Only a key map is kept: a page of the service's web server or anything else stays out.
    download.setAcceptor([](const QByteArray &body) { return KeyMapFile::isKeyMapFile(body); });
    download.download(url, target, kDownloadIntervalMs, budget(kDownloadOverallMs));
    if (download.redirected()) {
        const QUrl next(download.redirectLocation());
        if (next.scheme() != QLatin1String("http") && next.scheme() != QLatin1String("https")) {
            qInfo().noquote() << "redirection to a non-web address refused: " + download.redirectLocation();
            return false;
        }
        // One redirect is followed; a second one ends here without a file.
        if (deadline.hasExpired())
            return false;
        download.download(next, target, kDownloadIntervalMs, budget(kDownloadOverallMs));
    }
    if (download.saved())
        qInfo().noquote() << "key map of " + m_pkg + " saved";
    return download.saved();
}
