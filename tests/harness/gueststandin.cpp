#include "gueststandin.h"

#include "installtree.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>

QString GuestStandIn::machineFile(const InstallTree &tree, const QString &vm)
{
    QDirIterator it(tree.root(), {vm + QStringLiteral(".vbox")}, QDir::Files, QDirIterator::Subdirectories);
    return it.hasNext() ? it.next() : QString();
}

bool GuestStandIn::attach(const InstallTree &tree, const QString &vm)
{
    const QString file = machineFile(tree, vm);
    if (file.isEmpty())
        return false;
    // Where the simulated tool keeps the guest of a machine it started.
    m_dir = tree.root() + QStringLiteral("/vbox-state/guests/") + vm;
    return true;
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
