#include "traytool.h"

#include "global.h"

#include <QAction>
#include <QDebug>

namespace {
// The entries are at least 114 pixels wide and as wide as their texts need: the English texts are
// longer than a fixed width would show.
const char *const kMenuStyle =
    "QMenu { background-color: white; font-size: 12; margin: 0; height: 165; min-width: 114;}\n"
    "QMenu::item { background-color: white; color: black; height: 35; min-width: 114; margin-top: 5;  "
    "padding-left: 10; padding-right: 10; }\nQMenu::item:selected { background-color: #00a8ff; color: "
    "white; }\n";
} // namespace

TrayTool::TrayTool(QWidget *parent) : QMenu(parent)
{
    setObjectName(QStringLiteral("TrayMenu"));
    m_keyboard = new QAction(tr("Tray_Keyboard"), this);
    m_setting = new QAction(tr("Tray_Setting"), this);
    m_status = new QAction(tr("Tray_Status"), this);
    m_quit = new QAction(tr("Tray_Quit"), this);
    m_keyboard->setObjectName(QStringLiteral("action_keyboard"));
    m_setting->setObjectName(QStringLiteral("action_setting"));
    m_status->setObjectName(QStringLiteral("action_status"));
    m_quit->setObjectName(QStringLiteral("action_quit"));
    addAction(m_keyboard);
    addAction(m_status);
    addAction(m_setting);
    addAction(m_quit);
    setStyleSheet(QLatin1String(kMenuStyle));

    m_icon = new QSystemTrayIcon(this);
    m_icon->setIcon(QIcon(QStringLiteral(":/images/Orv_ICON")));
    m_icon->setContextMenu(this);
    m_icon->setVisible(true);
    if (!QSystemTrayIcon::isSystemTrayAvailable())
        qInfo() << "Tray       : no notification area; balloons go to the log";

    connect(m_keyboard, &QAction::triggered, this, &TrayTool::tray_keyboard_click);
    connect(m_setting, &QAction::triggered, this, [this] { emit tray_setting_click(QStringLiteral("1")); });
    connect(m_status, &QAction::triggered, this, [this] { emit tray_status_click(QStringLiteral("1")); });
    connect(m_quit, &QAction::triggered, this, &TrayTool::tray_quit_click);
    connect(m_icon, &QSystemTrayIcon::activated, this, &TrayTool::iconIsActived);

    TrayNotice::setInstance(this);
    showMessage(tr("tray_start_up"));
}

TrayTool::~TrayTool()
{
    qDebug() << "TrayTool : destory";
    if (TrayNotice::instance() == this)
        TrayNotice::setInstance(nullptr);
}

void TrayTool::showMessage(QString data)
{
    const QString title = tr("Orvanta");
    // The log keeps every balloon: where no notification area runs it is the only trace.
    qInfo().noquote() << QStringLiteral("Tray       : balloon: ") + data;
    m_icon->showMessage(title, data, QSystemTrayIcon::Information, kBalloonMs);
    emit balloonShown(title, data);
}

void TrayTool::iconIsActived(QSystemTrayIcon::ActivationReason reason)
{
    if (reason == QSystemTrayIcon::DoubleClick)
        emit tray_icon_click();
}

void TrayTool::updateKeyboardAction()
{
    m_keyboard->setText(Global::isKeyMapEnabled() ? tr("Tray_Keyboard_Hide") : tr("Tray_Keyboard_Show"));
}

void TrayTool::updateStatusAction(bool shown)
{
    m_status->setText(shown ? tr("tray_show") : tr("tray_hide"));
}

void TrayTool::hideIcon()
{
    m_icon->hide();
}
