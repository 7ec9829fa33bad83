#include "androidtouchwidget.h"

#include "screenshotnotice.h"
#include "traynotice.h"

#include "androidwindow.h"
#include "detectablerepeat.h"
#include "global.h"
#include "guestfiles.h"
#include "hotkeytable.h"
#include "keymapplayer.h"
#include "keytext.h"
#include "launcherrequest.h"
#include "logtags.h"
#include "pavixconnection.h"
#include "settingmodel.h"
#include "vinputconnection.h"
#include "x11display.h"

#include <QClipboard>
#include <QDebug>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMimeData>
#include <QPainter>
#include <QThread>
#include <QVBoxLayout>

#include <utility>

namespace {

constexpr int kLinuxLeftShift = 42;
constexpr int kLinuxUnknown = 240;
constexpr int kLinuxKeypadAsterisk = 55;
// X key codes are the Linux input codes plus this.
constexpr int kXKeyCodeOffset = 8;
// The lock bit of an X key event's state: Caps Lock is on.
constexpr quint32 kXLockMask = 1u << 1;
// The wheel's pinch: 5 ms between frames, 6 steps a notch, fingers 80 (spread) or 92 (pinch) apart
// per axis at the start, at most 42 inward steps.
constexpr int kPinchSleepMs = 5;
constexpr int kPinchStepsPerNotch = 6;
constexpr int kSpreadHalf = 40;
constexpr int kPinchHalf = 46;
constexpr int kPinchMaxSteps = 42;

const QString kMouse = QStringLiteral("MOUSE");
const QString kFire = QStringLiteral("FIRE");
const QString kLeftTop = QStringLiteral("LEFTTOP");
const QString kRightBottom = QStringLiteral("RIGHTBOTTOM");

// A layer wider than this shows the one-row screenshot notice.
constexpr int kWideNoticeMinWidth = 450;

bool isLetter(int key)
{
    return key >= Qt::Key_A && key <= Qt::Key_Z;
}

} // namespace

AndroidTouchWidget::AndroidTouchWidget(QWidget *parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("touchWindow"));
    setFocusPolicy(Qt::NoFocus);
    setAttribute(Qt::WA_MouseTracking);
    setMouseTracking(true);
    setAcceptDrops(true);
    m_layout = new QVBoxLayout(this);
    m_inputEdit = new QLineEdit(this);
    m_inputEdit->setObjectName(QStringLiteral("inputEdit"));
    m_inputEdit->setMaximumSize(0, 0);
    m_layout->addWidget(m_inputEdit, 0, Qt::AlignRight | Qt::AlignBottom);
    m_inputEdit->installEventFilter(this);
    m_detectableRepeat = DetectableRepeat::enable();
    connect(m_inputEdit, &QLineEdit::textChanged, this, &AndroidTouchWidget::onTextChanged);
    connect(&VInputConnection::instance(), &VInputConnection::ScreenCapNotify, this,
            &AndroidTouchWidget::onScreenCapNotify);
    m_screenshotWidget = new ScreenshotHandleWidget(this);
    m_verticalScreenshotWidget = new VerticalScreenshotHandleWidget(this);
    m_screenshotWidget->hide();
    m_verticalScreenshotWidget->hide();
    m_inputEdit->setFocus(Qt::OtherFocusReason);
    m_player = new KeyMapPlayer(this);
    connect(m_player, &KeyMapPlayer::keyboardStatusChanged, this,
            &AndroidTouchWidget::keyboard_status_change);
    connect(m_player, &KeyMapPlayer::opacityValueChanged, this, &AndroidTouchWidget::opacityValueChanged);
}

bool AndroidTouchWidget::loadKeyMap()
{
    return m_player->loadKeyMap();
}

void AndroidTouchWidget::reloadKeyMap()
{
    m_player->reloadKeyMap();
}

void AndroidTouchWidget::on_pavix_package_changed(const QString &package)
{
    m_player->onPackageChanged(package);
}

void AndroidTouchWidget::opacitySliderMoved(int value)
{
    m_player->opacitySliderMoved(value);
}

void AndroidTouchWidget::keyBoardSettingSave()
{
    m_player->keyBoardSettingSave();
}

