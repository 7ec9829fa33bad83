// Runs the OpenGL and graphics checks the way the checking threads do: in a hidden OpenGL window, twice
// (each with its own X connection, opened and closed again), then says it is still alive. Prints one line per
// run: the describe texts and the measured values.
#include "checkactions.h"
#include "global.h"
#include "glutcontext.h"

#include <QCoreApplication>
#include <QTextStream>
#include <QThread>

static void runOnce(QTextStream &out)
{
    GlutContext context;
    CheckOpenGLAction openGl;
    CheckGraphicsAction graphics;
    openGl.check();
    graphics.check();
    out << "context=" << (context.isValid() ? "yes" : "no") << "\n"
        << "opengl=" << openGl.describe() << "\n"
        << "version=" << Global::systemInfo.openglVersion << "\n"
        << "renderer=" << Global::systemInfo.renderer << "\n";
    out.flush();
}

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QTextStream out(stdout);
    runOnce(out);
    // A second user on another thread, as the dialog's worker after the start-up worker.
    QThread *thread = QThread::create([&out] { runOnce(out); });
    thread->start();
    thread->wait();
    delete thread;
    out << "alive\n";
    return 0;
}
