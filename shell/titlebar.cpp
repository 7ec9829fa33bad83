#include "titlebar.h"

#include "commandline.h"
#include "datareportengine.h"
#include "funcbasedialog.h"
#include "global.h"
#include "orvwindow.h"
#include "reportevents.h"
#include "settingmodel.h"
#include "x11windowstate.h"

#include <QDebug>
#include <QLabel>
#include <QMouseEvent>
#include <QPushButton>
#include <QSettings>
#include <QWindow>

namespace {

// The buttons' pictures: the resource folder and the picture's name (its hover form adds "_hover").
const char *const kPicturePrefix = ":/images/";

TitleBar::OptionalCheckRunner optionalCheckRunner = nullptr;

const char *const kBarStyle = "QWidget{ background: #343841; }"
                              "QToolTip{ border: none; background-color: black; color: white; "
                              "border-radius: 3px; opacity: 200; }";
const char *const kLabelStyle = "height: 30px; background: transparent; color: #757f91; font: 14px ;";
const char *const kIconStyle = "height: 30px; border: none; background: transparent; ";
const char *const kButtonSheet =
    "QPushButton { width: %1px; height: 24px;  border:none; background: transparent url(%2.png) "
    "center no-repeat ; } QPushButton:hover {  background: %3 url(%2_hover.png) center no-repeat ; "
    "}QPushButton:pressed {  background-color: %4; padding:10px }";
// The installation key's switch for the red dot on the optional-check button.
const char *const kShowRedDotKey = "IsShowECRdDot";
// The feedback pop-up opens this far left of the window's right edge, under the bar.
constexpr int kMoreMenuLeft = 256;
constexpr int kBarHeight = 36;
// A press this close to the bar's top, left or right edge belongs to the window frame.
constexpr int kEdgeTop = 2;
constexpr int kEdgeLeft = 2;
constexpr int kEdgeRight = 3;

QSettings installationKey()
{
    return QSettings(QSettings::NativeFormat, QSettings::SystemScope, QStringLiteral("Halvora"),
                     QStringLiteral("Orvanta"));
}

} // namespace

void TitleBar::setOptionalCheckRunner(OptionalCheckRunner runner)
{
    optionalCheckRunner = runner;
}

