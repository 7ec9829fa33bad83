#pragma once

#include <QList>
#include <QObject>
#include <QTimer>

#include <QPoint>
#include <QPointer>
#include <QString>
#include <functional>

class QTcpSocket;
class ShareFolderWatcher;

// The line that SendMouseOrKeyEvent writes for each event type.
enum VInputEventType
{
    VInputMouse = 0,
    VInputTouchDown = 1,    // MSBPR: one finger down
    VInputTouchUp = 2,      // MSBRL: one finger up
    VInputWheelUp = 3,      // WHEEL ...:1:amount
    VInputWheelDown = 4,    // WHEEL ...:-1:amount
    VInputKeyPress = 5,     // KBDPR
    VInputKeyRelease = 6,   // KBDRL
    VInputMultiPress = 7,   // MSMTPR
    VInputMultiRelease = 8, // MSMTRL
    VInputNone = 9,
    VInputSensor = 10,
};

// The connection to the guest's input service at the host end of the "vinput" port forward: text
// lines to the guest, shell command replies and screenshot names back. One process-wide object,
// living in the GUI thread. Every connection starts with the CONFIG line; after a failure or a close
// it reconnects 2 s later, on a timer, for as long as the program runs. A line asked for while the
// connection is down is dropped.
class VInputConnection : public QObject
{
    Q_OBJECT

public:
    static VInputConnection &instance();

    // The address of the input service: 127.0.0.1, also in the "-tcp" mode.
    static constexpr const char *kHost = "127.0.0.1";
    static constexpr int kReconnectMs = 2000;
    static constexpr int kShellReplyMs = 30000;
    // What one read of the guest's answers may hold (the socket buffers no more than this).
    static constexpr int kReadBufferBytes = 64 * 1024;
    // The longest screenshot file name taken from the guest, in UTF-8 bytes.
    static constexpr int kMaxScreenCapNameBytes = 255;
    // Shell commands waiting for their turn; later ones are answered empty at once.
    static constexpr int kMaxQueuedShellCommands = 64;

    // The start of the guest's answer to a screenshot request.
    static const char *const kScreenCapAnswer;

    // The lines, exactly as they go out (pure, vinputlines.cpp). An empty result means nothing is to be
    // written.
    static QByteArray configLine(int width, int height);
    static QByteArray mouseOrKeyLine(int type, int a, int b, int c, int d);
    // State 0 (press), 1 or 2 (move or release); any other state gives no line.
    static QByteArray multiLine(int state, const QList<QPoint> &points);
    static QByteArray inputTextLine(const QString &text);
    static QByteArray gpsLine(double longitude, double latitude);
    static QByteArray shakeLine();
    static QByteArray screenCapLine();
    // A command holding a carriage return or a line feed would end the line early and let the rest
    // run as a line of its own: it gives no line.
    static QByteArray shellLine(const QString &command);
    // The file name in a guest's "SCREENCAP:<path>" answer (after the last "/", trailing white space
    // trimmed); empty when the data is no such answer, names no file, or a name longer than
    // kMaxScreenCapNameBytes.
    static QString screenCapName(const QByteArray &data);
    // The guest's answers come unframed, so one read may hold several screenshot answers and a
    // command's reply after them: the length of the "SCREENCAP:" answer at the start of `data`, up to
    // its picture's ".png" and the line end that may follow; the whole of `data` when no ".png" ends
    // it; 0 when `data` does not start with an answer.
    static int screenCapAnswerLength(const QByteArray &data);

    // Connects (and keeps reconnecting).
    void init();
    bool isConnected() const { return m_connected; }

    void SendMouseOrKeyEvent(int type, int a = 0, int b = 0, int c = 0, int d = 0);
    void sendMulti(int state, const QList<QPoint> &points);
    void sendInputText(const QString &text);
    void sendGps(double longitude, double latitude);
    void sendShake();
    void requestScreenCap();
    // The answer to one shell command: the data that came, or an empty text when not connected, when
    // the command was refused, when the connection ended or when no answer came in time.
    using ShellReply = std::function<void(const QString &reply)>;
    // Queues the shell command and returns at once. Commands go out one at a time, in the order asked
    // for, each answered (through `done`, in this thread, while `context` lives) by the guest's next
    // data or after kShellReplyMs without it; lines of input never wait behind them.
    void sendShellCmd(const QString &command, ShellReply done = ShellReply(), QObject *context = nullptr);
    // Shell commands queued or awaiting their answer.
    int shellCommandsPending() const { return m_shellQueue.size() + (m_shellWaiting ? 1 : 0); }

    // Copies dropped files into the picture share (type 0) or the other share (any other type) on the
    // global thread pool, with toasts in the guest; returns at once.
    void copyFileFromDrag(const QStringList &paths, int type);
    // The copy itself, in the calling thread (a pool thread); the folders are the two shares.
    void copyFileFromDragThread(const QStringList &paths, int type, const QString &imageFolder,
                                const QString &otherFolder);
    // The watcher of the picture share (started by init when the share is known), or null.
    ShareFolderWatcher *shareWatcher() const { return m_watcher; }
    // Starts the watcher on these folders (init does so on the machine's shares).
    void startShareWatcher(const QString &imageFolder, const QString &otherFolder);
    // Ends the watcher's thread and waits for it; safe when none runs.
    void stopShareWatcher();

signals:
    void socketError();
    void ScreenCapNotify(QString fileName);
    // The CONFIG line of a new connection has been written; lines sent from here on reach the guest.
    void configSent();
    // Emitted by the copy and the watcher threads, handled in the GUI thread.
    void showToast(QString text);
    void copySuccessful(QString name);

public slots:
    void onSocketError();
    void onReadyRead();
    // Shows the text as a toast of the launcher app.
    void onShowToast(QString text);
    // Tells the guest's media side about a new picture in the picture share.
    void onCopySuccessful(QString name);

private:
    explicit VInputConnection(QObject *parent = nullptr);
    void connectSocket();
    bool writeLine(const QByteArray &line);
    // Data that is not the reply of a shell command: a screenshot answer or nothing of interest.
    void takeUnsolicited(const QByteArray &data);
    struct ShellRequest
    {
        QByteArray line;
        ShellReply done;
        QPointer<QObject> context;
        bool hasContext = false;
        // A picture announcement: one still queued stands for the next ones of a burst.
        bool announcement = false;
    };
    void queueShell(ShellRequest request);
    // Writes the next queued command when none is awaited.
    void nextShellCommand();
    void finishShellCommand(const QByteArray &reply);
    // Answers every queued and awaited command empty (the connection ended).
    void failShellCommands();
    static void answer(const ShellRequest &request, const QString &reply);
    void onShellTimeout();

    QPointer<QTcpSocket> m_socket;
    bool m_connected = false;
    bool m_initialised = false;
    bool m_reconnectPending = false;
    // Screenshot requests written on this connection whose answer has not come yet.
    int m_screenCapsAwaited = 0;
    QList<ShellRequest> m_shellQueue;
    ShellRequest m_shellCurrent;
    bool m_shellWaiting = false;
    // Runs while a shell command waits for its answer, or while a screenshot answer is awaited before
    // the next command can go.
    QTimer m_shellTimer;
    ShareFolderWatcher *m_watcher = nullptr;
};
