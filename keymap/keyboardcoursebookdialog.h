#pragma once

#include "funcbasedialog.h"

#include <QProxyStyle>

class QTabWidget;

// The key-mapping tutorial: six picture pages (direction pad, key, slide, sensor pad, fire, settings)
// chosen from a vertical tab bar on the left. Frameless; the top 60 pixels drag it, except over the
// return button, which closes it with Rejected.
class KeyBoardCoursebookDialog : public FuncBaseDialog
{
    Q_OBJECT

public:
    explicit KeyBoardCoursebookDialog(QWidget *parent = nullptr);
    ~KeyBoardCoursebookDialog() override;

    QTabWidget *tabs() const { return m_tabs; }

private:
    QTabWidget *m_tabs;
};

// The tutorial's tab bar: every tab 152 x 64, its label drawn horizontally although the bar stands on
// the west side, with a separator line under it. One instance per process, made on first use (after
// the application exists, on the application's style) and owned by the application.
class KeyboardTabStyle : public QProxyStyle
{
    Q_OBJECT

public:
    static KeyboardTabStyle *instance();

    static constexpr int kTabWidth = 152;
    static constexpr int kTabHeight = 64;

    QSize sizeFromContents(ContentsType type, const QStyleOption *option, const QSize &size,
                           const QWidget *widget) const override;
    void drawControl(ControlElement element, const QStyleOption *option, QPainter *painter,
                     const QWidget *widget) const override;

private:
    KeyboardTabStyle();
};
