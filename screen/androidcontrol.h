#pragma once

#include "androidwindow.h"
#include "dialogtype.h"

#include <QObject>
#include <QPoint>

// The Android screen's controller as the program's main controller sees it: it owns the Android
// window, relays the window's requests outward and the controller's requests inward.
class AndroidControl : public QObject
{
    Q_OBJECT

public:
    explicit AndroidControl(QObject *parent = nullptr);

    AndroidWindow *androidWindow() { return &m_window; }
    void stopRender();

signals:
    void scheduleChanged(int start, int end);
    void quitApp(bool isNeedReboot = false);
    void showDialog(QString msg, DialogType type, QWidget *parent = nullptr,
                    QString from = QStringLiteral(""));
    void bosskey_click(QString from);

public slots:
    // Places the window at `point` and shows it.
    void showAndroid(QPoint point);
    void init();

private:
    AndroidWindow m_window;
};