QPoint AndroidTouchWidget::mapToDevice(int x, int y, int width, int height, int rotation, double scale)
{
    int dx = x;
    int dy = y;
    switch (rotation) {
    case 90:
        dx = height - y;
        dy = x;
        break;
    case 180:
        dx = width - x;
        dy = height - y;
        break;
    case 270:
        dx = y;
        dy = width - x;
        break;
    default:
        break;
    }
    if (scale <= 0)
        return QPoint(dx, dy);
    return QPoint(static_cast<int>(dx / scale), static_cast<int>(dy / scale));
}

QPoint AndroidTouchWidget::mapToDevice(int x, int y) const
{
    return mapToDevice(x, y, width(), height(), m_rotation, m_scale);
}

QList<QPoint> AndroidTouchWidget::allPoints() const
{
    // QMap keeps its keys in ascending order of their UTF-16 code units: "AIM" < "FIRE" < ... <
    // "RIGHTBOTTOM".
    return m_touchPoints.values();
}

void AndroidTouchWidget::touchDown(const QString &id, int x, int y, bool mapPoint)
{
    const QPoint p = mapPoint ? mapToDevice(x, y) : QPoint(x, y);
    m_touchPoints.insert(id, p);
    if (m_touchPoints.size() == 1)
        VInputConnection::instance().SendMouseOrKeyEvent(VInputTouchDown, p.x(), p.y());
    else
        VInputConnection::instance().sendMulti(0, allPoints());
}

void AndroidTouchWidget::touchMove(const QString &id, int x, int y)
{
    if (!m_touchPoints.contains(id))
        return;
    m_touchPoints.insert(id, mapToDevice(x, y));
    VInputConnection::instance().sendMulti(2, allPoints());
}

void AndroidTouchWidget::touchUp(const QString &id)
{
    if (!m_touchPoints.contains(id))
        return;
    const QPoint p = m_touchPoints.take(id);
    VInputConnection &vinput = VInputConnection::instance();
    vinput.sendMulti(2, allPoints());
    if (m_touchPoints.isEmpty()) {
        vinput.sendMulti(2, {});
        vinput.sendMulti(2, {});
        vinput.SendMouseOrKeyEvent(VInputTouchUp, p.x(), p.y());
    }
}

void AndroidTouchWidget::movePinch(int leftTopX, int leftTopY, int rightBottomX, int rightBottomY)
{
    m_touchPoints.insert(kLeftTop, QPoint(leftTopX, leftTopY));
    m_touchPoints.insert(kRightBottom, QPoint(rightBottomX, rightBottomY));
    VInputConnection::instance().sendMulti(2, allPoints());
}

void AndroidTouchWidget::sendKey(int linuxKeyCode)
{
    VInputConnection::instance().SendMouseOrKeyEvent(VInputKeyPress, linuxKeyCode);
    VInputConnection::instance().SendMouseOrKeyEvent(VInputKeyRelease, linuxKeyCode);
}

int AndroidTouchWidget::scanCode(const QKeyEvent *event)
{
    const int native = static_cast<int>(event->nativeScanCode());
    // On X11 the native code is the X key code: the Linux input code plus 8.
    if (QGuiApplication::platformName() == QLatin1String("xcb") && native >= kXKeyCodeOffset)
        return native - kXKeyCodeOffset;
    return native;
}

bool AndroidTouchWidget::capsLockOn(const QKeyEvent *event)
{
    return QGuiApplication::platformName() == QLatin1String("xcb") && (event->nativeModifiers() & kXLockMask);
}

int AndroidTouchWidget::qtKeyToLinuxKey(const QKeyEvent *event)
{
    return qtKeyToLinuxKey(event->key(), scanCode(event));
}

