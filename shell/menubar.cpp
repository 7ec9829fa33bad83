#include "menubar.h"

#include "funcbasedialog.h"
#include "global.h"
#include "orvmenu.h"
#include "scripttoptooltip.h"
#include "settingmodel.h"
#include "titlebarbase.h"
#include "voiceslider.h"

#include <QAction>
#include <QContextMenuEvent>
#include <QCursor>
#include <QDesktopServices>
#include <QPainter>
#include <QPushButton>
#include <QSettings>
#include <QSlider>
#include <QUrl>
#include <QWidgetAction>

namespace {

// The buttons' pictures: the resource folder and the picture's name (its hover form adds "_hover").
const char *const kPicturePrefix = ":/images/";

MenuBar::OpacitySliderFactory opacitySliderFactory = nullptr;
MenuBar::OpacitySliderSetter opacitySliderSetter = nullptr;

const char *const kBarStyle = "QWidget{ background: #2e323b; }"
                              "QToolTip{ border: none; background-color: black; color: white; "
                              "border-radius: 3px; opacity: 200; }";
const char *const kButtonSheet =
    "QPushButton { width: %1px; height: 35px;  border:none;  background: transparent url(%2.png) "
    "center no-repeat ; } QPushButton:hover {  background: #27282d url(%2.png) center no-repeat ; "
    "}QPushButton:pressed {  background-color: #262523; padding-top:10px }";
const char *const kBottomButtonSheet =
    "QPushButton { width:%1px; height: 40px;  border:none;  background: transparent url(%2.png) "
    "center no-repeat ; } QPushButton:hover {  background: #27282d url(%2.png) center no-repeat ; "
    "}QPushButton:pressed {  background-color: #262523; padding-top:10px }";
const char *const kMenuStyle =
    "QMenu{ border: 1px solid #111518; background: #3a3f49; color: #7a7d8d; font: 16px \"微软雅黑\"; }"
    "QMenu::item{ height: 56px; padding-left: 24px; padding-right: 60px; }"
    "QMenu::item:selected{ background: #33373f; }"
    "QMenu::separator{ height: 1px; background: #111518; }";
constexpr int kScriptTipMs = 3000;
constexpr int kDefaultOpacity = 50;
constexpr int kDefaultVolume = 5;

} // namespace

void MenuBar::setOpacitySliderFactory(OpacitySliderFactory factory, OpacitySliderSetter setter)
{
    opacitySliderFactory = factory;
    opacitySliderSetter = setter;
}

QString MenuBar::volumeCommand(int volume)
{
    return QStringLiteral("am broadcast -a com.corvel.MusicVolumeReceiver --ei VOLUME %1").arg(volume);
}

