#include "androidcontrol.h"

#include <QDebug>

AndroidControl::AndroidControl(QObject *parent) : QObject(parent)
{
    registerDialogType();
    connect(&m_window, &OrvWindow::quitApp, this, &AndroidControl::quitApp, Qt::QueuedConnection);
    connect(&m_window, &AndroidWindow::scheduleChanged, this, &AndroidControl::scheduleChanged);
    connect(&m_window, &AndroidWindow::showDialog, this, &AndroidControl::showDialog);
    connect(&m_window, &AndroidWindow::bosskey_click, this, &AndroidControl::bosskey_click);
}

void AndroidControl::showAndroid(QPoint point)
{
    qDebug() << " android control " << point;
    m_window.move(point);
    m_window.show();
}

void AndroidControl::init()
{
    m_window.init();
}

void AndroidControl::stopRender()
{
    m_window.stopRender();
}