int AndroidTouchWidget::qtKeyToLinuxKey(int key, int scanCode)
{
    if (key == Qt::Key_Plus)
        return kLinuxUnknown;
    if (key == Qt::Key_Asterisk && scanCode == kLinuxKeypadAsterisk)
        return kLinuxUnknown;
    if (key >= Qt::Key_1 && key <= Qt::Key_9)
        return 2 + (key - Qt::Key_1);
    switch (key) {
    case Qt::Key_0:
        return 11;
    case Qt::Key_Exclam:
        return 2;
    case Qt::Key_At:
        return 3;
    case Qt::Key_Dollar:
        return 5;
    case Qt::Key_Ampersand:
        return 8;
    case Qt::Key_Asterisk:
        return 9;
    case Qt::Key_ParenLeft:
        return 10;
    case Qt::Key_ParenRight:
        return 11;
    case Qt::Key_Minus:
        return 12;
    case Qt::Key_Period:
        return 52;
    case Qt::Key_Slash:
        return 53;
    case Qt::Key_macron:
        return 112;
    case Qt::Key_mu:
        return 113;
    case Qt::Key_Enter:
        return 28;
    case Qt::Key_Insert:
        return 110;
    case Qt::Key_Delete:
        return 111;
    case Qt::Key_Pause:
        return 119;
    case Qt::Key_SysReq:
        return 99;
    case Qt::Key_Home:
        return 102;
    case Qt::Key_End:
        return 107;
    case Qt::Key_Left:
        return 105;
    case Qt::Key_Up:
        return 103;
    case Qt::Key_Right:
        return 106;
    case Qt::Key_Down:
        return 108;
    case Qt::Key_PageUp:
        return 104;
    case Qt::Key_PageDown:
        return 109;
    case Qt::Key_CapsLock:
        return 58;
    case Qt::Key_NumLock:
        return 69;
    default:
        break;
    }
    return scanCode;
}

void AndroidTouchWidget::mousePressEvent(QMouseEvent *event)
{
    if (event->button() == Qt::RightButton) {
        m_player->rightPress();
        return;
    }
    if (event->button() != Qt::LeftButton)
        return;
    if (m_player->leftPress(event->pos())) {
        m_mouseFinger = kFire;
        return;
    }
    m_mouseFinger = kMouse;
    touchDown(m_mouseFinger, event->x(), event->y(), true);
}

void AndroidTouchWidget::mouseReleaseEvent(QMouseEvent *event)
{
    if (event->button() != Qt::LeftButton || m_mouseFinger.isEmpty())
        return;
    const QString finger = m_mouseFinger;
    m_mouseFinger.clear();
    if (finger == kFire)
        m_player->leftRelease();
    else
        touchUp(finger);
}

void AndroidTouchWidget::mouseMoveEvent(QMouseEvent *event)
{
    if (m_player->mouseMove(event->pos()))
        return;
    touchMove(kMouse, event->x(), event->y());
}

void AndroidTouchWidget::wheelEvent(QWheelEvent *event)
{
    const QPointF pos = event->position();
    const QPoint p = mapToDevice(static_cast<int>(pos.x()), static_cast<int>(pos.y()));
    const int dy = event->angleDelta().y();
    if (event->modifiers() == Qt::ControlModifier) {
        pinch(p.x(), p.y(), dy);
    } else if (dy > 0) {
        VInputConnection::instance().SendMouseOrKeyEvent(VInputWheelUp, p.x(), p.y(), dy);
    } else {
        VInputConnection::instance().SendMouseOrKeyEvent(VInputWheelDown, p.x(), p.y(), -dy);
    }
    event->accept();
}

void AndroidTouchWidget::pinch(int x, int y, int delta)
{
    // Played in one go: the lines of one gesture never interleave with others.
    QThread::msleep(kPinchSleepMs);
    int half;
    int steps;
    int step;
    if (delta > 0) {
        half = kSpreadHalf;
        steps = delta / 120 * kPinchStepsPerNotch;
        step = -1;
    } else {
        half = kPinchHalf;
        steps = qMin(-delta / 120 * kPinchStepsPerNotch, kPinchMaxSteps);
        step = 1;
    }
    int ltX = x - half, ltY = y - half, rbX = x + half, rbY = y + half;
    touchDown(kLeftTop, ltX, ltY, false);
    touchDown(kRightBottom, rbX, rbY, false);
    for (int i = 0; i < steps; ++i) {
        ltX += step;
        ltY += step;
        rbX -= step;
        rbY -= step;
        movePinch(ltX, ltY, rbX, rbY);
        QThread::msleep(kPinchSleepMs);
    }
    touchUp(kLeftTop);
    touchUp(kRightBottom);
}

