#include "renderlibrary.h"

#include <QDebug>
#include <QDir>
#include <QFileInfo>
#include <QLibrary>

namespace {

template <typename Fn> bool resolve(QLibrary *library, const char *symbol, Fn *slot)
{
    *slot = reinterpret_cast<Fn>(library->resolve(symbol));
    return *slot != nullptr;
}

} // namespace

RenderLibrary &RenderLibrary::instance()
{
    static RenderLibrary *binding = new RenderLibrary(); // lives until the process ends, as the libraries do
    return *binding;
}

QString RenderLibrary::libraryNameFor(const QString &renderMode)
{
    return QLatin1String(renderMode == QLatin1String("dx") ? kAngleLibrary : kOpenglLibrary);
}

QString RenderLibrary::libraryPathFor(const QString &baseName, const QString &programDir)
{
    if (!programDir.isEmpty()) {
        const QDir dir(programDir);
        for (const QString &file :
             {baseName + QStringLiteral(".so"), QStringLiteral("lib") + baseName + QStringLiteral(".so")}) {
            const QFileInfo info(dir.filePath(file));
            if (info.isFile())
                return info.absoluteFilePath();
        }
    }
    return baseName;
}

int RenderLibrary::load(const QString &renderMode, const QString &programDir)
{
    if (m_loadResult != 0)
        return m_loadResult;

    m_render = new QLibrary(libraryPathFor(libraryNameFor(renderMode), programDir), this);
    if (!m_render->load()) {
        m_loadError = QStringLiteral("Render load err : ") + m_render->errorString();
        qInfo().noquote() << m_loadError;
        return m_loadResult = 1301;
    }
    m_helper = new QLibrary(libraryPathFor(QLatin1String(kHelperLibrary), programDir), this);
    if (!m_helper->load()) {
        m_loadError = QStringLiteral("Helper load err : ") + m_helper->errorString();
        qInfo().noquote() << m_loadError;
        return m_loadResult = 1301;
    }

    resolve(m_helper, "HookForChangeDllName", &hookForChangeDllName);
    resolve(m_render, "AndroVM_initLibrary", &initLibrary);
    resolve(m_render, "AndroVM_setFPSCallback", &setFpsCallback);
    resolve(m_render, "AndroVM_setViewport", &setViewport);
    resolve(m_render, "AndroVM_stopOpenGLRenderer", &stopOpenGLRenderer);

    // A library without one of these would otherwise be called through a null pointer later.
    QStringList missing;
    const auto need = [&](bool found, const char *symbol) {
        if (!found)
            missing << QLatin1String(symbol);
    };
    need(resolve(m_render, "AndroVM_setPipename", &setPipename), "AndroVM_setPipename");
    need(resolve(m_render, "AndroVM_setStreamMode", &setStreamMode), "AndroVM_setStreamMode");
    need(resolve(m_render, "AndroVM_setVMIP", &setVmIp), "AndroVM_setVMIP");
    need(resolve(m_render, "AndroVM_initOpenGLRenderer", &initOpenGLRenderer), "AndroVM_initOpenGLRenderer");
    need(resolve(m_render, "AndroVM_setCallbackRotation", &setCallbackRotation),
         "AndroVM_setCallbackRotation");
    need(resolve(m_render, "AndroVM_FrameBuffer_removeSubWindow", &removeSubWindow),
         "AndroVM_FrameBuffer_removeSubWindow");
    need(resolve(m_render, "AndroVM_FrameBuffer_setupSubWindow", &setupSubWindow),
         "AndroVM_FrameBuffer_setupSubWindow");
    need(resolve(m_render, "AndroVM_repaintOpenGLDisplay", &repaintOpenGLDisplay),
         "AndroVM_repaintOpenGLDisplay");
    if (!missing.isEmpty()) {
        m_loadError = QStringLiteral("Render load err : missing entry point ") +
                      missing.join(QStringLiteral(", ")) + QStringLiteral(" in ") + m_render->fileName();
        qInfo().noquote() << m_loadError;
        return m_loadResult = 1301;
    }

    // The helper's frame counter stands in only when the library cannot count frames itself.
    if (!setFpsCallback)
        resolve(m_helper, "GetFPS", &getFps);
    m_loaded = true;
    return m_loadResult = 1;
}

void RenderLibrary::rotationCallback(float degrees)
{
    RenderLibrary &binding = instance();
    binding.m_pendingRotation.store(static_cast<int>(degrees));
    if (binding.m_rotationQueued.exchange(true))
        return; // the delivery under way takes this rotation along
    QMetaObject::invokeMethod(
        &binding,
        [&binding] {
            binding.m_rotationQueued.store(false);
            emit binding.rotationChanged(binding.m_pendingRotation.load());
        },
        Qt::QueuedConnection);
}

void RenderLibrary::frameCallback()
{
    instance().m_frameCounter.fetch_add(1, std::memory_order_relaxed);
}

int RenderLibrary::takeFrameCount()
{
    if (!setFpsCallback)
        m_frameCounter.store(getFps ? getFps() : 0);
    return m_frameCounter.exchange(0);
}
