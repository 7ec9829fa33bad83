#pragma once

#include <QColor>
#include <QFont>
#include <QObject>
#include <QRect>
#include <QString>

#include <memory>

class QPainter;
class QPushButton;

namespace OrvMulti {

// Draws the cells of the instance list for the row states. Six never-shown buttons carry the style
// sheets of the pencil, start, close, backup/restore, delete and shortcut buttons, so that the
// application style picks each one's image for its pointer state (-1 normal, 0 hovered, 1 pressed;
// Disabled draws the disabled look).
class PlayerPainter : public QObject
{
    Q_OBJECT

public:
    static constexpr int Disabled = -2;

    explicit PlayerPainter(QObject *parent = nullptr);
    ~PlayerPainter() override;

    // The process-wide painter, made by the program at start-up.
    static PlayerPainter *instance();
    static void setInstance(PlayerPainter *painter);

    void drawCheckBox(QPainter *painter, const QRect &rect, bool checked);
    void drawTitle(QPainter *painter, const QRect &rect, const QColor &colour, const QString &text,
                   int editState);
    void drawStateLabel(QPainter *painter, const QRect &rect, const QColor &colour, const QString &text);
    void drawActions(QPainter *painter, const QRect &rect, const QColor &colour, int backupState,
                     int deleteState, int shortcutState, bool showButton, int buttonState,
                     const QString &text);
    void drawProgress(QPainter *painter, const QRect &rect, int frame);

    // Icon rectangles of the action cell and the pencil, shared with the mouse handling.
    static QRect backupRect(const QRect &rect);
    static QRect deleteRect(const QRect &rect);
    static QRect shortcutRect(const QRect &rect);
    static QRect buttonRect(const QRect &rect);
    static QRect editRect(const QRect &rect, int elidedTextWidth);
    static QFont cellFont();

private:
    void drawButton(QPainter *painter, QPushButton *carrier, const QRect &rect, int state,
                    const QString &text = QString(), const QColor &textColour = QColor());

    std::unique_ptr<QPushButton> edit;
    std::unique_ptr<QPushButton> start;
    std::unique_ptr<QPushButton> close;
    std::unique_ptr<QPushButton> backupOrRestore;
    std::unique_ptr<QPushButton> remove;
    std::unique_ptr<QPushButton> shortcut;
};

} // namespace OrvMulti
