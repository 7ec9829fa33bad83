#include "slidebutton.h"

#include "buttonlooks.h"
#include "keylineedit.h"

#include <QEvent>
#include <QHash>
#include <QPainter>
#include <QPushButton>

namespace {

// The key field's place in the button, its padding and font.
const QRect kFieldRect(50, 61, 63, 63);
const QMargins kFieldPadding(2, 2, 2, 8);

QFont fieldFont()
{
    return QFont(QStringLiteral("Arial"), 9);
}

const QStringList &directions()
{
    static const QStringList words = {QStringLiteral("up"), QStringLiteral("down"), QStringLiteral("left"),
                                      QStringLiteral("right")};
    return words;
}

// The two looks of each arrow, built once per process.
const QHash<QString, QString> &arrowLooks(bool selected)
{
    static const auto build = [](bool chosen) {
        QHash<QString, QString> looks;
        for (const QString &word : directions()) {
            const QString picture = QStringLiteral("key_operate_slide_") + word;
            looks.insert(word, chosen ? QStringLiteral("QPushButton { background: transparent; border: none; "
                                                       "border-image: %1; }")
                                            .arg(ButtonLooks::imageUrl(picture + QStringLiteral("_over")))
                                      : ButtonLooks::imageButton(picture));
        }
        return looks;
    };
    static const QHash<QString, QString> normal = build(false);
    static const QHash<QString, QString> chosen = build(true);
    return selected ? chosen : normal;
}

// What the editable form shows in display-only form for a direction, with an empty key field, once per
// direction and pixel ratio.
const QVector<ButtonLooks::Layer> &displayPicture(const QString &direction, qreal devicePixelRatio)
{
    static QHash<QPair<QString, qreal>, QVector<ButtonLooks::Layer>> pictures;
    const QPair<QString, qreal> key(direction, devicePixelRatio);
    auto it = pictures.find(key);
    if (it == pictures.end()) {
        SlideButton model;
        model.setDisplayOnly(true);
        model.setDirection(direction);
        it = pictures.insert(key, ButtonLooks::renderedLayers(&model, devicePixelRatio));
    }
    return *it;
}

} // namespace

SlideButton::SlideButton(QWidget *parent, Form form) : BaseButton(parent)
{
    setObjectName(QStringLiteral("SlideButton"));
    setAttribute(Qt::WA_TranslucentBackground);
    setFixedSize(179, 174);
    setBaseSize(177, 177);
    centerOffset = QPoint(81, 92);
    setAttribute(Qt::WA_DeleteOnClose);
    setTipText(tr("slide tip"));
    if (form == DisplayOnlyForm) {
        setFont(fieldFont());
        displayOnly = true;
        setEnabled(false);
        m_direction = QStringLiteral("up");
        return;
    }

    m_lineInput = new KeyLineEdit(this);
    m_lineInput->setObjectName(QStringLiteral("line_input"));
    m_lineInput->setGeometry(50, 61, 63, 63);
    m_lineInput->setFixedSize(63, 63);
    m_lineInput->setFont(fieldFont());
    m_lineInput->setFocusPolicy(Qt::ClickFocus);
    m_lineInput->setContextMenuPolicy(Qt::NoContextMenu);
    m_lineInput->setAlignment(Qt::AlignCenter);
    m_lineInput->setAttribute(Qt::WA_InputMethodEnabled, false);
    m_lineInput->setStyleSheet(
        QStringLiteral("background-image: %1; color: white; border: none; padding: 2px; "
                       "padding-bottom: 8px;")
            .arg(ButtonLooks::imageUrl(QStringLiteral("key_operate_slide_input"))));

    const auto makeArrow = [this](const char *name, int x, int y, int w, int h) {
        auto *button = new QPushButton(this);
        button->setObjectName(QString::fromLatin1(name));
        button->setGeometry(x, y, w, h);
        button->setFocusPolicy(Qt::NoFocus);
        return button;
    };
    m_btnRight = makeArrow("btn_right", 107, 35, 56, 114);
    m_btnDown = makeArrow("btn_down", 24, 118, 115, 56);
    m_btnUp = makeArrow("btn_up", 24, 11, 115, 56);
    m_btnLeft = makeArrow("btn_left", 0, 35, 56, 114);
    for (const QString &word : directions())
        setArrowLook(word, false);
    m_btnClose = ButtonLooks::makeCloseButton(this);
    m_btnClose->move(165, 0);
    // The field lies over the arrows' inner ends.
    m_lineInput->raise();

    connect(m_lineInput, &KeyLineEdit::focusIn, this, [this](KeyLineEdit *) { emit focusIn(this); });
    connect(m_lineInput, &KeyLineEdit::focusOut, this, [this](KeyLineEdit *) { emit focusOut(this); });
    connect(m_lineInput, &KeyLineEdit::keyPress, this,
            [this](KeyLineEdit *, const QString &key) { emit keyPress(this, key); });
    setDirection(QStringLiteral("up"));
    for (QPushButton *button : {m_btnUp, m_btnDown, m_btnLeft, m_btnRight})
        button->installEventFilter(this);
    connect(m_btnClose, &QPushButton::clicked, this, &SlideButton::on_btn_close_clicked);
}

