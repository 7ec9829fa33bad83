#include "serverconfig.h"

#include "timeoutscale.h"

#include <QSettings>

namespace ServerConfig {

namespace {

constexpr int kDefaultReplyTimeoutMs = 20000;
constexpr int kDefaultQuitReplyTimeoutMs = 5000;
constexpr int kUploadIntervalMs = 300000;

QString installValue(const char *key, const char *fallback)
{
    QSettings settings(QSettings::NativeFormat, QSettings::SystemScope, QStringLiteral("Halvora"),
                       QStringLiteral("Orvanta"));
    QString value = settings.value(QLatin1String(key)).toString().trimmed();
    while (value.endsWith(QLatin1Char('/')))
        value.chop(1);
    return value.isEmpty() ? QString::fromLatin1(fallback) : value;
}

QUrl endpoint(const QString &server, const char *path)
{
    return QUrl(server + QLatin1String(path));
}

} // namespace

QString reportServer()
{
    return installValue("Server/Report", "http://report.halvora.example");
}

QString logServer()
{
    return installValue("Server/Log", "http://log.halvora.example");
}

QString apiServer()
{
    return installValue("Server/Api", "http://api.halvora.example");
}

QString keymapServer()
{
    return installValue("Server/Keymap", "http://keymap.halvora.example");
}

int replyTimeoutMs()
{
    bool ok = false;
    const int value = installValue("Server/ReplyTimeoutMs", "").toInt(&ok);
    return ok && value > 0 ? value : kDefaultReplyTimeoutMs;
}

int quitReplyTimeoutMs()
{
    bool ok = false;
    const int value = installValue("Server/QuitReplyTimeoutMs", "").toInt(&ok);
    return ok && value > 0 ? value : kDefaultQuitReplyTimeoutMs;
}

int uploadIntervalMs()
{
    return TimeoutScale::ms(kUploadIntervalMs);
}

QUrl reportUrl()
{
    return endpoint(reportServer(), "/pavixtopdatareport.php");
}

QUrl crashLogUrl()
{
    return endpoint(logServer(), "/logup.php?platform=windows");
}

QUrl runLogUrl()
{
    return endpoint(logServer(), "/runlogUp.php?platform=windows");
}

QUrl baseApiUrl()
{
    return endpoint(apiServer(), "/YeltBaseAPI.php");
}

} // namespace ServerConfig
