#pragma once

#include <QMenu>

// The pop-up menus of the side bar. Where the platform gives menu windows a class style with a drop
// shadow the first menu removes it for all; X11 windows have no class styles, so nothing is changed.
class OrvMenu : public QMenu
{
    Q_OBJECT

public:
    using QMenu::QMenu;

protected:
    bool event(QEvent *event) override;
};
