#pragma once

#include "keymapfile.h"
#include "tipwidget.h"

#include <QByteArray>
#include <QDialog>
#include <QMap>
#include <QPointer>
#include <QRect>
#include <QString>

#include <functional>

class AimButton;
class FireButton;
class KeyBoardCoursebookDialog;
class KeyButton;
class KeyLineEdit;
class OperatorButton;
class PadButton;
class PositionButton;
class QFrame;
class QPushButton;
class SensorButton;
class SlideButton;

// The key-map editor of the foreground Android package: a modal, frameless, darkened window laid exactly
// over the Android screen area. Its top bar holds the palette of six kinds, the help button and Clear,
// Save and Close. The user drags kinds onto the screen, moves the buttons, types their keys and saves:
// the save replaces the key-map record, writes the package's key-map file, closes the editor and emits
// keyBoardSettingSave. exec() returns Rejected in every case; `saved` tells whether a save ran.
//
// The machine and package the editor writes for are the ones in the foreground when it was built.
class KeyBoardDialog : public QDialog
{
    Q_OBJECT

public:
    // The kinds a palette button carries and a drag transports.
    enum KeyOperateType
    {
        Fire = 0,
        Aim = 1,
        Key = 2,
        Position = 3,
        Sensor = 4,
        Slide = 5,
    };
    // The drag's one MIME format; its bytes are the kind as a big-endian 32-bit integer.
    static const char *const kMimeType;
    static QByteArray mimeBytes(int kind);

    // Shows a modal message over the editor (the hot-key conflict); the program sets it to its common
    // message dialog. Without one the message is only logged.
    using MessageHandler = std::function<void(QWidget *parent, const QString &text)>;
    static void setMessageHandler(MessageHandler handler);

    // rotation: the Android screen's rotation in degrees; screenRect: the Android screen area on the
    // desktop, which the editor covers and writes into the file.
    KeyBoardDialog(int rotation, const QRect &screenRect, QWidget *parent = nullptr);
    ~KeyBoardDialog() override;

    bool saved = false;

    // What the editor shows, for its owner's checks and tests.
    FireButton *fire() const { return fireButton; }
    AimButton *aim() const { return aimButton; }
    PositionButton *position() const { return positionButton; }
    SensorButton *sensor() const { return sensorButton; }
    QMap<QString, KeyButton *> indexedKeyButtons() const { return keyButtons; }
    QMap<QString, SlideButton *> indexedSlideButtons() const { return slideButtons; }
    KeyBoardCoursebookDialog *coursebook() const { return coursebookDialog; }
    TipWidget *conflictNotice() { return &conflictTip; }
    OperatorButton *paletteButton(int kind) const;
    QString machineName() const { return m_vm; }
    QString packageName() const { return m_package; }
    // The key map the buttons make now, as a save would store it.
    KeyMap buildKeyMap() const;

signals:
    void dialogActived();
    void keyBoardSettingSave();

private slots:
    void on_btn_save_clicked();
    void on_btn_clear_clicked();
    void on_pushButton_clicked();
    void on_help_clicked();

protected:
    bool event(QEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void paintEvent(QPaintEvent *event) override;
    void dragEnterEvent(QDragEnterEvent *event) override;
    void dragMoveEvent(QDragMoveEvent *event) override;
    void dropEvent(QDropEvent *event) override;

private:
    void buildForm();
    void placeFromRecord(const KeyMap &map);
    KeyButton *newKeyButton();
    SlideButton *newSlideButton();
    void connectKeyButton(KeyButton *button);
    void connectSlideButton(SlideButton *button);
    void removeKeyButton(KeyButton *button);
    void removeSlideButton(SlideButton *button);
    void removeKeylessSlide();
    void removeButtonsOn(const QStringList &keys);
    QStringList shortcutTexts() const;
    void showHotKeyMessage();
    void showConflictNotice();
    struct KeysState;
    bool conflicts(int asker, const QString &key, QObject *self, int field) const;

    void keyFocusIn(KeyButton *button);
    void keyFocusOut(KeyButton *button);
    void keyCheck(KeyButton *button, const QString &key);
    void keyRemove(const QString &key, KeyButton *button);
    void slideFocusIn(SlideButton *button);
    void slideFocusOut(SlideButton *button);
    void slideCheck(SlideButton *button, const QString &key);
    void slideRemove(const QString &key, SlideButton *button);
    void padCheck(PadButton *pad, KeyLineEdit *field, const QString &key);
    void sensorFocusOut();

    int rotation;
    QRect screenRect;
    FireButton *fireButton;
    AimButton *aimButton;
    SensorButton *sensorButton;
    PositionButton *positionButton;
    QString currentKeyText;
    QPointer<KeyButton> currentKeyButton;
    QMap<QString, KeyButton *> keyButtons;
    QPointer<SlideButton> currentSlideButton;
    QMap<QString, SlideButton *> slideButtons;
    KeyBoardCoursebookDialog *coursebookDialog;
    TipWidget conflictTip;
    QString m_vm;
    QString m_package;

    QPushButton *m_btnClear = nullptr;
    QPushButton *m_btnSave = nullptr;
    QPushButton *m_btnClose = nullptr;
    QPushButton *m_btnHelp = nullptr;
    QMap<int, OperatorButton *> m_palette;
};
