#include "webstandin.h"

#include "installtree.h"
#include "programrun.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>

WebStandIn::WebStandIn(const QString &stateDir) : m_stateDir(stateDir)
{
    m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
}

WebStandIn::~WebStandIn()
{
    stop();
}

bool WebStandIn::start(int timeoutMs)
{
    QDir().mkpath(m_stateDir);
    QFile::remove(m_stateDir + QStringLiteral("/url"));
    m_process.start(InstallTree::simBinDir() + QStringLiteral("/orv-webservice"),
                    {QStringLiteral("--state"), m_stateDir, QStringLiteral("--port"), QStringLiteral("0")});
    if (!m_process.waitForStarted(timeoutMs))
        return false;
    const QString urlFile = m_stateDir + QStringLiteral("/url");
    if (!waitUntil([&] { return QFileInfo::exists(urlFile); }, timeoutMs))
        return false;
    QFile file(urlFile);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    m_baseUrl = QString::fromUtf8(file.readAll()).trimmed();
    return !m_baseUrl.isEmpty();
}

void WebStandIn::stop()
{
    if (m_process.state() == QProcess::NotRunning)
        return;
    m_process.terminate();
    if (!m_process.waitForFinished(3000)) {
        m_process.kill();
        m_process.waitForFinished(3000);
    }
}

void WebStandIn::configure(InstallTree &tree, int replyTimeoutMs) const
{
    tree.writeInstallKey({{QStringLiteral("Server/Report"), m_baseUrl},
                          {QStringLiteral("Server/Log"), m_baseUrl},
                          {QStringLiteral("Server/Api"), m_baseUrl},
                          {QStringLiteral("Server/Keymap"), m_baseUrl},
                          {QStringLiteral("Server/ReplyTimeoutMs"), QString::number(replyTimeoutMs)}});
}

void WebStandIn::setControl(const QString &text) const
{
    QFile file(m_stateDir + QStringLiteral("/control"));
    if (file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        file.write(text.toUtf8() + '\n');
}

void WebStandIn::release() const
{
    QFile file(m_stateDir + QStringLiteral("/release"));
    if (file.open(QIODevice::WriteOnly))
        file.close();
}

QList<QJsonObject> WebStandIn::requests(const QString &endpoint) const
{
    QList<QJsonObject> result;
    const QString pattern =
        QStringLiteral("*-%1.json").arg(endpoint.isEmpty() ? QStringLiteral("*") : endpoint);
    const QFileInfoList files =
        QDir(m_stateDir + QStringLiteral("/requests")).entryInfoList({pattern}, QDir::Files, QDir::Name);
    for (const QFileInfo &info : files) {
        QFile file(info.absoluteFilePath());
        if (file.open(QIODevice::ReadOnly))
            result << QJsonDocument::fromJson(file.readAll()).object();
    }
    return result;
}

QString WebStandIn::log() const
{
    QFile file(m_stateDir + QStringLiteral("/webservice.log"));
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}
