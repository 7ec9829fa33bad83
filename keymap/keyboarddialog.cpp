#include "keyboarddialog.h"

#include "basebutton.h"
#include "buttonlooks.h"
#include "firebutton.h"
#include "global.h"
#include "keyboardcoursebookdialog.h"
#include "keybutton.h"
#include "keylineedit.h"
#include "keymaprules.h"
#include "operatorbutton.h"
#include "padbutton.h"
#include "settingmodel.h"
#include "slidebutton.h"

#include <QDataStream>
#include <QDebug>
#include <QDrag>
#include <QDragEnterEvent>
#include <QFrame>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QMimeData>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>

const char *const KeyBoardDialog::kMimeType = "application/orv-keyboard-operatedata";

namespace {

KeyBoardDialog::MessageHandler &messageHandler()
{
    static KeyBoardDialog::MessageHandler handler;
    return handler;
}

// The palette: kind, object name, picture, tip key, drag picture.
struct PaletteKind
{
    int kind;
    const char *name;
    const char *picture;
    const char *tip;
    const char *dragPixmap;
};
const PaletteKind kPalette[] = {
    {KeyBoardDialog::Fire, "btn_fire", "key_title_fire", QT_TRANSLATE_NOOP("KeyBoardDialog", "fire tip"),
     ":/images/key_operate_fire_over"},
    {KeyBoardDialog::Aim, "btn_aim", "key_title_aim", QT_TRANSLATE_NOOP("KeyBoardDialog", "aim tip"),
     ":/images/key_operate_aim_over"},
    {KeyBoardDialog::Key, "btn_key", "key_title_key", QT_TRANSLATE_NOOP("KeyBoardDialog", "key tip"),
     ":/images/key_operate_key_over"},
    {KeyBoardDialog::Position, "btn_position", "key_title_position",
     QT_TRANSLATE_NOOP("KeyBoardDialog", "position tip"), ":/images/key_operate_position_over"},
    {KeyBoardDialog::Sensor, "btn_sensor", "key_title_sensor",
     QT_TRANSLATE_NOOP("KeyBoardDialog", "sensor tip"), ":/images/key_operate_sensor_over"},
    {KeyBoardDialog::Slide, "btn_slide", "key_title_slide", QT_TRANSLATE_NOOP("KeyBoardDialog", "slide tip"),
     ":/images/key_operate_slide"},
};

const char kLog[] = "KeyBoardDialog : ";
const int kBarHeight = 70;
const int kNoticeMs = 2000;

int fieldIndex(const KeyLineEdit *field)
{
    static const QStringList names{QStringLiteral("edit_up"), QStringLiteral("edit_down"),
                                   QStringLiteral("edit_left"), QStringLiteral("edit_right")};
    return names.indexOf(field->objectName());
}

QString imageButtonStyle(const QString &normal, const QString &hover)
{
    return QStringLiteral("QPushButton { background: transparent; border: none; border-image: %1; }"
                          "QPushButton:hover { border-image: %2; }")
        .arg(ButtonLooks::imageUrl(normal), ButtonLooks::imageUrl(hover));
}

template <typename Map, typename Button> void dropEntriesOf(Map &index, Button *button)
{
    for (auto it = index.begin(); it != index.end();) {
        if (it.value() == button)
            it = index.erase(it);
        else
            ++it;
    }
}

} // namespace

QByteArray KeyBoardDialog::mimeBytes(int kind)
{
    QByteArray bytes;
    QDataStream stream(&bytes, QIODevice::WriteOnly);
    stream << qint32(kind);
    return bytes;
}

void KeyBoardDialog::setMessageHandler(MessageHandler handler)
{
    messageHandler() = std::move(handler);
}