TitleBar::TitleBar(QWidget *parent) : TitleBarBase(parent), m_host(parent)
{
    setObjectName(QStringLiteral("titlebar"));
    m_icon = new QPushButton(this);
    m_check = new QPushButton(this);
    m_more = new QPushButton(this);
    m_top = new QPushButton(this);
    m_setting = new QPushButton(this);
    m_systemInfo = new QPushButton(this);
    m_min = new QPushButton(this);
    m_max = new QPushButton(this);
    m_close = new QPushButton(this);
    m_title = new QLabel(this);
    m_fps = new QLabel(this);
    const struct
    {
        QWidget *widget;
        const char *name;
    } names[] = {{m_icon, "btn_icon"},     {m_check, "btn_check"},     {m_more, "btn_more"},
                 {m_top, "btn_top"},       {m_setting, "btn_setting"}, {m_systemInfo, "btn_systemInfo"},
                 {m_min, "btn_min"},       {m_max, "btn_max"},         {m_close, "btn_close"},
                 {m_title, "label_title"}, {m_fps, "label_fps"}};
    for (const auto &n : names) {
        n.widget->setObjectName(QLatin1String(n.name));
        n.widget->setFocusPolicy(Qt::NoFocus);
    }

    setAttribute(Qt::WA_StyledBackground);
    setStyleSheet(QLatin1String(kBarStyle));
    m_icon->setIcon(QIcon(QStringLiteral(":/images/Orv_ICON.ico")));
    m_icon->setStyleSheet(QLatin1String(kIconStyle));
    m_icon->adjustSize();
    m_iconWidth = m_icon->width();
    m_title->setStyleSheet(QLatin1String(kLabelStyle));
    m_fps->setStyleSheet(QLatin1String(kLabelStyle));

    setButtonStyle(m_check, QStringLiteral("title_vt_graphics"), false, m_curButtonWidth);
    setButtonStyle(m_close, QStringLiteral("title_close"), true, m_curButtonWidth);
    setButtonStyle(m_max, QStringLiteral("title_max"), false, m_curButtonWidth);
    setButtonStyle(m_min, QStringLiteral("title_min"), false, m_curButtonWidth);
    setButtonStyle(m_top, QStringLiteral("title_not_top"), false, m_curButtonWidth);
    setButtonStyle(m_setting, QStringLiteral("title_setting"), false, m_curButtonWidth);
    setButtonStyle(m_systemInfo, QStringLiteral("title_systemInfo"), false, m_curButtonWidth);
    setButtonStyle(m_more, QStringLiteral("title_more"), false, m_curButtonWidth);
    m_fps->setText(QStringLiteral("FPS:00"));
    m_fps->setAttribute(Qt::WA_TransparentForMouseEvents);
    m_fps->hide();

    // The natural layout, from the widgets' sizes now; later titles do not change it.
    m_checkWidth = m_check->width();
    m_titleWidth = m_title->width();
    m_rightWidth = m_fps->width() + 6 * m_buttonWidth + 10;
    m_leftWidth = m_iconWidth + m_titleWidth + m_checkWidth + 30;
    m_totalWidth = m_leftWidth + m_rightWidth;
    m_curRightWidth = m_rightWidth;
    m_curLeftWidth = m_leftWidth;

    connect(m_check, &QPushButton::clicked, this, &TitleBar::on_title_vt_click);
    connect(m_more, &QPushButton::clicked, this, &TitleBar::on_title_more_click);
    connect(m_setting, &QPushButton::clicked, this, &TitleBar::title_setting_click);
    connect(m_systemInfo, &QPushButton::clicked, this, &TitleBar::title_systemInfo_click);
    connect(m_top, &QPushButton::clicked, this, &TitleBar::on_title_top_click);
    connect(m_min, &QPushButton::clicked, this, &TitleBar::on_title_min_click);
    connect(m_max, &QPushButton::clicked, this, &TitleBar::on_title_max_click);
    // title_close_click goes out before the window closes; the window's close handling decides.
    connect(m_close, &QPushButton::clicked, this, &TitleBar::title_close_click);
    connect(m_close, &QPushButton::clicked, this, [this] {
        if (m_host)
            m_host->close();
    });

    m_check->hide();
    m_check->setToolTip(tr("TitleBar_Vt"));
    m_more->setToolTip(tr("TitleBar_More"));
    m_top->setToolTip(tr("TitleBar_Top"));
    m_setting->setToolTip(tr("TitleBar_Setting"));
    m_systemInfo->setToolTip(tr("TitleBar_SystemInfo"));
    m_min->setToolTip(tr("TitleBar_Min"));
    m_max->setToolTip(tr("TitleBar_Max"));
    m_close->setToolTip(tr("TitleBar_Close"));
    setMouseTracking(true);
}

void TitleBar::setButtonStyle(QPushButton *button, const QString &picture, bool isClose, int width)
{
    button->setStyleSheet(QString::fromLatin1(kButtonSheet)
                              .arg(width)
                              .arg(QLatin1String(kPicturePrefix) + picture)
                              .arg(QLatin1String(isClose ? "#f7462a" : "#27282d"))
                              .arg(QLatin1String(isClose ? "#c5472e" : "#262523")));
    button->setMouseTracking(true);
    button->adjustSize();
}

void TitleBar::setTitle()
{
    // The title comes from outside (the command line): shown as plain text.
    m_title->setTextFormat(Qt::PlainText);
    m_fullTitle = QString();
    m_title->setToolTip(QString());
    m_title->setText(CommandLine::title);
    m_title->adjustSize();
    m_titleWidth = m_title->width();
    layoutBar();
}

void TitleBar::setWindowKind(int kind)
{
    m_windowKind = kind;
    if (kind == 1 && SettingModel::instance()->performance()->isShowFps())
        m_fps->show();
}

void TitleBar::setFpsVisible(bool visible)
{
    m_fps->setVisible(visible);
}

void TitleBar::setFps(int fps)
{
    m_fps->setText(QStringLiteral("FPS:%1").arg(fps));
}

void TitleBar::updateMaxButton()
{
    setButtonStyle(m_max, QLatin1String(windowMaximizedFlag ? "title_small" : "title_max"), false,
                   m_curButtonWidth);
    // Restyling resizes the button; it keeps its place in the bar.
    layoutBar();
}

