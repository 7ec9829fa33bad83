#include "checkactions.h"

#include "global.h"
#include "glutcontext.h"
#include "hardwareprobe.h"
#include "hostprobes.h"
#include "logtags.h"
#include "vtprobes.h"

#include <QCoreApplication>
#include <QDebug>
#include <QSettings>
#include <QSysInfo>

#include <GL/gl.h>

const CheckSourceTexts kCheckSourceTexts[8] = {
    {"PatchCheck", QT_TRANSLATE_NOOP("CheckPatchAction", "patch is not installed"),
     QT_TRANSLATE_NOOP("CheckPatchAction", "go to install"),
     QT_TRANSLATE_NOOP("CheckPatchAction", "patch is installed"),
     QT_TRANSLATE_NOOP("CheckPatchAction", "passed")},
    {"DmBitsCheck", QT_TRANSLATE_NOOP("CheckDmBitsAction", "dmbits is not 32"),
     QT_TRANSLATE_NOOP("CheckDmBitsAction", "go to modify"),
     QT_TRANSLATE_NOOP("CheckDmBitsAction", "dmbits is 32"),
     QT_TRANSLATE_NOOP("CheckDmBitsAction", "passed")},
    {"OpenGLCheck", QT_TRANSLATE_NOOP("CheckOpenGLAction", "OpenGL version is too low"),
     QT_TRANSLATE_NOOP("CheckOpenGLAction", "go to update"),
     QT_TRANSLATE_NOOP("CheckOpenGLAction", "OpenGL version is ok"),
     QT_TRANSLATE_NOOP("CheckOpenGLAction", "passed")},
    {"DNFConflictCheck", QT_TRANSLATE_NOOP("CheckDNFConflictAction", "it is conflict"),
     QT_TRANSLATE_NOOP("CheckDNFConflictAction", "go to close DNF"),
     QT_TRANSLATE_NOOP("CheckDNFConflictAction", "it is not conflict"),
     QT_TRANSLATE_NOOP("CheckDNFConflictAction", "passed")},
    {"MemoryCheck", QT_TRANSLATE_NOOP("CheckMemoryAction", "out of memory"),
     QT_TRANSLATE_NOOP("CheckMemoryAction", "go to clear"),
     QT_TRANSLATE_NOOP("CheckMemoryAction", "memory is enough"),
     QT_TRANSLATE_NOOP("CheckMemoryAction", "passed")},
    {"VTOpenStautsCheck", QT_TRANSLATE_NOOP("CheckVTOpenStautsAction", "vt is close"),
     QT_TRANSLATE_NOOP("CheckVTOpenStautsAction", "go to open"),
     QT_TRANSLATE_NOOP("CheckVTOpenStautsAction", "vt is open"),
     QT_TRANSLATE_NOOP("CheckVTOpenStautsAction", "passed")},
    {"VTOccupiedStautsCheck", QT_TRANSLATE_NOOP("CheckVTOccupiedStautsAction", "vt is Occupied"),
     QT_TRANSLATE_NOOP("CheckVTOccupiedStautsAction", "go to close"),
     QT_TRANSLATE_NOOP("CheckVTOccupiedStautsAction", "vt is not Occupied"),
     QT_TRANSLATE_NOOP("CheckVTOccupiedStautsAction", "passed")},
    {"GraphicsCheck", QT_TRANSLATE_NOOP("CheckGraphicsAction", "is not Discrete Graphics"),
     QT_TRANSLATE_NOOP("CheckGraphicsAction", "go to open"),
     QT_TRANSLATE_NOOP("CheckGraphicsAction", "is Discrete Graphics"),
     QT_TRANSLATE_NOOP("CheckGraphicsAction", "passed")},
};

namespace {

enum CheckIndex
{
    Patch,
    DmBits,
    OpenGL,
    DNFConflict,
    Memory,
    VTOpen,
    VTOccupied,
    Graphics
};

QString translated(const char *context, const char *text)
{
    return QCoreApplication::translate(context, text);
}

// Reads a string of the hidden OpenGL window alive on this thread; empty without one.
QString glText(GLenum name)
{
    const GlutContext *context = GlutContext::current();
    return context ? context->text(name) : QString();
}

} // namespace

