#pragma once

#include <QMap>
#include <QPoint>
#include <QSet>
#include <QString>
#include <QWidget>

class KeyMapPlayer;
class QDragEnterEvent;
class QDragMoveEvent;
class QDropEvent;
class QKeyEvent;
class QMimeData;
class QLineEdit;
class QVBoxLayout;
class ScreenshotHandleWidget;
class VerticalScreenshotHandleWidget;

// The input layer of the Android window. It lies exactly over the Android picture and turns what the
// user does there into input lines for the guest: the left mouse button is one finger, the wheel
// scrolls (with Ctrl it is a two-finger pinch), keys become Linux key presses, and a few keys are
// window commands or hot keys. Every line goes through VInputConnection.
//
// Keyboard focus always sits on the hidden `inputEdit`, whose key events this widget filters; text
// that an input method commits into it goes to the guest as typed text.
class AndroidTouchWidget : public QWidget
{
    Q_OBJECT

public:
    explicit AndroidTouchWidget(QWidget *parent = nullptr);

    // Rotation of the guest screen in degrees (0, 90, 180, 270) and the displayed size divided by the
    // guest size, both kept by the Android window.
    void setRotation(int degrees) { m_rotation = degrees; }
    void setScale(double factor) { m_scale = factor; }
    int rotation() const { return m_rotation; }
    double scale() const { return m_scale; }

    // Widget point to guest point: turned by the rotation, then divided by the scale (truncated).
    QPoint mapToDevice(int x, int y) const;
    static QPoint mapToDevice(int x, int y, int width, int height, int rotation, double scale);

    // Finger bookkeeping. One identifier is one finger; putting down an identifier that is down moves it.
    void touchDown(const QString &id, int x, int y, bool mapPoint);
    void touchMove(const QString &id, int x, int y);
    void touchUp(const QString &id);
    void movePinch(int leftTopX, int leftTopY, int rightBottomX, int rightBottomY);
    QList<QPoint> fingerPoints() const { return m_touchPoints.values(); }

    // One press and one release of a Linux key code.
    static void sendKey(int linuxKeyCode);
    // The Linux key code of a key: the table's code, else the key's own scan code (on X11 the X key
    // code minus 8, which is the Linux code of the key).
    static int qtKeyToLinuxKey(const QKeyEvent *event);
    static int qtKeyToLinuxKey(int key, int scanCode);
    static int scanCode(const QKeyEvent *event);
    // Caps Lock was on when the key event happened.
    static bool capsLockOn(const QKeyEvent *event);

    void emitReturnKey() { emit hotkey_return_click(); }
    void emitHomeKey() { emit hotkey_home_click(); }
    void emitMenuKey() { emit hotkey_menu_click(); }
    void emitBossKey() { emit hotkey_bosskey_click(); }

    QLineEdit *inputEdit() const { return m_inputEdit; }
    // The player of the foreground package's key map (keymapplayer.h).
    KeyMapPlayer *keyMapPlayer() const { return m_player; }
    bool loadKeyMap();
    void reloadKeyMap();

    // The local files of a drop, sorted into packages, pictures and other files (suffixes compared
    // without regard to case; URLs that name no local file are left out).
    struct DroppedFiles
    {
        QStringList packages;
        QStringList images;
        QStringList others;
    };
    static DroppedFiles classifyDrop(const QMimeData *data);
    // The screenshot notices: one row for a layer wider than 450 pixels, two rows otherwise.
    ScreenshotHandleWidget *screenshotWidget() const { return m_screenshotWidget; }
    VerticalScreenshotHandleWidget *verticalScreenshotWidget() const { return m_verticalScreenshotWidget; }

signals:
    void show_full();
    void show_normal();
    void hotkey_stop_script_click();
    void hotkey_return_click(QString from = QStringLiteral("1"));
    void hotkey_home_click(QString from = QStringLiteral("1"));
    void hotkey_menu_click(QString from = QStringLiteral("1"));
    void hotkey_bosskey_click(QString from = QStringLiteral("0"));
    void opacityValueChanged(int value);
    void keyboard_status_change();

public slots:
    void onTextChanged(const QString &text);
    void onKeyboardStatusChanged();
    void onScreenCapNotify(const QString &fileName);
    // The launcher reports another package in the foreground.
    void on_pavix_package_changed(const QString &package);
    void opacitySliderMoved(int value);
    void keyBoardSettingSave();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void wheelEvent(QWheelEvent *event) override;
    void focusInEvent(QFocusEvent *event) override;
    void dragEnterEvent(QDragEnterEvent *event) override;
    void dragMoveEvent(QDragMoveEvent *event) override;
    void dropEvent(QDropEvent *event) override;
    void paintEvent(QPaintEvent *event) override;

private:
    QList<QPoint> allPoints() const;
    void keyPress(QKeyEvent *event);
    void keyRelease(QKeyEvent *event);
    void pinch(int x, int y, int delta);

    QVBoxLayout *m_layout = nullptr;
    QLineEdit *m_inputEdit = nullptr;
    ScreenshotHandleWidget *m_screenshotWidget = nullptr;
    VerticalScreenshotHandleWidget *m_verticalScreenshotWidget = nullptr;
    int m_rotation = 0;
    double m_scale = 1.0;
    QMap<QString, QPoint> m_touchPoints;
    // The finger the left button's press put down; its release lifts this one, whatever mode the key
    // map is in by then.
    QString m_mouseFinger;
    // X key codes of the keys held now (pressed, not yet released by the user).
    QSet<quint32> m_heldKeys;
    // XKB's detectable auto-repeat is on for this program's X connection.
    bool m_detectableRepeat = false;
    KeyMapPlayer *m_player = nullptr;
};