void TitleBar::updateCheckRedDot()
{
    if (Global::systemInfo.optionalChecksPassed) {
        if (m_redDot)
            m_redDot->hide();
        m_check->hide();
        layoutBar();
        return;
    }
    if (installationKey().value(QLatin1String(kShowRedDotKey), true).toBool()) {
        if (!m_redDot) {
            m_redDot = new QLabel(m_check);
            m_redDot->setObjectName(QStringLiteral("label_red_dot"));
            m_redDot->setFixedSize(6, 6);
            m_redDot->setStyleSheet(QStringLiteral("background-color: #f14c2e; border-radius: 3px;"));
            m_redDot->move(20, 4);
        }
        m_redDot->show();
    }
    m_check->show();
    layoutBar();
}

void TitleBar::on_title_min_click()
{
    if (m_host)
        m_host->showMinimized();
}

void TitleBar::on_title_max_click()
{
    if (m_windowKind == 0) {
        emit showDialogFree(tr("app_starting"), DialogType::Message, nullptr, QStringLiteral("0"));
        return;
    }
    if (windowMaximizedFlag)
        emit window_normal();
    else
        emit window_max();
    updateMaxButton();
}

void TitleBar::on_title_more_click()
{
    if (!m_host)
        return;
    const int x = m_host->x() + m_host->width() - kMoreMenuLeft;
    const int y = m_host->y() + kBarHeight;
    emit showDialogFree(QStringLiteral("%1|%2").arg(x).arg(y), DialogType::FeedbackMenu, nullptr,
                        QStringLiteral("0"));
}

void TitleBar::on_title_top_click()
{
    stayOnTopFlag = !stayOnTopFlag;
    // The window manager keeps the window (and what goes with it, such as the side bar) above the others
    // (_NET_WM_STATE_ABOVE). A window flag would make the native window anew, and with it lose what
    // others had bound to it (the render library's picture).
    if (auto *window = qobject_cast<OrvWindow *>(m_host))
        window->applyStayOnTop();
    else if (m_host && m_host->windowHandle())
        X11WindowState::setKeptAbove(m_host->winId(), stayOnTopFlag);
    if (stayOnTopFlag) {
        setButtonStyle(m_top, QStringLiteral("title_top"), false, m_curButtonWidth);
        m_top->setToolTip(tr("TitleBar_No_Top"));
    } else {
        setButtonStyle(m_top, QStringLiteral("title_not_top"), false, m_curButtonWidth);
        m_top->setToolTip(tr("TitleBar_Top"));
    }
    layoutBar();
    DataReportEngine::report(ReportEvent::StayOnTop);
}

void TitleBar::on_title_vt_click()
{
    if (m_redDot)
        m_redDot->hide();
    {
        QSettings key = installationKey();
        key.setValue(QLatin1String(kShowRedDotKey), false);
    }
    DataReportEngine::report(ReportEvent::OptionalChecksAgain, QStringLiteral("source"), QStringLiteral("0"));
    if (!optionalCheckRunner) {
        qWarning() << "TitleBar   : no optional checks installed";
        return;
    }
    if (optionalCheckRunner(this))
        updateCheckRedDot();
}

bool TitleBar::isDragPoint(const QPoint &pos) const
{
    return pos.y() > kEdgeTop && pos.x() > kEdgeLeft && pos.x() < width() - kEdgeRight &&
           !windowMaximizedFlag && !fullScreenFlag;
}

void TitleBar::mousePressEvent(QMouseEvent *event)
{
    if (event->button() != Qt::LeftButton || !isDragPoint(event->pos()) || !m_host) {
        QWidget::mousePressEvent(event);
        return;
    }
    // The window follows the pointer until the button is let go. (The window manager's move loop, as
    // QWindow::startSystemMove asks for it, starts from the pointer's last position known to Qt, which
    // is not where this press is: the window would jump by the press's offset in the bar.)
    m_dragging = true;
    m_pressGlobal = event->globalPos();
    // Where the window really stands: after a window manager placed it, the toolkit's own idea of the
    // position may lag behind, and the first drag would jump by the difference.
    QWidget *window = m_host->window();
    m_pressWindowPos = window->pos();
    QPoint real;
    if (window->windowHandle() && X11WindowState::rootPosition(window->winId(), &real))
        m_pressWindowPos = real;
    event->ignore();
}

void TitleBar::mouseMoveEvent(QMouseEvent *event)
{
    if (m_dragging && (event->buttons() & Qt::LeftButton)) {
        m_host->window()->move(m_pressWindowPos + event->globalPos() - m_pressGlobal);
        return;
    }
    QWidget::mouseMoveEvent(event);
}