KeyBoardDialog::KeyBoardDialog(int rotation, const QRect &screenRect, QWidget *parent)
    : QDialog(parent), rotation(rotation), screenRect(screenRect), fireButton(new FireButton(this)),
      aimButton(new AimButton(this)), sensorButton(new SensorButton(this)),
      positionButton(new PositionButton(this)), coursebookDialog(new KeyBoardCoursebookDialog(nullptr)),
      conflictTip(nullptr), m_vm(Global::vmName), m_package(Global::currentPackage)
{
    buildForm();
    setAttribute(Qt::WA_TranslucentBackground);
    setWindowFlags(Qt::Window | Qt::FramelessWindowHint);
    setGeometry(screenRect);

    connect(positionButton, &PadButton::keyPress, this,
            [this](KeyLineEdit *field, const QString &key) { padCheck(positionButton, field, key); });
    connect(sensorButton, &PadButton::keyPress, this,
            [this](KeyLineEdit *field, const QString &key) { padCheck(sensorButton, field, key); });
    connect(sensorButton, &PadButton::focusOut, this, [this](KeyLineEdit *) { sensorFocusOut(); });

    on_btn_clear_clicked();
    for (const PaletteKind &kind : kPalette) {
        OperatorButton *button = m_palette.value(kind.kind);
        button->operateType = kind.kind;
        button->setTipText(tr(kind.tip));
    }
    fireButton->hide();
    aimButton->hide();
    sensorButton->hide();
    positionButton->hide();

    // A copy taken under the record's lock: the buttons are placed from what the record held then.
    placeFromRecord(currentKeyMapCopy());

    conflictTip.fontSize = 20;
    conflictTip.padding = 30;
    conflictTip.radius = 6;
    conflictTip.updateStyle();
    conflictTip.setTipText(tr("Keyboard_save_confilc"));
}

KeyBoardDialog::~KeyBoardDialog()
{
    // The buttons die with the editor's widget base, after these members: a key field losing the focus
    // then must not reach the editor's handlers.
    const QList<BaseButton *> buttons = findChildren<BaseButton *>(QString(), Qt::FindDirectChildrenOnly);
    for (BaseButton *button : buttons)
        disconnect(button, nullptr, this, nullptr);
    coursebookDialog->deleteLater();
}

void KeyBoardDialog::buildForm()
{
    setObjectName(QStringLiteral("KeyBoardDialog"));
    resize(990, 500);
    setModal(true);
    setAcceptDrops(true);
    setWindowTitle(tr("Dialog"));

    auto *grid = new QGridLayout(this);
    grid->setObjectName(QStringLiteral("gridLayout"));
    grid->setSpacing(0);
    grid->setContentsMargins(0, 0, 0, 0);

    auto *bar = new QWidget(this);
    bar->setObjectName(QStringLiteral("widget"));
    bar->setFixedHeight(kBarHeight);
    bar->setStyleSheet(QStringLiteral("background:transparent"));
    bar->setLayoutDirection(Qt::RightToLeft);
    grid->addWidget(bar, 0, 0, Qt::AlignTop);

    auto *barLayout = new QHBoxLayout(bar);
    barLayout->setSpacing(0);
    barLayout->setContentsMargins(0, 0, 0, 0);

    auto *sysWidget = new QWidget(bar);
    sysWidget->setObjectName(QStringLiteral("sysWidget"));
    sysWidget->setMaximumSize(256, kBarHeight);
    sysWidget->setMouseTracking(true);
    sysWidget->setLayoutDirection(Qt::LeftToRight);
    auto *sysLayout = new QHBoxLayout(sysWidget);
    sysLayout->setObjectName(QStringLiteral("horizontalLayout_2"));
    sysLayout->setSpacing(0);
    sysLayout->setContentsMargins(0, 0, 0, 0);
    const QString textButton = QStringLiteral(
        "QPushButton { font-family: \"黑体\"; font-size: 16px; font-weight: 50; color: white; text-align: "
        "center;"
        " background: #0190ff; border-radius: 3px; } QPushButton:hover { background: #44aeff; }");
    m_btnClear = new QPushButton(tr("Keyboard_clear"), sysWidget);
    m_btnClear->setObjectName(QStringLiteral("btn_clear"));
    m_btnSave = new QPushButton(tr("Keyboard_save"), sysWidget);
    m_btnSave->setObjectName(QStringLiteral("btn_save"));
    for (QPushButton *button : {m_btnClear, m_btnSave}) {
        button->setMaximumSize(68, 36);
        button->setStyleSheet(textButton);
        sysLayout->addWidget(button);
    }
    m_btnClose = new QPushButton(sysWidget);
    m_btnClose->setObjectName(QStringLiteral("pushButton"));
    m_btnClose->setFixedSize(40, 36);
    m_btnClose->setStyleSheet(
        imageButtonStyle(QStringLiteral("keyboardClose"), QStringLiteral("keyboardClose_down")));
    sysLayout->addWidget(m_btnClose);

    auto *operWidget = new QWidget(bar);
    operWidget->setObjectName(QStringLiteral("operWidget"));
    operWidget->setMaximumSize(343, kBarHeight);
    operWidget->setLayoutDirection(Qt::LeftToRight);
    auto *operLayout = new QHBoxLayout(operWidget);
    operLayout->setObjectName(QStringLiteral("horizontalLayout_3"));
    operLayout->setSpacing(0);
    operLayout->setContentsMargins(0, 0, 0, 0);
    m_btnHelp = new QPushButton(operWidget);
    m_btnHelp->setObjectName(QStringLiteral("help"));
    m_btnHelp->setFixedSize(24, 24);
    m_btnHelp->setStyleSheet(
        imageButtonStyle(QStringLiteral("keyboard_help"), QStringLiteral("keyboard_help_over")));
    operLayout->addWidget(m_btnHelp);
    // Left to right: slide, direction pad, sensor pad, key, aim, fire.
    for (int kind : {Slide, Position, Sensor, Key, Aim, Fire}) {
        const PaletteKind &entry = kPalette[kind];
        auto *button = new OperatorButton(operWidget);
        button->setObjectName(QLatin1String(entry.name));
        button->setMaximumSize(36, 36);
        button->setStyleSheet(
            imageButtonStyle(QLatin1String(entry.picture), QLatin1String(entry.picture) + "_over"));
        operLayout->addWidget(button);
        m_palette.insert(kind, button);
    }

    auto *space = new QFrame(bar);
    space->setObjectName(QStringLiteral("frame_space"));
    space->setFrameShape(QFrame::StyledPanel);
    space->setFrameShadow(QFrame::Raised);
    space->setAttribute(Qt::WA_TranslucentBackground);

    barLayout->addWidget(sysWidget);
    barLayout->addWidget(operWidget);
    barLayout->addWidget(space, 1);

    connect(m_btnSave, &QPushButton::clicked, this, &KeyBoardDialog::on_btn_save_clicked);
    connect(m_btnClear, &QPushButton::clicked, this, &KeyBoardDialog::on_btn_clear_clicked);
    connect(m_btnClose, &QPushButton::clicked, this, &KeyBoardDialog::on_pushButton_clicked);
    connect(m_btnHelp, &QPushButton::clicked, this, &KeyBoardDialog::on_help_clicked);
}

