#include "gueststandin.h"

#include "installtree.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>

GuestStandIn::~GuestStandIn()
{
    stop();
}

QString GuestStandIn::machineFile(const InstallTree &tree, const QString &vm)
{
    QDirIterator it(tree.root(), {vm + QStringLiteral(".vbox")}, QDir::Files, QDirIterator::Subdirectories);
    return it.hasNext() ? it.next() : QString();
}

bool GuestStandIn::start(const InstallTree &tree, const QString &vm, const QMap<QString, QString> &controls)
{
    const QString file = machineFile(tree, vm);
    if (file.isEmpty())
        return false;
    m_dir = QFileInfo(file).absolutePath() + QStringLiteral("/guest");
    QProcessEnvironment env = tree.environment();
    for (auto it = controls.cbegin(); it != controls.cend(); ++it)
        env.insert(QStringLiteral("ORV_GUEST_") + it.key().toUpper(), it.value());
    m_process.setProcessEnvironment(env);
    m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    m_process.start(InstallTree::simBinDir() + QStringLiteral("/orv-guest"),
                    {QStringLiteral("--machine-file"), file, QStringLiteral("--die-with-parent")});
    return m_process.waitForStarted(5000);
}

void GuestStandIn::stop()
{
    if (m_process.state() == QProcess::NotRunning)
        return;
    m_process.terminate();
    if (!m_process.waitForFinished(5000)) {
        m_process.kill();
        m_process.waitForFinished(5000);
    }
}

QStringList GuestStandIn::inputLines() const
{
    QFile file(m_dir + QStringLiteral("/input.log"));
    QStringList lines;
    if (!file.open(QIODevice::ReadOnly))
        return lines;
    for (const QByteArray &line : file.readAll().split('\n')) {
        const int blank = line.indexOf(' ');
        if (blank > 0)
            lines << QString::fromUtf8(line.mid(blank + 1));
    }
    return lines;
}

void GuestStandIn::request(const QString &name) const
{
    QFile file(m_dir + QLatin1Char('/') + name);
    if (file.open(QIODevice::WriteOnly))
        file.close();
}