void TitleBar::mouseReleaseEvent(QMouseEvent *event)
{
    if (m_dragging && event->button() == Qt::LeftButton) {
        m_dragging = false;
        return;
    }
    QWidget::mouseReleaseEvent(event);
}

void TitleBar::mouseDoubleClickEvent(QMouseEvent *event)
{
    // A double click on the bar of the Android window switches it as the maximise button does.
    if (event->button() == Qt::LeftButton && m_windowKind == 1 && event->pos().y() > kEdgeTop &&
        event->pos().x() > kEdgeLeft && event->pos().x() < width() - kEdgeRight && !fullScreenFlag) {
        m_dragging = false;
        on_title_max_click();
        return;
    }
    QWidget::mouseDoubleClickEvent(event);
}

void TitleBar::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    layoutBar();
}

void TitleBar::layoutBar()
{
    const int w = width();
    int iconWidth = m_iconWidth;
    int titleWidth = m_titleWidth;
    int checkWidth = m_checkWidth;
    if (w >= m_totalWidth || m_totalWidth <= 0) {
        m_curRightWidth = m_rightWidth;
        m_curRightGap = m_rightGap;
        m_curLeftWidth = m_leftWidth;
        m_curLeftMargin = m_leftMargin;
        m_curButtonWidth = m_buttonWidth;
    } else {
        m_curLeftWidth = w * m_leftWidth / m_totalWidth;
        m_curRightWidth = w * m_rightWidth / m_totalWidth;
        m_curButtonWidth = m_buttonWidth * m_curRightWidth / m_rightWidth;
        m_curRightGap = m_rightGap * m_curRightWidth / m_rightWidth;
        m_curLeftMargin = m_leftMargin * m_curLeftWidth / m_leftWidth;
        iconWidth = iconWidth * m_curLeftWidth / m_leftWidth;
        titleWidth = titleWidth * m_curLeftWidth / m_leftWidth;
        checkWidth = checkWidth * m_curLeftWidth / m_leftWidth;
    }
    const int bw = m_curButtonWidth;
    const int y = 7;
    m_close->setGeometry(w - bw - 5, y, bw, m_buttonHeight);
    m_max->setGeometry(m_close->x() - bw, y, bw, m_buttonHeight);
    m_min->setGeometry(m_max->x() - bw, y, bw, m_buttonHeight);
    m_top->setGeometry(m_min->x() - bw - m_curRightGap, y, bw, m_buttonHeight);
    m_setting->setGeometry(m_top->x() - bw, y, bw, m_buttonHeight);
    m_systemInfo->setGeometry(m_setting->x() - bw, y, bw, m_buttonHeight);
    m_more->setGeometry(m_systemInfo->x() - bw, y, bw, m_buttonHeight);
    m_fps->setGeometry(w - m_curRightWidth, 6, m_top->x() - (w - m_curRightWidth), m_buttonHeight);

    // The title keeps the width of its text while there is room left of the buttons (and of the check
    // button, when shown); it never shrinks with the bar's proportions, which would cut words. Where
    // even that room is too small, the title ends in "..." and the whole text is its tip.
    m_icon->setGeometry(m_curLeftMargin, 0, iconWidth, m_labelHeight);
    const int titleX = m_icon->x() + m_curLeftMargin + iconWidth;
    const int checkRoom = m_check->isVisibleTo(this) ? checkWidth + m_curLeftMargin : 0;
    const int room = qMax(0, m_more->x() - m_curLeftMargin - checkRoom - titleX);
    const QString full = m_fullTitle.isNull() ? m_title->text() : m_fullTitle;
    const int needed = m_title->fontMetrics().horizontalAdvance(full) + 2 * m_title->margin();
    titleWidth = qMin(qMax(titleWidth, needed), room);
    if (needed > titleWidth) {
        m_fullTitle = full;
        m_title->setText(m_title->fontMetrics().elidedText(full, Qt::ElideRight, titleWidth));
        m_title->setToolTip(full);
    } else if (!m_fullTitle.isNull()) {
        m_title->setText(m_fullTitle);
        m_title->setToolTip(QString());
        m_fullTitle = QString();
    }
    m_title->setGeometry(titleX, 0, titleWidth, m_labelHeight);
    m_check->setGeometry(m_title->x() + m_curLeftMargin + titleWidth, 7, checkWidth, m_buttonHeight);
}
