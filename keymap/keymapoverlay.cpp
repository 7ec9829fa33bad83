#include "keymapoverlay.h"

#include "firebutton.h"
#include "keybutton.h"
#include "overlaywindow.h"
#include "padbutton.h"
#include "slidebutton.h"

KeyMapOverlay::KeyMapOverlay(QWidget *host, QObject *parent)
    : QObject(parent), m_host(host), m_window(host ? new OverlayWindow(host) : nullptr)
{
    if (m_window)
        m_window->setOverlayOpacity(m_opacity);
}

KeyMapOverlay::~KeyMapOverlay()
{
    clear();
    delete m_window.data();
}

template <typename Button, typename... Form> Button *KeyMapOverlay::makeButton(Form... form)
{
    auto *button = new Button(m_window, form...);
    // Hidden until the map shows it: a child of a window not yet shown would show with the window.
    button->hide();
    button->setAttribute(Qt::WA_TransparentForMouseEvents);
    button->displayOnly = true;
    button->setDisplayOnly(true);
    // The overlay's window shows the opacity (a compositing manager blends it); an effect per button
    // would paint each through a pixmap of its own.
    button->setOpacityByWindow(true);
    button->setOpacity(m_opacity);
    return button;
}

OverlayWindow *KeyMapOverlay::window() const
{
    return m_window.data();
}

QList<BaseButton *> KeyMapOverlay::buttons() const
{
    QList<BaseButton *> all;
    for (BaseButton *b :
         {static_cast<BaseButton *>(m_fire.data()), static_cast<BaseButton *>(m_aim.data()),
          static_cast<BaseButton *>(m_position.data()), static_cast<BaseButton *>(m_sensor.data())}) {
        if (b)
            all.append(b);
    }
    for (const auto &b : m_keys) {
        if (b)
            all.append(b.data());
    }
    for (const auto &b : m_slides) {
        if (b)
            all.append(b.data());
    }
    return all;
}

FireButton *KeyMapOverlay::fireButton() const
{
    return m_fire.data();
}

AimButton *KeyMapOverlay::aimButton() const
{
    return m_aim.data();
}

PositionButton *KeyMapOverlay::positionButton() const
{
    return m_position.data();
}

SensorButton *KeyMapOverlay::sensorButton() const
{
    return m_sensor.data();
}

QMap<QString, KeyButton *> KeyMapOverlay::keyButtons() const
{
    QMap<QString, KeyButton *> out;
    for (auto it = m_keys.constBegin(); it != m_keys.constEnd(); ++it) {
        if (it.value())
            out.insert(it.key(), it.value().data());
    }
    return out;
}

QMap<QString, SlideButton *> KeyMapOverlay::slideButtons() const
{
    QMap<QString, SlideButton *> out;
    for (auto it = m_slides.constBegin(); it != m_slides.constEnd(); ++it) {
        if (it.value())
            out.insert(it.key(), it.value().data());
    }
    return out;
}

void KeyMapOverlay::build(const KeyMap &map)
{
    clear();
    if (!m_host || !m_window)
        return;
    // A compositing manager may have come or gone since the last map.
    m_window->checkCompositing();
    const auto position = [this] {
        if (!m_position)
            m_position = makeButton<PositionButton>();
        return m_position.data();
    };
    const auto sensor = [this] {
        if (!m_sensor)
            m_sensor = makeButton<SensorButton>();
        return m_sensor.data();
    };
    for (auto it = map.constBegin(); it != map.constEnd(); ++it) {
        const QString &name = it.key();
        const KeyMapItem &item = it.value();
        switch (item.type) {
        case KeyMapKey: {
            auto *button = makeButton<KeyButton>(BaseButton::DisplayOnlyForm);
            button->setKeyText(name);
            button->moveCenter(item.pos.x(), item.pos.y());
            button->show();
            m_keys.insert(name, button);
            break;
        }
        case KeyMapFire:
        case KeyMapAim: {
            BaseButton *button;
            if (item.type == KeyMapFire) {
                delete m_fire.data();
                m_fire = makeButton<FireButton>();
                button = m_fire;
            } else {
                delete m_aim.data();
                m_aim = makeButton<AimButton>();
                button = m_aim;
            }
            button->moveCenter(item.pos.x(), item.pos.y());
            button->show();
            break;
        }
        case KeyMapPosCenter:
            position()->moveCenter(item.pos.x(), item.pos.y());
            m_position->show();
            break;
        case KeyMapPosUp:
            position()->setUpKey(name);
            break;
        case KeyMapPosDown:
            position()->setDownKey(name);
            break;
        case KeyMapPosLeft:
            position()->setLeftKey(name);
            break;
        case KeyMapPosRight:
            position()->setRightKey(name);
            break;
        case KeyMapSenCenter:
            sensor()->moveCenter(item.pos.x(), item.pos.y());
            m_sensor->show();
            break;
        case KeyMapSenUp:
            sensor()->setUpKey(name);
            break;
        case KeyMapSenDown:
            sensor()->setDownKey(name);
            break;
        case KeyMapSenLeft:
            sensor()->setLeftKey(name);
            break;
        case KeyMapSenRight:
            sensor()->setRightKey(name);
            break;
        case KeyMapSlideUp:
        case KeyMapSlideDown:
        case KeyMapSlideLeft:
        case KeyMapSlideRight: {
            static const char *const words[] = {"up", "down", "left", "right"};
            auto *button = makeButton<SlideButton>(BaseButton::DisplayOnlyForm);
            button->setKeyText(name);
            button->setDirection(QString::fromLatin1(words[item.type - KeyMapSlideUp]));
            button->moveCenter(item.pos.x(), item.pos.y());
            button->show();
            m_slides.insert(name, button);
            break;
        }
        default:
            // A kind this program does not know shows nothing.
            break;
        }
    }
    m_window->setContentShown(!isEmpty());
}

void KeyMapOverlay::clear()
{
    const QList<BaseButton *> all = buttons();
    m_fire.clear();
    m_aim.clear();
    m_position.clear();
    m_sensor.clear();
    m_keys.clear();
    m_slides.clear();
    if (m_window && !all.isEmpty())
        m_window->setContentShown(false);
    for (BaseButton *button : all) {
        button->hideTip();
        delete button;
    }
}

void KeyMapOverlay::setOpacity(double value)
{
    m_opacity = value;
    if (m_window)
        m_window->setOverlayOpacity(value);
    for (BaseButton *button : buttons())
        button->setOpacity(value);
}
