// The baseline of the input benchmark: the least a Qt widgets program can do to bring a key to the
// guest. One window; each key press and release it receives becomes the guest's line
// "KBDPR:<code>:1" or "KBDRL:<code>:0" (the Linux key code), written at once on a TCP connection to the
// guest stand-in's input port. Prints "ready <window id>" once connected and shown.
//   bench_inputbaseline <input port>
#include <QApplication>
#include <QKeyEvent>
#include <QTcpSocket>
#include <QThread>
#include <QWidget>

#include <cstdio>

namespace {

class KeyWindow : public QWidget
{
public:
    explicit KeyWindow(QTcpSocket *socket) : m_socket(socket) {}

protected:
    void keyPressEvent(QKeyEvent *event) override { send(event, "KBDPR:%1:1\n"); }
    void keyReleaseEvent(QKeyEvent *event) override { send(event, "KBDRL:%1:0\n"); }

private:
    void send(QKeyEvent *event, const char *format)
    {
        if (event->isAutoRepeat())
            return;
        m_socket->write(QString::fromLatin1(format).arg(event->nativeScanCode() - 8).toLatin1());
        m_socket->flush();
    }

    QTcpSocket *m_socket;
};

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    if (argc < 2)
        return 2;
    QTcpSocket socket;
    socket.setSocketOption(QAbstractSocket::LowDelayOption, 1);
    // The guest stand-in may still be coming up: try for up to 10 s.
    const quint16 port = static_cast<quint16>(QString::fromLatin1(argv[1]).toInt());
    for (int attempt = 0; socket.state() != QAbstractSocket::ConnectedState; ++attempt) {
        if (attempt == 100)
            return 1;
        socket.abort();
        socket.connectToHost(QStringLiteral("127.0.0.1"), port);
        if (!socket.waitForConnected(100))
            QThread::msleep(100);
    }
    KeyWindow window(&socket);
    window.resize(400, 400);
    window.show();
    std::printf("ready %llu\n", static_cast<unsigned long long>(window.winId()));
    std::fflush(stdout);
    QObject::connect(&socket, &QTcpSocket::disconnected, &app, &QApplication::quit);
    return app.exec();
}
