#pragma once

#include <QObject>
#include <QString>

#include <atomic>
#include <cstdint>

class QLibrary;

// The binding to the outside render library (libOpenglRender or libAngleRender) and its helper
// library (DLLHelper). The render library draws the guest's screen into a native child window of the
// Android window; the program hands it the connection values and the place to draw, and takes two
// callbacks from it, the guest screen's rotation and a tick per drawn frame.
//
// Both libraries are loaded once per process and never unloaded, by full path from the program's
// folder first and through the platform's library search otherwise. A mandatory entry point that the
// library does not export makes the load fail (1301) naming the symbol, so that no call ever goes
// through a null pointer. The callbacks arrive on the library's own thread: the rotation only emits
// `rotationChanged`, which its receivers take queued; the frame tick only counts, atomically.
class RenderLibrary : public QObject
{
    Q_OBJECT

public:
    using HookFn = void (*)();
    using GetFpsFn = int (*)();
    using SetPipenameFn = void (*)(const char *);
    using InitLibraryFn = int (*)();
    using SetStreamModeFn = void (*)(int);
    using SetVmIpFn = void (*)(const char *);
    using InitRendererFn = void (*)(int, int, int);
    using RotationCallback = void (*)(float);
    using SetRotationCallbackFn = void (*)(RotationCallback);
    using FrameCallback = void (*)();
    using SetFrameCallbackFn = void (*)(FrameCallback);
    using SetViewportFn = void (*)(int, int);
    using RemoveSubWindowFn = void (*)();
    using SetupSubWindowFn = int (*)(uintptr_t, int, int, int, int, float);
    using RepaintFn = void (*)();
    using StopRendererFn = void (*)();

    // File base names of the libraries, as the render-mode setting picks them.
    static constexpr const char *kOpenglLibrary = "libOpenglRender";
    static constexpr const char *kAngleLibrary = "libAngleRender";
    static constexpr const char *kHelperLibrary = "DLLHelper";

    // The one binding of the process; the callbacks given to the library report to it.
    static RenderLibrary &instance();
    RenderLibrary() = default;

    // "libAngleRender" for the render mode "dx", "libOpenglRender" for anything else.
    static QString libraryNameFor(const QString &renderMode);
    // The file to load for a base name: <programDir>/<name>.so, or <programDir>/lib<name>.so, when it
    // exists there, else the bare name for the platform's own search.
    static QString libraryPathFor(const QString &baseName, const QString &programDir);

    // Loads both libraries and looks up the entry points; 1, or 1301 when a library does not load or
    // lacks a mandatory entry point. Runs once: later calls return the first result.
    int load(const QString &renderMode, const QString &programDir);
    bool isLoaded() const { return m_loaded; }
    // The text of the last load failure ("Render load err : ...").
    QString loadError() const { return m_loadError; }

    // Entry points; the optional ones are null when the library does not export them.
    HookFn hookForChangeDllName = nullptr;
    GetFpsFn getFps = nullptr;
    SetPipenameFn setPipename = nullptr;
    InitLibraryFn initLibrary = nullptr;
    SetStreamModeFn setStreamMode = nullptr;
    SetVmIpFn setVmIp = nullptr;
    InitRendererFn initOpenGLRenderer = nullptr;
    SetRotationCallbackFn setCallbackRotation = nullptr;
    SetFrameCallbackFn setFpsCallback = nullptr;
    SetViewportFn setViewport = nullptr;
    RemoveSubWindowFn removeSubWindow = nullptr;
    SetupSubWindowFn setupSubWindow = nullptr;
    RepaintFn repaintOpenGLDisplay = nullptr;
    StopRendererFn stopOpenGLRenderer = nullptr;

    // Given to the library. The rotation is truncated toward zero to whole degrees. Reports that arrive
    // while an earlier one still waits for the GUI thread replace it: a library that reports again and
    // again costs one re-layout for the lot, with the last rotation.
    static void rotationCallback(float degrees);
    static void frameCallback();

    // Frames counted since the last read; read-and-clear for the once-a-second display. Without the
    // frame callback the helper's GetFPS gives the figure, and without either it is 0.
    int takeFrameCount();

signals:
    // Emitted in the thread of this object (the GUI thread), queued from the library's thread.
    void rotationChanged(int rotation);

private:
    bool m_loaded = false;
    int m_loadResult = 0;
    QString m_loadError;
    QLibrary *m_render = nullptr;
    QLibrary *m_helper = nullptr;
    std::atomic_int m_frameCounter{0};
    // The latest rotation reported, and whether its delivery to this object's thread is under way.
    std::atomic_int m_pendingRotation{0};
    std::atomic_bool m_rotationQueued{false};
};