bool AndroidTouchWidget::eventFilter(QObject *watched, QEvent *event)
{
    if (watched != m_inputEdit)
        return QWidget::eventFilter(watched, event);
    if (event->type() == QEvent::KeyPress) {
        auto *key = static_cast<QKeyEvent *>(event);
        const quint32 code = key->nativeScanCode();
        // A held key is one press for the guest: X's auto-repeat sends further presses (with detectable
        // auto-repeat) or release and press pairs that Qt flags as repeats only when the press is already
        // queued. A press of a key that is still held is such a repeat, whatever its flag.
        if (code != 0) {
            if (m_heldKeys.contains(code))
                return true;
            if (!key->isAutoRepeat())
                m_heldKeys.insert(code);
        }
        keyPress(key);
        return true;
    }
    if (event->type() == QEvent::KeyRelease) {
        auto *key = static_cast<QKeyEvent *>(event);
        const quint32 code = key->nativeScanCode();
        if (key->isAutoRepeat())
            return true;
        if (code != 0) {
            // With detectable auto-repeat every release is the user's. Without it, the auto-repeat's
            // release leaves the key down in the server's keyboard state; the user's release takes it
            // up (the state is read now, not when the event was made, so a key pressed again quickly
            // can lose its release: only the fallback relies on it).
            if (!m_detectableRepeat && m_heldKeys.contains(code) && X11Display::keyDown(code))
                return true;
            m_heldKeys.remove(code);
        }
        keyRelease(key);
        return true;
    }
    if (event->type() == QEvent::FocusOut)
        // Releases made while another window has the keyboard never come here.
        m_heldKeys.clear();
    return false;
}

void AndroidTouchWidget::keyPress(QKeyEvent *event)
{
    const QMap<QString, QString> shortcuts = SettingModel::instance()->shortcutMap();
    const QString keyText = KeyText::hotKeyText(event);
    const int key = event->key();
    const Qt::KeyboardModifiers modifiers = event->modifiers();
    if (event->isAutoRepeat() && shortcuts.value(keyText) != QLatin1String("bossKey"))
        return;
    if (key == Qt::Key_Escape && AndroidWindow::fullScreenFlag) {
        emit show_normal();
        return;
    }
    if (key == Qt::Key_F11) {
        if (AndroidWindow::fullScreenFlag)
            emit show_normal();
        else
            emit show_full();
    }
    if (key == Qt::Key_F3) {
        emit hotkey_stop_script_click();
        return;
    }
    if (key == Qt::Key_V && modifiers == Qt::ControlModifier) {
        VInputConnection::instance().sendInputText(QGuiApplication::clipboard()->text());
        return;
    }
    if ((key == Qt::Key_Plus || key == Qt::Key_Equal) && modifiers == Qt::ControlModifier) {
        LauncherRequest::send(LauncherRequest::KeyCtrlPlus, QStringLiteral("1"));
        return;
    }
    if (key == Qt::Key_Minus && modifiers == Qt::ControlModifier) {
        LauncherRequest::send(LauncherRequest::KeyCtrlPlus, QStringLiteral("0"));
        return;
    }
    qDebug() << "  shortcutKey " << keyText << " -------- shortcutMap " << shortcuts;
    if (shortcuts.contains(keyText)) {
        const QString name = shortcuts.value(keyText);
        if (name == QLatin1String("keyboardKey"))
            onKeyboardStatusChanged();
        else
            dispatchHotKey(name, this);
        return;
    }
    if (m_player->keyPress(event))
        return;
    if (key == Qt::Key_Alt || key == Qt::Key_Control)
        return;
    VInputConnection &vinput = VInputConnection::instance();
    if (isLetter(key) && capsLockOn(event))
        vinput.SendMouseOrKeyEvent(VInputKeyPress, kLinuxLeftShift);
    vinput.SendMouseOrKeyEvent(VInputKeyPress, qtKeyToLinuxKey(event));
}