#define CHECK_CONSTRUCTOR(Class, index)                                                                      \
    Class::Class()                                                                                           \
        : CheckAction(QLatin1String(kCheckSourceTexts[index].name), QStringLiteral("false"),                 \
                      translated(#Class, kCheckSourceTexts[index].failureMessage),                           \
                      translated(#Class, kCheckSourceTexts[index].failureHint))                              \
    {                                                                                                        \
    }

CHECK_CONSTRUCTOR(CheckPatchAction, Patch)
CHECK_CONSTRUCTOR(CheckDmBitsAction, DmBits)
CHECK_CONSTRUCTOR(CheckOpenGLAction, OpenGL)
CHECK_CONSTRUCTOR(CheckDNFConflictAction, DNFConflict)
CHECK_CONSTRUCTOR(CheckMemoryAction, Memory)
CHECK_CONSTRUCTOR(CheckVTOpenStautsAction, VTOpen)
CHECK_CONSTRUCTOR(CheckVTOccupiedStautsAction, VTOccupied)
CHECK_CONSTRUCTOR(CheckGraphicsAction, Graphics)

bool CheckPatchAction::check()
{
    progressStep();
    if (!patchCheckPassed && Global::installInfo.productVersion >= QLatin1String("1.4.0") &&
        !hasHotfixKB3033929())
        return false;
    patchCheckPassed = true;
    QSettings userKey(QSettings::NativeFormat, QSettings::UserScope, QCoreApplication::organizationName(),
                      QCoreApplication::applicationName());
    userKey.setValue(QStringLiteral("LastPatchCheckResult"), true);
    pass(tr("patch is installed"));
    return true;
}

bool CheckDmBitsAction::check()
{
    const int bits = HardwareProbe::displayBitsPerPixel();
    qInfo().noquote() << QStringLiteral(ORV_LOG_LOADING "current color bit is ") + QString::number(bits);
    progressStep();
    if (bits != 32)
        return false;
    pass(tr("dmbits is 32"));
    return true;
}

bool CheckOpenGLAction::check()
{
    const QString version = glText(GL_VERSION);
    Global::systemInfo.openglVersion = version;
    qInfo().noquote() << QStringLiteral(ORV_LOG_LOADING "opengl version is ") + version;
    progressStep();
    // Text order, not numbers: "1.x" and "" are below "2", "2.1" and "4.5 ..." are not.
    if (QString::compare(version, QLatin1String("2"), Qt::CaseInsensitive) < 0)
        return false;
    qInfo() << ORV_LOG_LOADING "check opengl and discreate ok";
    pass(tr("OpenGL version is ok"));
    return true;
}

bool CheckDNFConflictAction::check()
{
    qInfo() << "environment check : begin check DNF conflict";
    const QString architecture = QSysInfo::currentCpuArchitecture();
    progressStep();
    if (architecture.isEmpty() || architecture == QLatin1String("unknown"))
        return false;
    if (HardwareProbe::processRunning(QStringLiteral("DNF.exe")))
        return false;
    qInfo() << "environment check : check DNF conflict is finished";
    pass(tr("it is not conflict"));
    return true;
}

bool CheckMemoryAction::check()
{
    qInfo() << ORV_LOG_LOADING "check memory";
    const HardwareProbe::MemoryStatus memory = HardwareProbe::memoryStatus();
    Global::systemInfo.memoryMB = static_cast<int>(static_cast<quint32>(memory.totalBytes >> 20));
    progressStep();
    // An unreadable memory status gives no load to complain about.
    if (memory.loadPercent > 80)
        return false;
    qInfo().noquote() << QStringLiteral(ORV_LOG_LOADING "totle memory is ") +
                             QString::number(Global::systemInfo.memoryMB) + QStringLiteral("M");
    qInfo() << ORV_LOG_LOADING "check memory ok  ";
    pass(tr("memory is enough"));
    return true;
}

bool CheckVTOpenStautsAction::check()
{
    qInfo() << ORV_LOG_LOADING "VTOpenStautsCheck ";
    // Once found enabled the answer is kept: the probe may take minutes.
    if (!Global::systemInfo.vtSupported)
        Global::systemInfo.vtSupported = VtProbes::isVtEnabled();
    const bool enabled = Global::systemInfo.vtSupported;
    qInfo().noquote() << QStringLiteral(ORV_LOG_LOADING "vt is ") +
                             (enabled ? QStringLiteral("open") : QStringLiteral("close"));
    if (enabled)
        pass(tr("vt is open"));
    progressStep();
    return enabled;
}

bool CheckVTOccupiedStautsAction::check()
{
    qInfo() << ORV_LOG_LOADING "VTOccupiedStautsCheck vt ";
    const bool occupied = VtProbes::detectHyperV() || VtProbes::detectOtherHypervisor();
    progressStep();
    if (occupied)
        return false;
    pass(tr("vt is not Occupied"));
    return true;
}

bool CheckGraphicsAction::check()
{
    const QStringList adapters = HardwareProbe::displayAdapters();
    Global::systemInfo.adapters = adapters;
    for (int i = 0; i < adapters.size(); ++i)
        qInfo().noquote() << QStringLiteral(ORV_LOG_LOADING "graphics card ") + QString::number(i) +
                                 QLatin1Char(' ') + adapters.at(i);

    const QString vendor = glText(GL_VENDOR);
    const bool discrete = vendor.contains(QLatin1String("NVIDIA")) || vendor.contains(QLatin1String("ATI")) ||
                          vendor.contains(QLatin1String("AMD"));
    qInfo().noquote() << QStringLiteral(ORV_LOG_LOADING "graphics vendor is ") + vendor;

    const QString renderer = glText(GL_RENDERER).split(QLatin1Char('/')).first().trimmed();
    // Without an OpenGL context (a run on the GUI thread) the renderer already known is kept.
    if (!renderer.isEmpty())
        Global::systemInfo.renderer = renderer;
    qInfo().noquote() << QStringLiteral(ORV_LOG_LOADING "current Graphics is ") + Global::systemInfo.renderer;
    Global::systemInfo.discreteGpu = discrete;
    progressStep();

    if (!discrete && adapters.size() > 1)
        return false;
    qInfo() << ORV_LOG_LOADING "check opengl and discreate ok";
    pass(tr("is Discrete Graphics"));
    return true;
}
