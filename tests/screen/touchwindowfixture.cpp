// The Android window alone, in a process of its own, with its input channel to a simulated guest on a
// loopback port: what the tests drive with real X input when the whole program is not wanted.
//   touchwindow-fixture <input port> [<launcher port>]
// Prints "ready <X window id>" once the window is shown; ends on its standard input's end.

#include "androidwindow.h"
#include "global.h"
#include "renderlibrary.h"

#include <QApplication>
#include <QSocketNotifier>
#include <QTextStream>
#include <QTimer>

#include <unistd.h>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    if (argc < 2)
        return 2;
    Global::vmName = QStringLiteral("Orvanta_9");
    Global::vinputPort = QString::fromLatin1(argv[1]);
    Global::pavixPort = argc > 2 ? QString::fromLatin1(argv[2]) : QString();
    if (RenderLibrary::instance().load(QStringLiteral("gl"), QStringLiteral(ORV_PLAYER_DIR)) != 1)
        return 3;
    AndroidWindow window;
    window.setStartupHeights(800, 480);
    window.init();
    window.move(40, 40);
    window.show();
    QTimer::singleShot(500, &window, [&window] {
        QTextStream(stdout) << "ready " << window.winId() << Qt::endl;
    });
    QSocketNotifier input(STDIN_FILENO, QSocketNotifier::Read);
    QObject::connect(&input, &QSocketNotifier::activated, &app, [&] {
        char buffer[64];
        if (read(STDIN_FILENO, buffer, sizeof buffer) <= 0)
            app.quit();
    });
    const int code = app.exec();
    window.stopRender();
    return code;
}
