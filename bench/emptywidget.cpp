// The baseline of bench_androididle: a Qt widget program that shows one empty window and idles.
#include <QApplication>
#include <QWidget>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QWidget window;
    window.resize(724, 1316);
    window.show();
    return app.exec();
}
