// A drag source on the real X server, as a file manager is: it shows a small window, presses the
// mouse button on it through XTest, drags a list of file URLs (XDND) to a point of the screen and
// releases the button there. Prints "drop <action>" with the action the target accepted (0: refused)
// and ends with 0 when the drop was accepted.
//
//     drag-source --from X,Y --to X,Y <file>...

#include "xtestinput.h"

#include <QApplication>
#include <QDrag>
#include <QMimeData>
#include <QMouseEvent>
#include <QTimer>
#include <QUrl>
#include <QWidget>

#include <cstdio>

namespace {

class Source : public QWidget
{
public:
    Source(XTestInput *x, const QList<QUrl> &urls, const QPoint &to) : m_x(x), m_urls(urls), m_to(to)
    {
        setWindowFlags(Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint);
        setStyleSheet(QStringLiteral("background: #ff8800;"));
    }

    int result = -1;

protected:
    void mousePressEvent(QMouseEvent *event) override
    {
        if (event->button() != Qt::LeftButton || m_started)
            return;
        m_started = true;
        auto *data = new QMimeData;
        data->setUrls(m_urls);
        auto *drag = new QDrag(this);
        drag->setMimeData(data);
        // The pointer travels to the target in steps while the drag runs, then the button goes up.
        const QPoint from = event->globalPos();
        auto *timer = new QTimer(this);
        int step = 0;
        constexpr int kSteps = 12;
        connect(timer, &QTimer::timeout, this, [this, timer, from, step]() mutable {
            ++step;
            if (step <= kSteps) {
                m_x->moveTo(from + (m_to - from) * step / kSteps);
            } else if (step == kSteps + 4) {
                // A last small move over the target, so it has answered a position before the drop.
                m_x->moveTo(m_to + QPoint(1, 1));
            } else if (step == kSteps + 10) {
                m_x->button(1, false);
                timer->stop();
            }
        });
        timer->start(50);
        result = drag->exec(Qt::CopyAction | Qt::MoveAction | Qt::LinkAction, Qt::CopyAction);
        // The target asks for the data after the drop: the source stays to answer, as a file manager
        // does.
        QTimer::singleShot(3000, qApp, &QCoreApplication::quit);
    }

private:
    XTestInput *m_x;
    QList<QUrl> m_urls;
    QPoint m_to;
    bool m_started = false;
};

QPoint point(const QString &text)
{
    const QStringList f = text.split(QLatin1Char(','));
    return QPoint(f.value(0).toInt(), f.value(1).toInt());
}

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QStringList args = app.arguments().mid(1);
    QPoint from(10, 10);
    QPoint to;
    QList<QUrl> urls;
    for (int i = 0; i < args.size(); ++i) {
        if (args.at(i) == QLatin1String("--from") && i + 1 < args.size())
            from = point(args.at(++i));
        else if (args.at(i) == QLatin1String("--to") && i + 1 < args.size())
            to = point(args.at(++i));
        else
            urls << QUrl::fromLocalFile(args.at(i));
    }
    XTestInput x;
    if (!x.isValid()) {
        std::fprintf(stderr, "drag-source: no XTest\n");
        return 2;
    }
    Source source(&x, urls, to);
    source.setGeometry(from.x() - 20, from.y() - 20, 40, 40);
    source.show();
    // Pressed once the window is on the screen.
    QTimer::singleShot(500, &source, [&] {
        x.moveTo(from);
        x.button(1, true);
    });
    // Never hangs a test: a drag that does not end is given up.
    QTimer::singleShot(20000, &app, [&] {
        x.button(1, false);
        QCoreApplication::exit(3);
    });
    const int code = app.exec();
    std::printf("drop %d\n", source.result);
    std::fflush(stdout);
    if (code != 0)
        return code;
    return source.result > 0 ? 0 : 1;
}
