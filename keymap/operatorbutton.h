#pragma once

#include "tipwidget.h"

#include <QPushButton>

// A button of the editor's palette: it shows its tip while hovered and carries the kind of key-map
// button that dragging it creates (KeyBoardDialog::KeyOperateType). It never takes a press: the press
// goes on to the editor below, which starts the drag, so the button never looks pressed or clicks.
class OperatorButton : public QPushButton
{
    Q_OBJECT

public:
    explicit OperatorButton(QWidget *parent = nullptr);
    ~OperatorButton() override;

    void setTipText(const QString &text);
    TipWidget *tipWidget() { return &tip; }

    int operateType = 0;

protected:
    void enterEvent(QEvent *event) override;
    void leaveEvent(QEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;

private:
    TipWidget tip;
};