MenuBar::MenuBar(QWidget *parent) : MenuBarBase(parent), m_host(parent)
{
    setWindowFlags(Qt::Tool | Qt::FramelessWindowHint);
    setObjectName(QStringLiteral("MenuBar"));
    const struct
    {
        QPushButton **button;
        const char *name;
    } buttons[] = {{&m_full, "btn_full"},
                   {&m_keyboard, "btn_keyboard"},
                   {&m_install, "btn_install"},
                   {&m_script, "btn_script"},
                   {&m_multiPlayer, "btn_multi_player"},
                   {&m_virtualLocation, "btn_virtual_location"},
                   {&m_screenshot, "btn_screenshot"},
                   {&m_shake, "btn_shake"},
                   {&m_share, "btn_share"},
                   {&m_voice, "btn_voice"},
                   {&m_return, "btn_return"},
                   {&m_home, "btn_home"},
                   {&m_task, "btn_task"}};
    for (const auto &b : buttons) {
        *b.button = new QPushButton(this);
        (*b.button)->setObjectName(QLatin1String(b.name));
        (*b.button)->setFocusPolicy(Qt::NoFocus);
    }
    m_scriptTooltip = new ScriptTopTooltip(this);
    resize(m_barWidth, 720);
    setAttribute(Qt::WA_StyledBackground);
    setStyleSheet(QLatin1String(kBarStyle));

    setButtonStyle(m_full, QStringLiteral("menu_full"));
    setButtonStyle(m_keyboard, QStringLiteral("menu_keyboard_off"));
    setButtonStyle(m_install, QStringLiteral("menu_install_apk"));
    setButtonStyle(m_script, QStringLiteral("menu_script_off"));
    setButtonStyle(m_multiPlayer, QStringLiteral("menu_multi_player"));
    setButtonStyle(m_virtualLocation, QStringLiteral("menu_virtual_location"));
    setButtonStyle(m_screenshot, QStringLiteral("menu_screenshot"));
    setButtonStyle(m_shake, QStringLiteral("menu_shake"));
    setButtonStyle(m_share, QStringLiteral("menu_share"));
    setButtonStyle(m_voice, QStringLiteral("menu_voice"));
    setBottomButtonStyle(m_return, QStringLiteral("menu_return"));
    setBottomButtonStyle(m_home, QStringLiteral("menu_home"));
    setBottomButtonStyle(m_task, QStringLiteral("menu_task"));

    connect(m_full, &QPushButton::clicked, this, &MenuBar::menu_full_click);
    connect(m_keyboard, &QPushButton::clicked, this, &MenuBar::menu_keyboard_click);
    connect(m_install, &QPushButton::clicked, this, &MenuBar::menu_install_apk_click);
    connect(m_script, &QPushButton::clicked, this, &MenuBar::menu_stop_script_click);
    connect(m_script, &QPushButton::clicked, this, &MenuBar::menuStopScriptClick);
    connect(m_multiPlayer, &QPushButton::clicked, this, &MenuBar::menu_multi_player_click);
    connect(m_virtualLocation, &QPushButton::clicked, this, &MenuBar::menu_virtual_location_click);
    connect(m_screenshot, &QPushButton::clicked, this, &MenuBar::menu_screenshot_click);
    connect(m_shake, &QPushButton::clicked, this, &MenuBar::menu_shake_click);
    connect(m_share, &QPushButton::clicked, this, &MenuBar::menu_share_folder_click);
    connect(m_voice, &QPushButton::clicked, this, &MenuBar::menuVoiceClick);
    connect(m_return, &QPushButton::clicked, this, [this] { emit menu_return_click(QStringLiteral("0")); });
    connect(m_home, &QPushButton::clicked, this, [this] { emit menu_home_click(QStringLiteral("0")); });
    connect(m_task, &QPushButton::clicked, this, [this] { emit menu_task_click(QStringLiteral("0")); });

    buildKeyboardMenu();
    buildScreenshotMenu();
    buildVoiceMenu();

    m_full->setToolTip(tr("MenuBar_Full"));
    m_keyboard->setToolTip(tr("MenuBar_Keyboard_Off"));
    m_install->setToolTip(tr("MenuBar_Install_apk"));
    m_script->setToolTip(tr("MenuBar_Stop_Script"));
    m_multiPlayer->setToolTip(tr("MenuBar_Multi_Player"));
    m_virtualLocation->setToolTip(tr("MenuBar_Virtual_Location"));
    m_screenshot->setToolTip(tr("MenuBar_ScreenShot"));
    m_shake->setToolTip(tr("MenuBar_Shake"));
    m_share->setToolTip(tr("MenuBar_Share"));
    m_voice->setToolTip(tr("MenuBar_voice"));
    m_return->setToolTip(tr("MenuBar_Return"));
    m_home->setToolTip(tr("MenuBar_Home"));
    m_task->setToolTip(tr("MenuBar_Task"));
    layoutBar();
}

void MenuBar::setButtonStyle(QPushButton *button, const QString &picture)
{
    button->resize(m_barWidth - 5, m_buttonHeight);
    button->setStyleSheet(
        QString::fromLatin1(kButtonSheet).arg(m_barWidth - 5).arg(QLatin1String(kPicturePrefix) + picture));
}

void MenuBar::setBottomButtonStyle(QPushButton *button, const QString &picture)
{
    button->resize(m_barWidth - 2, m_bottomButtonHeight);
    button->setStyleSheet(QString::fromLatin1(kBottomButtonSheet)
                              .arg(m_barWidth - 2)
                              .arg(QLatin1String(kPicturePrefix) + picture));
}

int MenuBar::keyMapState()
{
    const QMutexLocker lock(&Global::keyMapMutex);
    const auto it = Global::keyMapEnabledMap.constFind(Global::currentPackage);
    if (it == Global::keyMapEnabledMap.constEnd())
        return -1;
    return it.value() ? 1 : 0;
}

