#pragma once

#include <QDialog>

// Notice that another hypervisor holds hardware virtualisation: mode 0 the system's own hypervisor,
// any other mode other software. Its button opens the matching tutorial.
class VTBeOccupiedTipDialog : public QDialog
{
    Q_OBJECT

public:
    VTBeOccupiedTipDialog(int mode, QWidget *parent = nullptr);

    int mode() const { return m_mode; }
    static QString tutorialPage(int mode);

private slots:
    void viewTheTutorial();

private:
    int m_mode;
};
