// The baseline of the benchmarks that measure a Qt widgets program: one empty window that idles. It
// prints "painted <ms since the epoch>" on standard output when the window is first painted.
#include <QApplication>
#include <QDateTime>
#include <QWidget>

#include <cstdio>

namespace {

class EmptyWindow : public QWidget
{
protected:
    void paintEvent(QPaintEvent *) override
    {
        if (m_painted)
            return;
        m_painted = true;
        std::printf("painted %lld\n", static_cast<long long>(QDateTime::currentMSecsSinceEpoch()));
        std::fflush(stdout);
    }

private:
    bool m_painted = false;
};

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    EmptyWindow window;
    window.resize(724, 1316);
    window.show();
    return app.exec();
}
