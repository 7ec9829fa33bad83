#include "screenfixture.h"

#include <QFile>
#include <QSettings>

ScreenFixture::ScreenFixture() : m_tree(std::make_unique<InstallTree>()), m_savedTmpDir(qgetenv("TMPDIR"))
{
    m_valid = m_tree->isValid() && m_tree->addProgram(QStringLiteral("Orvanta")) &&
              m_tree->addProgram(QStringLiteral("OrvantaUpdater")) &&
              m_tree->addRecorder(QStringLiteral("OrvMultiPlayer")) && m_tree->addVirtualBox() &&
              m_tree->addGuestImage();
    for (const char *library : {"libOpenglRender.so", "libAngleRender.so", "libDLLHelper.so"})
        m_valid = m_valid && InstallTree::copyFile(
                                 InstallTree::stagedPlayerDir() + QLatin1Char('/') + QLatin1String(library),
                                 m_tree->playerDir() + QLatin1Char('/') + QLatin1String(library));
    // Two-minute tool time-outs become six seconds and the boot poll starts after 1.5 s: a busy machine
    // (every core taken by other work) still answers in time, and the poll stays quick.
    m_tree->setEnv(QStringLiteral("ORV_TIMEOUT_SCALE"), QStringLiteral("0.05"));
    m_tree->setEnv(QStringLiteral("ORV_RENDER_TRACE"), m_tree->root() + QStringLiteral("/render-trace.txt"));
    // This process talks to the emulator's instance channel, as a second start does.
    qputenv("TMPDIR", m_tree->tempDir().toLocal8Bit());
}

ScreenFixture::~ScreenFixture()
{
    m_tree.reset();
    qputenv("TMPDIR", m_savedTmpDir);
}

std::unique_ptr<ProgramRun> ScreenFixture::startEmulator(const QStringList &extra)
{
    auto run = std::make_unique<ProgramRun>(
        *m_tree, QStringLiteral("Orvanta"),
        QStringList{QStringLiteral("-vm=") + QLatin1String(kVm), QStringLiteral("-debug")} + extra);
    if (!run->start())
        return nullptr;
    return run;
}

void ScreenFixture::setGuestControls(const QMap<QString, QString> &controls)
{
    for (auto it = controls.cbegin(); it != controls.cend(); ++it)
        m_tree->setEnv(QStringLiteral("ORV_GUEST_") + it.key().toUpper(), it.value());
}

bool ScreenFixture::attachGuest(ProgramRun &emulator)
{
    if (!emulator.waitForText(QLatin1String(kMachineRunning), 60000))
        return false;
    return m_guest.attach(*m_tree, QLatin1String(kVm));
}

QStringList ScreenFixture::renderTrace() const
{
    QFile file(m_tree->root() + QStringLiteral("/render-trace.txt"));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

QStringList ScreenFixture::statusWords() const
{
    QStringList words;
    for (const QStringList &call : m_tree->calls(QStringLiteral("OrvMultiPlayer"))) {
        if (call.size() == 2 && call.at(0) == QStringLiteral("-vm=") + QLatin1String(kVm) &&
            call.at(1).startsWith(QLatin1String("-status=")))
            words << call.at(1).mid(8);
    }
    return words;
}

void ScreenFixture::writeSetting(const QString &key, const QVariant &value)
{
    QSettings settings(m_tree->appDataDir() + QStringLiteral("/Halvora/") + QLatin1String(kVm) +
                           QStringLiteral(".ini"),
                       QSettings::IniFormat);
    settings.setValue(key, value);
}