OperatorButton *KeyBoardDialog::paletteButton(int kind) const
{
    return m_palette.value(kind);
}

void KeyBoardDialog::placeFromRecord(const KeyMap &map)
{
    for (auto it = map.constBegin(); it != map.constEnd(); ++it) {
        const QString &key = it.key();
        const QPoint point = it.value().pos;
        switch (it.value().type) {
        case KeyMapKey: {
            KeyButton *button = newKeyButton();
            currentKeyButton = button;
            button->setKeyText(key);
            button->moveCenter(point.x(), point.y());
            button->show();
            keyButtons.insert(key, button);
            break;
        }
        case KeyMapFire:
            fireButton->moveCenter(point.x(), point.y());
            fireButton->show();
            break;
        case KeyMapAim:
            aimButton->moveCenter(point.x(), point.y());
            aimButton->show();
            break;
        case KeyMapPosCenter:
            positionButton->moveCenter(point.x(), point.y());
            positionButton->show();
            break;
        case KeyMapSenCenter:
            sensorButton->moveCenter(point.x(), point.y());
            sensorButton->show();
            break;
        case KeyMapPosUp:
            positionButton->setUpKey(key);
            break;
        case KeyMapPosDown:
            positionButton->setDownKey(key);
            break;
        case KeyMapPosLeft:
            positionButton->setLeftKey(key);
            break;
        case KeyMapPosRight:
            positionButton->setRightKey(key);
            break;
        case KeyMapSenUp:
            sensorButton->setUpKey(key);
            break;
        case KeyMapSenDown:
            sensorButton->setDownKey(key);
            break;
        case KeyMapSenLeft:
            sensorButton->setLeftKey(key);
            break;
        case KeyMapSenRight:
            sensorButton->setRightKey(key);
            break;
        case KeyMapSlideUp:
        case KeyMapSlideDown:
        case KeyMapSlideLeft:
        case KeyMapSlideRight: {
            static const char *const words[] = {"up", "down", "left", "right"};
            SlideButton *button = newSlideButton();
            currentSlideButton = button;
            button->setKeyText(key);
            button->moveCenter(point.x(), point.y());
            button->setDirection(QLatin1String(words[it.value().type - KeyMapSlideUp]));
            button->show();
            slideButtons.insert(key, button);
            break;
        }
        default:
            break;
        }
    }
    if (map.isEmpty() || !map.contains(QLatin1String(KeyMapNames::kPosCenter))) {
        positionButton->setUpKey(QStringLiteral("W"));
        positionButton->setDownKey(QStringLiteral("S"));
        positionButton->setLeftKey(QStringLiteral("A"));
        positionButton->setRightKey(QStringLiteral("D"));
    }
    if (map.isEmpty() || !map.contains(QLatin1String(KeyMapNames::kSenCenter))) {
        sensorButton->setUpKey(QString());
        sensorButton->setDownKey(QString());
        sensorButton->setLeftKey(QString());
        sensorButton->setRightKey(QString());
    }
}

