#pragma once

#include <QDialog>
#include <QPixmap>

class QCheckBox;

// Notice that hardware virtualisation is not enabled on this computer, with a tutorial link and a
// "do not show again" box.
class VTInfoDialog : public QDialog
{
    Q_OBJECT

public:
    explicit VTInfoDialog(QWidget *parent = nullptr);

    static QString tutorialPage();

private slots:
    void on_tutorial_clicked();
    void on_close_clicked();

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    void storeShowAgain();

    QPixmap m_background;
    QCheckBox *m_showAgain = nullptr;
};
