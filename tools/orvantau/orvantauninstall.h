#pragma once

#include <QMainWindow>

namespace Ui {
class OrvantaUnInstallClass;
}

// The notice that an emulator is running and must be closed before the uninstall; closing it by
// either button (or by the system) ends the program without uninstalling.
class OrvantaUnInstall : public QMainWindow
{
    Q_OBJECT

public:
    explicit OrvantaUnInstall(QWidget *parent = nullptr);
    ~OrvantaUnInstall() override;

private:
    Ui::OrvantaUnInstallClass *ui;
};