KeyButton *KeyBoardDialog::newKeyButton()
{
    auto *button = new KeyButton(this);
    // Connected before anything can give it the focus, so its first focus-in is seen.
    connectKeyButton(button);
    return button;
}

SlideButton *KeyBoardDialog::newSlideButton()
{
    auto *button = new SlideButton(this);
    connectSlideButton(button);
    return button;
}

void KeyBoardDialog::connectKeyButton(KeyButton *button)
{
    connect(button, &KeyButton::focusIn, this, &KeyBoardDialog::keyFocusIn);
    connect(button, &KeyButton::focusOut, this, &KeyBoardDialog::keyFocusOut);
    connect(button, &KeyButton::keyPress, this, &KeyBoardDialog::keyCheck);
    connect(button, &KeyButton::closeKeyButton, this,
            [this, button](const QString &key) { keyRemove(key, button); });
}

void KeyBoardDialog::connectSlideButton(SlideButton *button)
{
    connect(button, &SlideButton::focusIn, this, &KeyBoardDialog::slideFocusIn);
    connect(button, &SlideButton::focusOut, this, &KeyBoardDialog::slideFocusOut);
    connect(button, &SlideButton::keyPress, this, &KeyBoardDialog::slideCheck);
    connect(button, &SlideButton::closeSlideButton, this,
            [this, button](const QString &key) { slideRemove(key, button); });
}

// Out of the index, signals cut, hidden and closed; closing deletes the button later (deferred), never
// inside the signal that asked for it.
void KeyBoardDialog::removeKeyButton(KeyButton *button)
{
    dropEntriesOf(keyButtons, button);
    disconnect(button, nullptr, this, nullptr);
    button->hide();
    button->close();
}

void KeyBoardDialog::removeSlideButton(SlideButton *button)
{
    dropEntriesOf(slideButtons, button);
    disconnect(button, nullptr, this, nullptr);
    button->hide();
    button->close();
}

void KeyBoardDialog::removeKeylessSlide()
{
    if (SlideButton *keyless = slideButtons.value(QStringLiteral("NULL")))
        removeSlideButton(keyless);
}

void KeyBoardDialog::removeButtonsOn(const QStringList &keys)
{
    for (const QString &key : keys) {
        if (key.isEmpty())
            continue;
        if (KeyButton *button = keyButtons.value(key))
            removeKeyButton(button);
    }
}

QStringList KeyBoardDialog::shortcutTexts() const
{
    SettingModel *settings = SettingModel::instance();
    settings->load(false);
    return settings->shortcutMap().keys();
}

void KeyBoardDialog::showHotKeyMessage()
{
    const QString text = tr("Keyboard_save_confilc");
    if (messageHandler())
        messageHandler()(this, text);
    else
        qWarning().noquote() << kLog + QStringLiteral("a key is a hot key: ") + text;
}

void KeyBoardDialog::showConflictNotice()
{
    const QRect g = geometry();
    conflictTip.ensureSized();
    conflictTip.showFor(QPoint(g.x() + (g.width() - conflictTip.width()) / 2,
                               g.y() + (g.height() - conflictTip.height()) / 2),
                        kNoticeMs);
}