void MenuBar::buildKeyboardMenu()
{
    m_keyboardMenu = new OrvMenu(m_keyboard);
    m_keyboardMenu->setObjectName(QStringLiteral("KeyboardMenu"));
    m_keyboardMenu->setStyleSheet(QLatin1String(kMenuStyle));
    m_keyMapAction = new QAction(keyMapState() == 1 ? tr("close keyMap") : tr("open keyMap"), m_keyboardMenu);
    m_keyMapAction->setObjectName(QStringLiteral("action_keymap"));
    connect(m_keyMapAction, &QAction::triggered, this, &MenuBar::openKeyMapActionTriggered);
    m_keyboardMenu->addAction(m_keyMapAction);
    m_keyboardMenu->addSeparator();
    auto *opacityMenu = new QMenu(tr("set Opacity"), m_keyboardMenu);
    opacityMenu->setObjectName(QStringLiteral("OpacityMenu"));
    if (opacitySliderFactory && opacitySliderSetter) {
        m_opacitySlider = opacitySliderFactory(m_keyboardMenu);
    } else {
        auto *slider = new QSlider(Qt::Vertical, m_keyboardMenu);
        slider->setRange(0, 99);
        slider->setFixedSize(35, 140);
        m_opacitySlider = slider;
    }
    m_opacitySlider->setObjectName(QStringLiteral("opacitySlider"));
    int opacity = kDefaultOpacity;
    {
        const QMutexLocker lock(&Global::keyMapMutex);
        opacity = Global::keyMapOpacityMap.value(Global::currentPackage, kDefaultOpacity);
    }
    opacityValueChangedSlot(opacity);
    // The slider may be another feature's class: joined by its signal's name.
    connect(m_opacitySlider, SIGNAL(sliderMoved(int)), this, SLOT(opacitySliderMovedSlot(int)));
    auto *action = new QWidgetAction(opacityMenu);
    action->setDefaultWidget(m_opacitySlider);
    opacityMenu->addAction(action);
    m_keyboardMenu->addMenu(opacityMenu);
    m_keyboard->installEventFilter(this);
}

void MenuBar::buildScreenshotMenu()
{
    m_screenshotMenu = new OrvMenu(m_screenshot);
    m_screenshotMenu->setObjectName(QStringLiteral("screenshotMenu"));
    m_screenshotMenu->setStyleSheet(QLatin1String(kMenuStyle));
    QAction *open = m_screenshotMenu->addAction(tr("open folder"));
    open->setObjectName(QStringLiteral("action_open_folder"));
    connect(open, &QAction::triggered, this, &MenuBar::openFolderActionTriggered);
    m_screenshot->installEventFilter(this);
}

void MenuBar::buildVoiceMenu()
{
    m_voiceMenu = new OrvMenu(m_voice);
    m_voiceMenu->setObjectName(QStringLiteral("voiceMenu"));
    m_voiceMenu->setStyleSheet(QStringLiteral("QMenu{ border: 1px solid #111518; }"));
    m_voiceSlider = new VoiceSlider(m_voiceMenu);
    connect(m_voiceSlider, &VoiceSlider::sliderReleased, this, &MenuBar::voiceSliderReleasedSlot);
    auto *action = new QWidgetAction(m_voiceMenu);
    action->setDefaultWidget(m_voiceSlider);
    m_voiceMenu->addAction(action);
    const QSettings file(SettingModel::filePath(), QSettings::IniFormat);
    m_voiceSlider->setValue(SettingModel::readInt(file, QLatin1String(SettingKeys::kVolume), kDefaultVolume));
}

bool MenuBar::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::ContextMenu) {
        if (watched == m_keyboard) {
            m_keyboardMenu->exec(QCursor::pos());
            return true;
        }
        if (watched == m_screenshot) {
            m_screenshotMenu->exec(QCursor::pos());
            return true;
        }
    }
    return false;
}

void MenuBar::menuVoiceClick()
{
    m_voiceMenu->exec(QCursor::pos());
}

void MenuBar::voiceSliderReleasedSlot(int value)
{
    emit guestShellCommand(volumeCommand(value));
    SettingModel::instance()->setVolume(value);
    SettingModel::writeValue(QLatin1String(SettingKeys::kVolume), value);
}

void MenuBar::openKeyMapActionTriggered(bool)
{
    const int state = keyMapState();
    if (state < 0)
        return;
    emit triggereKeyMap(state == 0);
}

void MenuBar::keyboardStatusChangedSlot()
{
    const int state = keyMapState();
    if (state >= 0 && !m_keyboardMenu->actions().isEmpty()) {
        if (state == 1) {
            setButtonStyle(m_keyboard, QStringLiteral("menu_keyboard_on"));
            m_keyboard->setToolTip(tr("MenuBar_Keyboard_On"));
            m_keyMapAction->setText(tr("close keyMap"));
        } else {
            setButtonStyle(m_keyboard, QStringLiteral("menu_keyboard_off"));
            m_keyboard->setToolTip(tr("MenuBar_Keyboard_Off"));
            m_keyMapAction->setText(tr("open keyMap"));
        }
    } else if (!m_keyboardMenu->actions().isEmpty()) {
        setButtonStyle(m_keyboard, QStringLiteral("menu_keyboard_off"));
        m_keyMapAction->setText(tr("open keyMap"));
    }
    m_keyboard->move(1, m_full->y() + m_curGap + m_curButtonHeight);
    m_keyboard->resize(m_barWidth - 2, m_curButtonHeight);
}