void AndroidTouchWidget::keyRelease(QKeyEvent *event)
{
    if (event->isAutoRepeat())
        return;
    if (m_player->keyRelease(event))
        return;
    const int key = event->key();
    if (key == Qt::Key_Alt || key == Qt::Key_Control)
        return;
    VInputConnection &vinput = VInputConnection::instance();
    vinput.SendMouseOrKeyEvent(VInputKeyRelease, qtKeyToLinuxKey(event));
    if (isLetter(key) && capsLockOn(event))
        vinput.SendMouseOrKeyEvent(VInputKeyRelease, kLinuxLeftShift);
}

void AndroidTouchWidget::onTextChanged(const QString &text)
{
    if (text.isEmpty())
        return;
    VInputConnection::instance().sendInputText(text);
    m_inputEdit->clear();
}

void AndroidTouchWidget::onKeyboardStatusChanged()
{
    // Switches the key map of the package in the foreground on or off (when it has a switch).
    m_player->onKeyboardStatusChanged();
    TrayNotice::keyboardChanged();
}

void AndroidTouchWidget::onScreenCapNotify(const QString &fileName)
{
    if (!GuestFiles::isPictureName(fileName)) {
        qWarning().noquote() << ORV_LOG_ANDROID "screenshot answer without a picture name ignored";
        return;
    }
    qInfo().noquote() << ORV_LOG_ANDROID "screenshot " + fileName;
    ScreenshotNotice *shown = m_screenshotWidget;
    ScreenshotNotice *other = m_verticalScreenshotWidget;
    if (width() <= kWideNoticeMinWidth)
        std::swap(shown, other);
    other->hide();
    shown->setText(fileName);
    shown->setGeometry(QRect(mapToGlobal(QPoint(0, 0)), QSize(width(), shown->height())));
    shown->show();
}

AndroidTouchWidget::DroppedFiles AndroidTouchWidget::classifyDrop(const QMimeData *data)
{
    DroppedFiles files;
    if (!data || !data->hasFormat(QStringLiteral("text/uri-list")))
        return files;
    for (const QUrl &url : data->urls()) {
        if (!url.isLocalFile())
            continue;
        const QString path = url.toLocalFile();
        if (path.isEmpty())
            continue;
        if (GuestFiles::isPackageName(path))
            files.packages << path;
        else if (GuestFiles::isPictureName(path))
            files.images << path;
        else
            files.others << path;
    }
    return files;
}

void AndroidTouchWidget::dragEnterEvent(QDragEnterEvent *event)
{
    if (event->mimeData()->hasFormat(QStringLiteral("text/uri-list")))
        event->acceptProposedAction();
    else
        event->ignore();
}

void AndroidTouchWidget::dragMoveEvent(QDragMoveEvent *event)
{
    event->acceptProposedAction();
}

void AndroidTouchWidget::dropEvent(QDropEvent *event)
{
    if (!event->mimeData()->hasFormat(QStringLiteral("text/uri-list")))
        return;
    event->acceptProposedAction();
    const DroppedFiles files = classifyDrop(event->mimeData());
    qDebug().noquote() << QStringLiteral("AndroidTouchWidget : dropEvent -> ") +
                              files.packages.join(QLatin1Char(','));
    if (!files.packages.isEmpty())
        PavixConnection::instance().installAPKFromDrag(files.packages, 1);
    if (!files.images.isEmpty())
        VInputConnection::instance().copyFileFromDrag(files.images, GuestFiles::Image);
    if (!files.others.isEmpty())
        VInputConnection::instance().copyFileFromDrag(files.others, GuestFiles::Other);
}

void AndroidTouchWidget::focusInEvent(QFocusEvent *event)
{
    QWidget::focusInEvent(event);
    qDebug() << " android touch widget focus in";
    m_inputEdit->setFocus(Qt::OtherFocusReason);
}

void AndroidTouchWidget::paintEvent(QPaintEvent *)
{
    // Every pixel is painted (alpha 1, not 0), so the whole layer takes the input.
    QPainter painter(this);
    painter.fillRect(rect(), QColor(0, 0, 0, 1));
}