bool KeyBoardDialog::conflicts(int asker, const QString &key, QObject *self, int field) const
{
    KeyMapRules::EditorKeys keys;
    keys.padShown = !positionButton->isHidden();
    keys.padKeys = positionButton->keys();
    keys.sensorShown = !sensorButton->isHidden();
    keys.sensorKeys = sensorButton->keys();
    for (auto it = keyButtons.constBegin(); it != keyButtons.constEnd(); ++it)
        keys.keyButtons.insert(it.key(), it.value());
    for (auto it = slideButtons.constBegin(); it != slideButtons.constEnd(); ++it)
        keys.slideButtons.insert(it.key(), it.value());
    return KeyMapRules::conflicts(keys, static_cast<KeyMapRules::Asker>(asker), key, self, field);
}

void KeyBoardDialog::keyFocusIn(KeyButton *button)
{
    currentKeyButton = button;
    currentKeyText = button->keyText();
}

void KeyBoardDialog::keyCheck(KeyButton *button, const QString &key)
{
    if (conflicts(int(KeyMapRules::Asker::Key), key, button, -1)) {
        button->setKeyText(QString());
        showConflictNotice();
        return;
    }
    const auto it = keyButtons.find(currentKeyText);
    if (it != keyButtons.end() && it.value() == button)
        keyButtons.erase(it);
    currentKeyText = key;
}

void KeyBoardDialog::keyFocusOut(KeyButton *button)
{
    currentKeyButton = button;
    QString key = button->keyText();
    if (KeyMapRules::isHotKey(key, shortcutTexts())) {
        showHotKeyMessage();
        key.clear();
        button->setKeyText(key);
    }
    if (key.isEmpty()) {
        removeKeyButton(button);
        return;
    }
    dropEntriesOf(keyButtons, button);
    keyButtons.insert(key, button);
    currentKeyText.clear();
}

void KeyBoardDialog::keyRemove(const QString &, KeyButton *button)
{
    removeKeyButton(button);
}

void KeyBoardDialog::slideFocusIn(SlideButton *button)
{
    currentSlideButton = button;
    currentKeyText = button->keyText();
}

void KeyBoardDialog::slideCheck(SlideButton *button, const QString &key)
{
    if (conflicts(int(KeyMapRules::Asker::Slide), key, button, -1)) {
        button->setKeyText(QString());
        showConflictNotice();
        return;
    }
    const auto it = slideButtons.find(currentKeyText);
    if (it != slideButtons.end() && it.value() == button)
        slideButtons.erase(it);
    currentKeyText = key;
}

void KeyBoardDialog::slideFocusOut(SlideButton *button)
{
    currentSlideButton = button;
    QString key = button->keyText();
    if (KeyMapRules::isHotKey(key, shortcutTexts())) {
        showHotKeyMessage();
        removeSlideButton(button);
        return;
    }
    if (key.isEmpty())
        key = QStringLiteral("NULL");
    dropEntriesOf(slideButtons, button);
    slideButtons.insert(key, button);
    currentKeyText.clear();
}

void KeyBoardDialog::slideRemove(const QString &, SlideButton *button)
{
    removeSlideButton(button);
}

void KeyBoardDialog::padCheck(PadButton *pad, KeyLineEdit *field, const QString &key)
{
    const auto asker = pad == positionButton ? KeyMapRules::Asker::Pad : KeyMapRules::Asker::Sensor;
    if (conflicts(int(asker), key, nullptr, fieldIndex(field))) {
        field->setText(QString());
        showConflictNotice();
    }
}

void KeyBoardDialog::sensorFocusOut()
{
    const QStringList keys = sensorButton->keys();
    for (const QString &key : keys) {
        if (!key.isEmpty())
            return;
    }
    sensorButton->hide();
}

