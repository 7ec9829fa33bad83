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
    // Sets the text; the tip is sized to fit it before it shows (ensureSized), not at once: many buttons
    // set a tip that is never shown (the play overlay's), and sizing polishes the style sheet.
    void setTipText(const QString &text);
    // Resizes the tip to its text if the text changed since.
    void ensureSized();
    // Shows the tip with its top-left corner at a global point and closes it after msec milliseconds.
    // Every call starts its own timer; none is cancelled by a later call.
    void showFor(const QPoint &globalPos, int msec);

    int fontSize = 12;
    int padding = 10;
    int radius = 0;

protected:
    void showEvent(QShowEvent *event) override;

private:
    bool m_sizeDirty = false;
};
