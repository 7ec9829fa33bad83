#pragma once

#include "traynotice.h"

#include <QMenu>
#include <QSystemTrayIcon>

class QAction;

// The program's icon in the notification area for its whole run, and at the same time the icon's
// context menu: switch key mapping, open the settings, show or hide the window, quit. A double click
// brings the window back; the balloon tells the user things while the window may be hidden. Without a
// notification area the icon is not shown and every balloon goes to the log.
class TrayTool : public QMenu, public TrayNotice
{
    Q_OBJECT

public:
    static constexpr int kBalloonMs = 10000;

    explicit TrayTool(QWidget *parent = nullptr);
    ~TrayTool() override;

    void updateKeyboardAction() override;
    void updateStatusAction(bool shown) override;
    void hideIcon() override;

    QSystemTrayIcon *icon() const { return m_icon; }
    QAction *keyboardAction() const { return m_keyboard; }
    QAction *settingAction() const { return m_setting; }
    QAction *statusAction() const { return m_status; }
    QAction *quitAction() const { return m_quit; }

signals:
    void tray_keyboard_click();
    void tray_setting_click(QString from);
    void tray_status_click(QString from);
    void tray_quit_click();
    void tray_icon_click();
    // Every balloon as it was asked for (title and text), also where no notification area shows it.
    void balloonShown(QString title, QString text);

public slots:
    void showMessage(QString data) override;
    void iconIsActived(QSystemTrayIcon::ActivationReason reason);

private:
    QAction *m_keyboard;
    QAction *m_setting;
    QAction *m_status;
    QAction *m_quit;
    QSystemTrayIcon *m_icon;
};