KeyMap KeyBoardDialog::buildKeyMap() const
{
    KeyMap map;
    for (auto it = keyButtons.constBegin(); it != keyButtons.constEnd(); ++it)
        map.insert(it.key(), KeyMapItem{KeyMapKey, it.value()->center()});
    for (auto it = slideButtons.constBegin(); it != slideButtons.constEnd(); ++it) {
        static const QStringList words{QStringLiteral("up"), QStringLiteral("down"), QStringLiteral("left"),
                                       QStringLiteral("right")};
        const int index = words.indexOf(it.value()->direction());
        if (index >= 0)
            map.insert(it.key(), KeyMapItem{KeyMapSlideUp + index, it.value()->center()});
    }
    if (!aimButton->isHidden())
        map.insert(QLatin1String(KeyMapNames::kAim), KeyMapItem{KeyMapAim, aimButton->center()});
    if (!fireButton->isHidden())
        map.insert(QLatin1String(KeyMapNames::kFire), KeyMapItem{KeyMapFire, fireButton->center()});
    if (!positionButton->isHidden()) {
        const QPoint c = positionButton->center();
        const int r = positionButton->radius;
        map.insert(QLatin1String(KeyMapNames::kPosCenter), KeyMapItem{KeyMapPosCenter, c});
        const QPoint points[] = {c + QPoint(0, -r), c + QPoint(0, r), c + QPoint(-r, 0), c + QPoint(r, 0)};
        const QStringList keys = positionButton->keys();
        for (int i = 0; i < 4; ++i) {
            if (!keys.at(i).isEmpty())
                map.insert(keys.at(i), KeyMapItem{KeyMapPosUp + i, points[i]});
        }
    }
    if (!sensorButton->isHidden()) {
        map.insert(QLatin1String(KeyMapNames::kSenCenter),
                   KeyMapItem{KeyMapSenCenter, sensorButton->center()});
        const QStringList keys = sensorButton->keys();
        for (int i = 0; i < 4; ++i) {
            if (!keys.at(i).isEmpty())
                map.insert(keys.at(i), KeyMapItem{KeyMapSenUp + i, QPoint(0, 0)});
        }
    }
    return map;
}

void KeyBoardDialog::on_btn_save_clicked()
{
    removeKeylessSlide();

    // A key whose press is a hot key would never play: the save is refused.
    const QStringList shortcuts = shortcutTexts();
    QStringList keys = keyButtons.keys() + slideButtons.keys();
    if (!positionButton->isHidden())
        keys += positionButton->keys();
    if (!sensorButton->isHidden())
        keys += sensorButton->keys();
    for (const QString &key : qAsConst(keys)) {
        if (KeyMapRules::isHotKey(key, shortcuts)) {
            showHotKeyMessage();
            return;
        }
    }

    const KeyMap map = buildKeyMap();
    // The record in force belongs to the package in the foreground; when another package came to the
    // foreground meanwhile, its record stays as it is and only the file of this editor's package is
    // written.
    if (Global::currentPackage == m_package)
        replaceCurrentKeyMap(map);
    else
        qInfo().noquote() << kLog +
                                 QStringLiteral("package changed to %1 while editing %2; its record is kept")
                                     .arg(Global::currentPackage, m_package);
    const QString path = KeyMapFile::filePath(m_vm, m_package);
    if (path.isEmpty() || !KeyMapFile::write(path, map, screenRect, rotation))
        qWarning().noquote() << kLog +
                                    QStringLiteral("key map not written for %1 of %2").arg(m_package, m_vm);
    else
        qInfo().noquote() << kLog + QStringLiteral("saved %1 entries to %2").arg(map.size()).arg(path);

    close();
    emit keyBoardSettingSave();
    saved = true;
}

void KeyBoardDialog::on_btn_clear_clicked()
{
    fireButton->hide();
    aimButton->hide();
    positionButton->hide();
    sensorButton->hide();
    const QList<KeyButton *> keys = keyButtons.values();
    for (KeyButton *button : keys) {
        if (keyButtons.values().contains(button))
            removeKeyButton(button);
    }
    const QList<SlideButton *> slides = slideButtons.values();
    for (SlideButton *button : slides) {
        if (slideButtons.values().contains(button))
            removeSlideButton(button);
    }
}

void KeyBoardDialog::on_pushButton_clicked()
{
    reject();
}

void KeyBoardDialog::on_help_clicked()
{
    if (!coursebookDialog->isVisible())
        coursebookDialog->exec();
}

bool KeyBoardDialog::event(QEvent *event)
{
    if (event->type() == QEvent::MouseButtonPress)
        emit dialogActived();
    return QDialog::event(event);
}

