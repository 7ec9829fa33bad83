#pragma once

#include <QObject>
#include <QString>

class QWidget;

// The controller of the emulator program: it wires the program's parts together, receives the
// requests of later starts for the same machine, and runs the quit sequence.
class MainControl : public QObject
{
    Q_OBJECT

public:
    explicit MainControl(QObject *parent = nullptr);

    void start();

signals:
    void showDialog(QString msg, int type, QWidget *parent, QString from);

public slots:
    void quitApp(bool isNeedReboot);
    void quitApp() { quitApp(false); }
    void handleNewConnect(QString msg);

private:
    // The Android window is up (set when the start-up window is swapped for it).
    bool m_androidShown = false;
};