SlideButton::~SlideButton() = default;

QString SlideButton::keyText() const
{
    return m_lineInput ? m_lineInput->text() : m_keyText;
}

void SlideButton::setKeyText(const QString &key)
{
    if (m_lineInput) {
        m_lineInput->setText(key);
    } else if (key != m_keyText) {
        m_keyText = key;
        update();
    }
}

void SlideButton::focusKeyEdit()
{
    if (m_lineInput)
        m_lineInput->setFocus(Qt::OtherFocusReason);
}

void SlideButton::paintEvent(QPaintEvent *event)
{
    if (m_lineInput) {
        BaseButton::paintEvent(event);
        return;
    }
    QPainter painter(this);
    ButtonLooks::drawLayers(&painter, displayPicture(m_direction, devicePixelRatioF()));
    ButtonLooks::drawFieldText(&painter, kFieldRect, kFieldPadding, font(), m_keyText);
}

QPushButton *SlideButton::arrow(const QString &direction) const
{
    if (direction == QLatin1String("up"))
        return m_btnUp;
    if (direction == QLatin1String("down"))
        return m_btnDown;
    if (direction == QLatin1String("left"))
        return m_btnLeft;
    if (direction == QLatin1String("right"))
        return m_btnRight;
    return nullptr;
}

void SlideButton::setArrowLook(const QString &direction, bool selected)
{
    if (QPushButton *button = arrow(direction))
        button->setStyleSheet(arrowLooks(selected).value(direction));
}

void SlideButton::setDirection(const QString &direction)
{
    if (!m_lineInput) {
        if (direction != m_direction) {
            m_direction = direction;
            update();
        }
        return;
    }
    m_direction = direction;
    for (const QString &word : directions())
        setArrowLook(word, false);
    setArrowLook(direction, true);
}

bool SlideButton::filterChildEvent(QObject *watched, QEvent *event)
{
    if (isLeftPress(event)) {
        startDrag(event);
        setArrowLook(m_direction, false);
        for (const QString &word : directions()) {
            if (watched == arrow(word)) {
                m_direction = word;
                setArrowLook(word, true);
            }
        }
        return true;
    }
    if (isLeftDragMove(event)) {
        dragTo(event);
        return false;
    }
    if (isLeftRelease(event))
        return true;
    return false;
}

void SlideButton::setDisplayOnly(bool on)
{
    if (!m_lineInput)
        return;
    m_lineInput->setReadOnly(on);
    m_btnClose->setVisible(!on);
    setEnabled(!on);
}

void SlideButton::on_btn_close_clicked()
{
    const QString key = keyText();
    emit closeSlideButton(key.isEmpty() ? QStringLiteral("NULL") : key);
}
