#pragma once

#include <QColor>
#include <QFont>
#include <QObject>
#include <QRect>
#include <QStyle>

#include <memory>

class QPainter;
class QPushButton;

namespace OrvMulti {

// Draws the cells of the instance list for the row states: the check box, the title with its pencil
// icon, the state word, and the action cell (backup/restore, delete and shortcut icons and the
// start/close button) or the progress animation. Icons and buttons are drawn as push buttons through
// hidden style-carrier buttons whose style sheets pick the picture for the pointer state.
//
// One process-wide object, made by the program at start-up and deleted with the main window; GUI
// thread only.
class PlayerPainter : public QObject
{
    Q_OBJECT

public:
    // Pointer states of an icon or button, as the item delegate tracks them. Any other value draws the
    // normal look; Disabled draws the disabled look.
    enum PointerState
    {
        Disabled = -2,
        Normal = -1,
        Hovered = 0,
        Pressed = 1,
    };

    // Where the pictures live.
    static const char *const ImagePrefix;

    explicit PlayerPainter(QObject *parent = nullptr);
    ~PlayerPainter() override;

    // The process-wide painter; null before it is made and after it is gone.
    static PlayerPainter *instance();

    // The font of every drawn text.
    static QFont textFont();
    // The style-option state of a pointer state.
    static QStyle::State optionState(int pointerState);

    // Geometry of the drawn items inside the cell rectangle `rect` (inclusive corners).
    static QRect checkBoxRect(const QRect &rect);
    static QRect editButtonRect(const QRect &rect, const QString &title);
    static QRect backupIconRect(const QRect &rect);
    static QRect deleteIconRect(const QRect &rect);
    static QRect shortcutIconRect(const QRect &rect);
    static QRect actionButtonRect(const QRect &rect);
    static QPoint progressOrigin(const QRect &rect);
    // The title as drawn: elided at the right to the cell's width less 49.
    static QString elidedTitle(const QRect &rect, const QString &title);

    void drawCheckBox(QPainter *painter, const QRect &rect, bool checked);
    void drawTitle(QPainter *painter, const QRect &rect, const QColor &colour, const QString &text,
                   int editState);
    void drawStateLabel(QPainter *painter, const QRect &rect, const QColor &colour, const QString &text);
    // The three icons, and the start button (text tr("start")) or else the close button when
    // `showButton` is set, with `text` centred on it in `colour`.
    void drawActions(QPainter *painter, const QRect &rect, const QColor &colour, int backupState,
                     int deleteState, int shortcutState, bool showButton, int buttonState,
                     const QString &text);
    // Frame 0 to 3 of the progress animation.
    void drawProgress(QPainter *painter, const QRect &rect, int frame);

private:
    void drawCarrier(QPainter *painter, QPushButton *carrier, const QRect &rect, int pointerState);

    // Style carriers: never shown, no parent.
    std::unique_ptr<QPushButton> edit;
    std::unique_ptr<QPushButton> start;
    std::unique_ptr<QPushButton> close;
    std::unique_ptr<QPushButton> backupOrRestore;
    std::unique_ptr<QPushButton> remove;
    std::unique_ptr<QPushButton> shortcut;
};

} // namespace OrvMulti
