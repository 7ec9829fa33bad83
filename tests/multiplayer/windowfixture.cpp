#include "windowfixture.h"

#include "paths.h"

#include <QFile>
#include <QProcess>

WindowFixture::WindowFixture() : m_tree(std::make_unique<InstallTree>())
{
    m_tree->addVirtualBox();
    m_tree->addGuestImage();
    m_tree->addRecorder(QStringLiteral("Orvanta"));
    m_tree->writeInstallKey();
    const QProcessEnvironment env = m_tree->environment();
    for (const char *name :
         {"TMPDIR", "PATH", "ORV_RECORD_DIR", "ORV_VBOX_STATE", "XDG_CONFIG_DIRS", "XDG_CONFIG_HOME",
          "XDG_DESKTOP_DIR", "XDG_DATA_HOME", "HOME", "APPDATA", "LOCALAPPDATA"})
        qputenv(name, env.value(QLatin1String(name)).toLocal8Bit());
    qputenv("ORV_TIMEOUT_SCALE", "0.01");
    m_tree->useTempDirHere();
    Platform::initSettingsPaths();
}

WindowFixture::~WindowFixture() = default;

QString WindowFixture::xmlPath() const
{
    return m_tree->localAppDataDir() + QStringLiteral("/OrvMultiPlayer/multiplayer.xml");
}

bool WindowFixture::tool(const QStringList &args, QString *out)
{
    QProcess process;
    process.setProcessEnvironment(m_tree->environment());
    process.start(m_tree->vboxDir() + QStringLiteral("/OrvvmManage"), args);
    if (!process.waitForFinished(10000))
        return false;
    if (out)
        *out = QString::fromUtf8(process.readAllStandardOutput());
    return process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
}

QList<QStringList> WindowFixture::modifyingCalls() const
{
    QList<QStringList> result;
    for (const QStringList &call : readToolCalls(stateDir()))
        if (!isReadOnlyToolCall(call))
            result << call;
    return result;
}

void WindowFixture::clearCalls() const
{
    QFile::remove(stateDir() + QStringLiteral("/calls.log"));
}

QString WindowFixture::readFile(const QString &path) const
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

QList<QPointer<QTimer>> &pendingDialogWatchers()
{
    static QList<QPointer<QTimer>> watchers;
    return watchers;
}

void cancelDialogWatchers()
{
    for (const QPointer<QTimer> &timer : pendingDialogWatchers())
        delete timer.data();
    pendingDialogWatchers().clear();
}
