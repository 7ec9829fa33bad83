#pragma once

#include "funcbasedialog.h"

class QLabel;
class QPushButton;

// Explains the folders the instance shares with Android ("picture" and "other") and opens each on the
// host, in the file manager, or in Android, through an intent the guest's file viewer handles.
class ShareFolderDialog : public FuncBaseDialog
{
    Q_OBJECT

public:
    explicit ShareFolderDialog(QWidget *parent = nullptr);

    // The host side of a shared folder: <install folder>/share/<VM name>/<leaf>.
    static QString hostFolder(const QString &leaf);
    // The guest command that opens a shared folder of Android in its file viewer.
    static QString androidOpenCommand(const QString &guestPath);

signals:
    // A shell command for the guest; the opener hands it to the input channel.
    void sendShellCmd(QString command);

public slots:
    void openImageFolder();
    void openOrvvmImageFolder();
    void openOtherFolder();
    void openOrvvmOtherFolder();

private:
    QLabel *title = nullptr;
    QWidget *line = nullptr;
    QPushButton *btn_close = nullptr;
    QWidget *widget_tip = nullptr;
    QWidget *widget_bkg_imgae = nullptr;
    QWidget *widget_fodler_image = nullptr;
    QPushButton *pushButton_open_image = nullptr;
    QPushButton *pushButton_open_orvvm_image = nullptr;
    QWidget *widget_bkg_other = nullptr;
    QWidget *widget_fodler_other = nullptr;
    QPushButton *pushButton_open_other = nullptr;
    QPushButton *pushButton_open_orvvm_other = nullptr;
};
