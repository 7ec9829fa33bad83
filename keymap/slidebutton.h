#pragma once

#include "basebutton.h"

#include <QString>

class KeyLineEdit;
class QPushButton;

// A swipe: one key that swipes from the button's centre toward one of four directions. A press on an
// arrow both picks the direction and starts a drag; the selected arrow shows its "_over" picture.
//
// The display-only form (the play overlay's) has no key field, arrows or close button: it paints the
// editable form's display-only picture for its direction and its key text itself, as KeyButton's does.
// arrow, keyEdit and closeButton are null in it.
class SlideButton : public BaseButton
{
    Q_OBJECT

public:
    explicit SlideButton(QWidget *parent = nullptr, Form form = EditableForm);
    ~SlideButton() override;

    QString keyText() const;
    void setKeyText(const QString &key);
    // "up", "down", "left" or "right"; "up" after construction.
    QString direction() const { return m_direction; }
    // Stores any text; only the four words select an arrow.
    void setDirection(const QString &direction);
    void focusKeyEdit();
    KeyLineEdit *keyEdit() const { return m_lineInput; }
    QPushButton *closeButton() const { return m_btnClose; }
    // The arrow button of a direction word, or null.
    QPushButton *arrow(const QString &direction) const;

    bool filterChildEvent(QObject *watched, QEvent *event) override;
    void setDisplayOnly(bool on) override;

protected:
    void paintEvent(QPaintEvent *event) override;

signals:
    void focusIn(SlideButton *button);
    void focusOut(SlideButton *button);
    void keyPress(SlideButton *button, QString key);
    void closeSlideButton(QString key);

private slots:
    void on_btn_close_clicked();

private:
    void setArrowLook(const QString &direction, bool selected);

    QString m_direction;
    // The display-only form's key.
    QString m_keyText;
    KeyLineEdit *m_lineInput = nullptr;
    QPushButton *m_btnUp = nullptr;
    QPushButton *m_btnDown = nullptr;
    QPushButton *m_btnLeft = nullptr;
    QPushButton *m_btnRight = nullptr;
    QPushButton *m_btnClose = nullptr;
};
