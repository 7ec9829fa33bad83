#include "keybutton.h"

#include "buttonlooks.h"
#include "keylineedit.h"
#include "keytext.h"

#include <QEvent>
#include <QFrame>
#include <QHash>
#include <QPainter>
#include <QPushButton>

namespace {

// The key field's place in the button (the frame at 0, 22, the field at 5, 5 in it), its padding and
// font.
const QRect kFieldRect(5, 27, 38, 32);
const QMargins kFieldPadding(2, 2, 2, 2);

QFont fieldFont()
{
    return QFont(QStringLiteral("Arial"), 9);
}

// What the editable form shows in display-only form with an empty key field, once per pixel ratio.
const QVector<ButtonLooks::Layer> &displayPicture(qreal devicePixelRatio)
{
    static QHash<qreal, QVector<ButtonLooks::Layer>> pictures;
    auto it = pictures.find(devicePixelRatio);
    if (it == pictures.end()) {
        KeyButton model;
        model.setDisplayOnly(true);
        it = pictures.insert(devicePixelRatio, ButtonLooks::renderedLayers(&model, devicePixelRatio));
    }
    return *it;
}

} // namespace

KeyButton::KeyButton(QWidget *parent, Form form) : BaseButton(parent)
{
    setObjectName(QStringLiteral("KeyButton"));
    setAttribute(Qt::WA_TranslucentBackground);
    resize(70, 64);
    setMaximumSize(70, 64);
    centerOffset = QPoint(24, 43);
    setAttribute(Qt::WA_DeleteOnClose);
    setTipText(tr("keybutton tip"));
    if (form == DisplayOnlyForm) {
        setFont(fieldFont());
        displayOnly = true;
        setEnabled(false);
        return;
    }

    m_btnClose = ButtonLooks::makeCloseButton(this);
    m_btnClose->move(56, 0);

    m_editBkg = new QFrame(this);
    m_editBkg->setObjectName(QStringLiteral("edit_bkg"));
    m_editBkg->setFrameShape(QFrame::StyledPanel);
    m_editBkg->setFrameShadow(QFrame::Raised);
    m_editBkg->setGeometry(0, 22, 48, 43);
    m_editBkg->setStyleSheet(QStringLiteral("QFrame#edit_bkg { border-image: %1; color: white; margin: 2px; }"
                                            "QFrame#edit_bkg:hover { border-image: %2; }")
                                 .arg(ButtonLooks::imageUrl(QStringLiteral("key_operate_key")),
                                      ButtonLooks::imageUrl(QStringLiteral("key_operate_key_over"))));

    m_lineInput = new KeyLineEdit(m_editBkg);
    m_lineInput->setObjectName(QStringLiteral("line_input"));
    m_lineInput->setGeometry(5, 5, 38, 32);
    m_lineInput->setFixedSize(38, 32);
    m_lineInput->setFont(fieldFont());
    m_lineInput->setFocusPolicy(Qt::ClickFocus);
    m_lineInput->setContextMenuPolicy(Qt::NoContextMenu);
    m_lineInput->setAcceptDrops(true);
    m_lineInput->setAlignment(Qt::AlignCenter);
    m_lineInput->setAttribute(Qt::WA_InputMethodEnabled, false);
    m_lineInput->setStyleSheet(
        QStringLiteral("background: transparent; border: none; color: white; padding: 2px;"));

    m_editBkg->installEventFilter(this);
    connect(m_lineInput, &KeyLineEdit::focusIn, this, [this](KeyLineEdit *) { emit focusIn(this); });
    connect(m_lineInput, &KeyLineEdit::focusOut, this, [this](KeyLineEdit *) { emit focusOut(this); });
    connect(m_lineInput, &KeyLineEdit::keyPress, this,
            [this](KeyLineEdit *, const QString &key) { emit keyPress(this, key); });
    connect(m_btnClose, &QPushButton::clicked, this, &KeyButton::on_btn_close_clicked);
}

KeyButton::~KeyButton() = default;

QString KeyButton::keyText() const
{
    return m_lineInput ? m_lineInput->text() : m_keyText;
}

void KeyButton::setKeyText(const QString &key)
{
    if (m_lineInput) {
        m_lineInput->setText(key);
    } else if (key != m_keyText) {
        m_keyText = key;
        update();
    }
}

void KeyButton::focusKeyEdit()
{
    if (m_lineInput)
        m_lineInput->setFocus(Qt::OtherFocusReason);
}

void KeyButton::paintEvent(QPaintEvent *event)
{
    if (m_lineInput) {
        BaseButton::paintEvent(event);
        return;
    }
    QPainter painter(this);
    ButtonLooks::drawLayers(&painter, displayPicture(devicePixelRatioF()));
    ButtonLooks::drawFieldText(&painter, kFieldRect, kFieldPadding, font(), m_keyText);
}

bool KeyButton::filterChildEvent(QObject *watched, QEvent *event)
{
    if (watched != m_editBkg)
        return false;
    if (isLeftPress(event)) {
        startDrag(event);
        return true;
    }
    if (isLeftDragMove(event)) {
        dragTo(event);
        return true;
    }
    if (event->type() == QEvent::Enter) {
        setCursor(Qt::SizeAllCursor);
        return true;
    }
    if (event->type() == QEvent::Leave) {
        setCursor(Qt::ArrowCursor);
        return true;
    }
    return false;
}

void KeyButton::setDisplayOnly(bool on)
{
    if (!m_lineInput)
        return;
    m_lineInput->setReadOnly(on);
    m_btnClose->setVisible(!on);
    setEnabled(!on);
}

void KeyButton::on_btn_close_clicked()
{
    emit closeKeyButton(keyText());
}

QString KeyButton::keyName(int key)
{
    return KeyText::keyName(key);
}

QString KeyButton::shortcutText(QKeyEvent *event)
{
    return KeyText::shortcutText(event);
}

QString KeyButton::hotKeyText(QKeyEvent *event)
{
    return KeyText::hotKeyText(event);
}