void MenuBar::opacitySliderMovedSlot(int value)
{
    emit opacitySliderMoved(value);
}

void MenuBar::opacityValueChangedSlot(int value)
{
    if (!m_opacitySlider)
        return;
    const QSignalBlocker block(m_opacitySlider);
    if (auto *plain = qobject_cast<QSlider *>(m_opacitySlider))
        plain->setValue(value);
    else if (opacitySliderSetter)
        opacitySliderSetter(m_opacitySlider, value);
}

void MenuBar::openFolderActionTriggered(bool)
{
    // A "#" or "?" in the folder's path stays part of the path.
    QDesktopServices::openUrl(QUrl::fromLocalFile(Global::imagePath));
}

void MenuBar::setScriptRunning(bool running)
{
    m_scriptRunning = running;
    setButtonStyle(m_script, QLatin1String(running ? "menu_script_on" : "menu_script_off"));
    // Restyling gives the button its natural size; it keeps the size and place of the current layout.
    layoutBar();
    SettingModel *model = SettingModel::instance();
    if (!model->isScriptFirstRun())
        return;
    model->setScriptFirstRun(false);
    SettingModel::writeValue(QLatin1String(SettingKeys::kScriptFirstRun), false);
    if (!fullScreenFlag)
        m_scriptTooltip->showAt(
            mapToGlobal(QPoint(m_script->x() - 8, m_script->y() + m_curButtonHeight - 15)), kScriptTipMs);
}

void MenuBar::menuStopScriptClick()
{
    // The picture only follows the guest's script state; a click while no script runs changes the
    // stored value and no picture (the next state message puts it right).
    m_scriptRunning = !m_scriptRunning;
    if (!m_scriptRunning)
        setScriptRunning(false);
}

void MenuBar::showScriptTopTooltip()
{
    m_scriptTooltip->showAt(mapToGlobal(QPoint(m_script->x() - 10, m_script->y() + m_curButtonHeight - 18)),
                            kScriptTipMs);
}

void MenuBar::setBarHeight(int height)
{
    resize(m_barWidth, height);
    // A hidden bar gets its resize event only when shown; its buttons are placed now.
    layoutBar();
}

void MenuBar::resizeEvent(QResizeEvent *event)
{
    MenuBarBase::resizeEvent(event);
    layoutBar();
}

void MenuBar::layoutBar()
{
    const int h = height();
    if (h >= m_naturalHeight) {
        m_curTopBlock = m_topBlock;
        m_curBottomBlock = m_bottomBlock;
        m_curGap = m_gap;
        m_curButtonHeight = m_buttonHeight;
    } else {
        m_curTopBlock = h * m_topBlock / m_naturalHeight;
        m_curBottomBlock = h * m_bottomBlock / m_naturalHeight;
        m_curGap = m_gap * m_curTopBlock / m_topBlock;
        m_curButtonHeight = static_cast<int>((m_curTopBlock - m_curGap) / 10.0 - m_curGap);
    }
    m_bottomStep = static_cast<int>(m_curBottomBlock / 3.0);
    QPushButton *column[] = {m_full,       m_keyboard, m_install, m_script, m_multiPlayer, m_virtualLocation,
                             m_screenshot, m_shake,    m_share,   m_voice};
    int y = 2 * m_curGap;
    for (QPushButton *button : column) {
        button->setGeometry(1, y, m_barWidth - 5, m_curButtonHeight);
        y += m_curButtonHeight + m_curGap;
    }
    m_return->move(1, h - m_curBottomBlock);
    m_home->move(1, m_return->y() + m_bottomStep);
    m_task->move(1, m_home->y() + m_bottomStep);
}

void MenuBar::paintEvent(QPaintEvent *event)
{
    MenuBarBase::paintEvent(event);
    if (windowMaximizedFlag || fullScreenFlag)
        return;
    QPainter painter(this);
    painter.setPen(QPen(QColor(21, 21, 24), 2.0, Qt::SolidLine, Qt::SquareCap, Qt::BevelJoin));
    const int w = width();
    const int h = height();
    painter.drawLine(1, 1, w - 1, 1);
    painter.drawLine(w - 1, 0, w - 1, h);
    painter.drawLine(0, h - 1, w - 1, h - 1);
}
