#pragma once

#include <QPoint>
#include <QPushButton>

// The tip bubble of the key-map buttons, the editor's palette and its conflict notice: a frameless
// tool-tip window with white text on a translucent blue, sized to its text.
class TipWidget : public QPushButton
{
    Q_OBJECT

public:
    explicit TipWidget(QWidget *parent = nullptr);

    // Rebuilds the style sheet from the three fields below; call it after changing them.
    void updateStyle();
    // Sets the text and resizes the tip to fit it.
    void setTipText(const QString &text);
    // Shows the tip with its top-left corner at a global point and closes it after msec milliseconds.
    // Every call starts its own timer; none is cancelled by a later call.
    void showFor(const QPoint &globalPos, int msec);

    int fontSize = 12;
    int padding = 10;
    int radius = 0;
};
