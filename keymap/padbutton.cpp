#include "padbutton.h"

#include "buttonlooks.h"
#include "keylineedit.h"

#include <QEvent>
#include <QGridLayout>
#include <QPushButton>

namespace {

KeyLineEdit *makeKeyField(QWidget *parent, const char *name, const QString &picture, int width, int height,
                          const QString &padding, int pointSize)
{
    auto *edit = new KeyLineEdit(parent);
    edit->setObjectName(QString::fromLatin1(name));
    edit->setFixedSize(width, height);
    edit->setFont(QFont(QStringLiteral("Arial"), pointSize));
    edit->setFocusPolicy(Qt::ClickFocus);
    edit->setContextMenuPolicy(Qt::NoContextMenu);
    edit->setAlignment(Qt::AlignCenter);
    edit->setAttribute(Qt::WA_InputMethodEnabled, false);
    edit->setStyleSheet(
        QStringLiteral("KeyLineEdit { background-color: transparent; border: none; color: white; "
                       "border-image: %1; %2 }"
                       "KeyLineEdit:hover, KeyLineEdit:focus { border-image: %3; }")
            .arg(ButtonLooks::imageUrl(picture), padding,
                 ButtonLooks::imageUrl(picture + QStringLiteral("_over"))));
    return edit;
}

} // namespace

PadButton::PadButton(QWidget *parent, const QString &formName, const QString &picture, bool focusUpOnRelease)
    : BaseButton(parent), m_focusUpOnRelease(focusUpOnRelease)
{
    setObjectName(formName);
    setAttribute(Qt::WA_TranslucentBackground);
    setFixedSize(232, 232);
    const bool directionPad = formName == QLatin1String("PositionButton");
    if (directionPad)
        setFont(QFont(QStringLiteral("Agency FB"), 9));
    auto *grid = new QGridLayout(this);
    grid->setObjectName(QStringLiteral("gridLayout"));
    grid->setContentsMargins(0, 0, 0, 0);

    m_btnCtrl = new QPushButton(this);
    m_btnCtrl->setObjectName(QStringLiteral("btn_ctrl"));
    m_btnCtrl->setFixedSize(138, 138);
    m_btnCtrl->setFocusPolicy(Qt::NoFocus);
    m_btnCtrl->setStyleSheet(
        QStringLiteral("QPushButton { border: none; background-color: transparent; background-image: %1; "
                       "background-position: center; background-repeat: no-repeat; }"
                       "QPushButton:hover { background-image: %2; }")
            .arg(ButtonLooks::imageUrl(picture), ButtonLooks::imageUrl(picture + QStringLiteral("_over"))));
    m_btnClose = ButtonLooks::makeCloseButton(this);
    m_editRight = makeKeyField(this, "edit_right", QStringLiteral("key_input_right"), 42, 36,
                               QStringLiteral("padding: 2px; padding-left: 8px;"), 9);
    m_editUp = makeKeyField(this, "edit_up", QStringLiteral("key_input_top"), 36, 42,
                            QStringLiteral("padding-bottom: 8px;"), 9);
    m_editLeft = makeKeyField(this, "edit_left", QStringLiteral("key_input_left"), 42, 36,
                              QStringLiteral("padding: 2px; padding-right: 8px;"), 9);
    m_editDown = makeKeyField(this, "edit_down", QStringLiteral("key_input_bottom"), 36, 42,
                              QStringLiteral("padding-top: 8px;"), directionPad ? 8 : 9);
    grid->addWidget(m_btnCtrl, 1, 2);
    grid->addWidget(m_btnClose, 0, 4, Qt::AlignLeft | Qt::AlignBottom);
    grid->addWidget(m_editRight, 1, 4);
    grid->addWidget(m_editUp, 0, 2, Qt::AlignHCenter);
    grid->addWidget(m_editLeft, 1, 1);
    grid->addWidget(m_editDown, 2, 2, Qt::AlignHCenter);

    centerOffset = QPoint(116, 116);
    m_btnCtrl->installEventFilter(this);
    for (KeyLineEdit *edit : {m_editUp, m_editDown, m_editLeft, m_editRight}) {
        connect(edit, &KeyLineEdit::focusIn, this, &PadButton::focusIn);
        connect(edit, &KeyLineEdit::focusOut, this, &PadButton::focusOut);
        connect(edit, &KeyLineEdit::keyPress, this, &PadButton::keyPress);
    }
    connect(m_btnClose, &QPushButton::clicked, this, &PadButton::on_btn_close_clicked);
}

void PadButton::setUpKey(const QString &key)
{
    m_editUp->setText(key);
}

void PadButton::setDownKey(const QString &key)
{
    m_editDown->setText(key);
}

void PadButton::setLeftKey(const QString &key)
{
    m_editLeft->setText(key);
}

void PadButton::setRightKey(const QString &key)
{
    m_editRight->setText(key);
}

QString PadButton::upKey() const
{
    return m_editUp->text();
}

QString PadButton::downKey() const
{
    return m_editDown->text();
}

QString PadButton::leftKey() const
{
    return m_editLeft->text();
}

QString PadButton::rightKey() const
{
    return m_editRight->text();
}

QStringList PadButton::keys() const
{
    return {upKey(), downKey(), leftKey(), rightKey()};
}

void PadButton::focusKeyEdit()
{
    m_editUp->setFocus(Qt::OtherFocusReason);
}

bool PadButton::filterChildEvent(QObject *watched, QEvent *event)
{
    if (watched != m_btnCtrl)
        return false;
    if (isLeftPress(event)) {
        startDrag(event);
        return true;
    }
    if (isLeftDragMove(event)) {
        dragTo(event);
        setCursor(Qt::OpenHandCursor);
        return true;
    }
    if (isLeftRelease(event)) {
        setCursor(Qt::ArrowCursor);
        if (m_focusUpOnRelease)
            focusKeyEdit();
        return true;
    }
    return false;
}

void PadButton::setDisplayOnly(bool on)
{
    for (KeyLineEdit *edit : {m_editUp, m_editDown, m_editLeft, m_editRight})
        edit->setReadOnly(on);
    m_btnClose->setVisible(!on);
    setEnabled(!on);
}

void PadButton::on_btn_close_clicked()
{
    hide();
}

PositionButton::PositionButton(QWidget *parent)
    : PadButton(parent, QStringLiteral("PositionButton"), QStringLiteral("key_operate_position"), false)
{
    setTipText(tr("position tip"));
}

SensorButton::SensorButton(QWidget *parent)
    : PadButton(parent, QStringLiteral("SensorButton"), QStringLiteral("key_operate_sensor"), true)
{
    setTipText(tr("sensor tip"));
}