void KeyBoardDialog::mouseMoveEvent(QMouseEvent *event)
{
    auto *palette = qobject_cast<OperatorButton *>(childAt(event->pos()));
    if (!palette)
        return;
    const int kind = palette->operateType;
    if (kind < Fire || kind > Slide)
        return;
    auto *mime = new QMimeData;
    mime->setData(QLatin1String(kMimeType), mimeBytes(kind));
    const QPixmap pixmap(QLatin1String(kPalette[kind].dragPixmap));
    switch (kind) {
    case Fire:
        fireButton->hide();
        break;
    case Aim:
        aimButton->hide();
        break;
    case Position:
        positionButton->hide();
        break;
    case Sensor:
        sensorButton->hide();
        break;
    default:
        break;
    }
    auto *drag = new QDrag(this);
    drag->setMimeData(mime);
    drag->setPixmap(pixmap);
    drag->setHotSpot(QPoint(pixmap.width() / 2, pixmap.height() / 2));
    drag->exec(Qt::MoveAction);
}

void KeyBoardDialog::keyPressEvent(QKeyEvent *event)
{
    // Escape neither closes the editor nor goes anywhere else.
    if (event->key() == Qt::Key_Escape)
        return;
    QDialog::keyPressEvent(event);
}

void KeyBoardDialog::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.fillRect(QRect(0, 0, screenRect.width(), kBarHeight), QColor(0, 0, 0, 143));
    painter.fillRect(rect(), QColor(0, 0, 0, 127));
}

void KeyBoardDialog::dragEnterEvent(QDragEnterEvent *event)
{
    if (!event->mimeData()->hasFormat(QLatin1String(kMimeType))) {
        event->ignore();
        return;
    }
    if (event->source() != this) {
        event->acceptProposedAction();
        return;
    }
    removeKeylessSlide();
    event->setDropAction(Qt::MoveAction);
    event->accept();
}

void KeyBoardDialog::dragMoveEvent(QDragMoveEvent *event)
{
    if (!event->mimeData()->hasFormat(QLatin1String(kMimeType))) {
        event->ignore();
        return;
    }
    if (event->source() != this) {
        event->acceptProposedAction();
        return;
    }
    event->setDropAction(Qt::MoveAction);
    event->accept();
}

void KeyBoardDialog::dropEvent(QDropEvent *event)
{
    if (!event->mimeData()->hasFormat(QLatin1String(kMimeType))) {
        event->ignore();
        return;
    }
    QDataStream stream(event->mimeData()->data(QLatin1String(kMimeType)));
    qint32 kind = -1;
    stream >> kind;
    if (stream.status() != QDataStream::Ok)
        kind = -1;
    const QPoint p = event->pos();
    switch (kind) {
    case Fire:
        fireButton->moveCenter(p.x(), p.y());
        fireButton->show();
        break;
    case Aim:
        aimButton->moveCenter(p.x(), p.y());
        aimButton->show();
        break;
    case Key: {
        KeyButton *button = newKeyButton();
        currentKeyButton = button;
        button->moveCenter(p.x(), p.y());
        button->show();
        button->focusKeyEdit();
        break;
    }
    case Slide: {
        SlideButton *button = newSlideButton();
        currentSlideButton = button;
        button->moveCenter(p.x(), p.y());
        button->show();
        button->focusKeyEdit();
        break;
    }
    case Position:
    case Sensor: {
        const bool direction = kind == Position;
        PadButton *pad = direction ? static_cast<PadButton *>(positionButton) : sensorButton;
        PadButton *other = direction ? static_cast<PadButton *>(sensorButton) : positionButton;
        const QStringList keys =
            direction ? QStringList{"W", "S", "A", "D"} : QStringList{"Up", "Down", "Left", "Right"};
        pad->moveCenter(p.x(), p.y());
        pad->setUpKey(keys[0]);
        pad->setDownKey(keys[1]);
        pad->setLeftKey(keys[2]);
        pad->setRightKey(keys[3]);
        pad->show();
        pad->focusKeyEdit();
        removeButtonsOn(keys);
        if (!other->isHidden()) {
            for (const QString &key : other->keys()) {
                if (!key.isEmpty() && keys.contains(key)) {
                    other->hide();
                    break;
                }
            }
        }
        for (const QString &key : keys) {
            if (SlideButton *slide = slideButtons.value(key))
                removeSlideButton(slide);
        }
        break;
    }
    default:
        return;
    }
    if (event->source() == this) {
        event->setDropAction(Qt::MoveAction);
        event->accept();
    } else {
        event->acceptProposedAction();
    }
}
