// The four shared folders of one machine, under <install>/share/<vm>/.
#include "global.h"
#include "logtags.h"
#include "paths.h"
#include "vboxtool.h"

#include <QDebug>
#include <QDir>

namespace {

constexpr int kToolTimeoutSeconds = 120;

// The host path the machine maps to the share `name`, or the empty text when it has no such share. The
// machine information numbers the shares in the tool's own order, so the share is looked up by its name.
QString mappedPath(const QHash<QString, QString> &vmInfo, const QString &name)
{
    for (int k = 1;; ++k) {
        const QString nameKey = QStringLiteral("SharedFolderNameMachineMapping%1").arg(k);
        const auto found = vmInfo.constFind(nameKey);
        if (found == vmInfo.constEnd())
            return QString();
        if (found.value() == name)
            return vmInfo.value(QStringLiteral("SharedFolderPathMachineMapping%1").arg(k));
    }
}

} // namespace

void VBoxTool::setShareFolders()
{
    const QString &vm = Global::vmName;
    const QString base = Global::installInfo.installDir + QStringLiteral("/share/") + vm;
    Global::eventPath = base + QStringLiteral("/event");
    Global::gamePath = base + QStringLiteral("/game");
    Global::imagePath = base + QStringLiteral("/image");
    Global::otherPath = base + QStringLiteral("/other");

    const struct
    {
        const char *share;
        const QString &path;
    } shares[] = {
        {"event", Global::eventPath},
        {"game", Global::gamePath},
        {"picture", Global::imagePath},
        {"other", Global::otherPath},
    };
    for (const auto &entry : shares) {
        const QString share = QLatin1String(entry.share);
        const QString mapping = mappedPath(m_vmInfo, share);
        if (!QDir(entry.path).exists() && !QDir().mkpath(entry.path))
            qWarning().noquote() << QStringLiteral(ORV_LOG_VBOXTOOL "cannot create share folder ") +
                                        entry.path;
        // The user's screenshots and files in the shares are no other local user's to read.
        Platform::makePrivateTree(entry.path);
        if (mapping == entry.path)
            continue;
        if (!mapping.isEmpty())
            exec({QStringLiteral("sharedfolder"), QStringLiteral("remove"), vm, QStringLiteral("--name"),
                  share},
                 nullptr, nullptr, kToolTimeoutSeconds);
        qInfo().noquote() << QStringLiteral(ORV_LOG_VBOXTOOL "set share folder ") + entry.path;
        exec({QStringLiteral("sharedfolder"), QStringLiteral("add"), vm, QStringLiteral("--name"), share,
              QStringLiteral("--hostpath"), entry.path, QStringLiteral("--automount")},
             nullptr, nullptr, kToolTimeoutSeconds);
    }
}
