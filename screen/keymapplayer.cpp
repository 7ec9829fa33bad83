#include "keymapplayer.h"

#include "androidtouchwidget.h"
#include "global.h"
#include "keymapdownloads.h"
#include "keytext.h"
#include "launcherrequest.h"
#include "logtags.h"
#include "programs.h"
#include "vinputconnection.h"

#include <QCoreApplication>
#include <QCursor>
#include <QDebug>
#include <QKeyEvent>
#include <QPointer>
#include <QSettings>
#include <QThread>
#include <QThreadPool>

#include <algorithm>

namespace {

const QString kPosition = QStringLiteral("POSITION");
const QString kAim = QString::fromLatin1(KeyMapNames::kAim);
const QString kFire = QString::fromLatin1(KeyMapNames::kFire);
const QString kPosCenter = QString::fromLatin1(KeyMapNames::kPosCenter);
const QString kEnableKey = QStringLiteral("KeyboardKeyIsEnable");
const QString kOpacityKey = QStringLiteral("Opacity");
constexpr int kDefaultOpacity = 50;
// The pad finger rests this long at the pad's centre before it moves toward the first key's point.
constexpr int kPadStartMs = 50;
// A swipe: four steps of 50 pixels, 10 ms apart.
constexpr int kSlideSteps = 4;
constexpr int kSlideStep = 50;
constexpr int kSlideSleepMs = 10;
constexpr int kTilt = 7;

bool isPadKey(qint32 type)
{
    return type >= KeyMapPosUp && type <= KeyMapPosRight;
}

bool isSlide(qint32 type)
{
    return type >= KeyMapSlideUp && type <= KeyMapSlideRight;
}

} // namespace

KeyMapPlayer::KeyMapPlayer(AndroidTouchWidget *touch)
    : QObject(touch), m_touch(touch),
      m_downloads(new KeyMapDownloads(QString::fromLatin1(kDownloadProgram), this))
{
    qRegisterMetaType<KeyMap>("KeyMap");
    connect(m_downloads, &KeyMapDownloads::started, this, &KeyMapPlayer::downloadStarted);
    connect(m_downloads, &KeyMapDownloads::finished, this, &KeyMapPlayer::onDownloadFinished);
}

KeyMapPlayer::~KeyMapPlayer()
{
    saveSwitches();
}

bool KeyMapPlayer::applyLoad(const KeyMapFile::LoadResult &result)
{
    replaceCurrentKeyMap(KeyMap());
    switch (result.status) {
    case KeyMapFile::LoadStatus::NoFile:
        m_fileLoaded = false;
        return true;
    case KeyMapFile::LoadStatus::ParseError:
        // A file that is no JSON is as good as none: the next package change fetches it again.
        m_fileLoaded = false;
        qInfo().noquote() << ORV_LOG_ANDROID "key map of " + Global::currentPackage + " is not readable";
        return true;
    case KeyMapFile::LoadStatus::ShapeMismatch:
        m_fileLoaded = true;
        m_fileRotation = result.rotation;
        qInfo().noquote() << ORV_LOG_ANDROID "key map of " + Global::currentPackage +
                                 " was made for another screen shape";
        return false;
    case KeyMapFile::LoadStatus::Loaded: {
        m_fileLoaded = true;
        m_fileRotation = result.rotation;
        const int buttons = KeyMapFile::buttonCount(result.map);
        if (buttons > KeyMapFile::kMaxButtons) {
            // No game needs that many: such a map would only hold the window up. The file stays.
            qInfo().noquote() << ORV_LOG_ANDROID "key map of " + Global::currentPackage + " has " +
                                     QString::number(buttons) + " buttons, more than " +
                                     QString::number(KeyMapFile::kMaxButtons) + ": not played";
            return true;
        }
        replaceCurrentKeyMap(result.map);
        qInfo().noquote() << ORV_LOG_ANDROID "key map of " + Global::currentPackage +
                                 " in force: " + QString::number(result.map.size()) + " entries";
        return true;
    }
    }
    return true;
}

bool KeyMapPlayer::loadKeyMap()
{
    const QString path = KeyMapFile::filePath(Global::vmName, Global::currentPackage);
    if (path.isEmpty()) {
        // A name that is no Android package name reaches no file and starts no download.
        replaceCurrentKeyMap(KeyMap());
        m_fileLoaded = true;
        return true;
    }
    return applyLoad(KeyMapFile::load(path, m_touch->size()));
}

void KeyMapPlayer::reloadKeyMap()
{
    if (!loadKeyMap()) {
        // The map does not fit this screen: nothing of it may stay on the screen or hold a finger.
        clearOverlay();
        liftFingers();
        emit keyboardStatusChanged();
        return;
    }
    afterLoad();
}

void KeyMapPlayer::afterLoad()
{
    clearOverlay();
    const QString package = Global::currentPackage;
    if (!Global::keyMapEnabledMap.contains(package))
        readSwitch(package);
    if (Global::isKeyMapEnabled())
        buildOverlaySoon();
    emit keyboardStatusChanged();
}

void KeyMapPlayer::buildOverlaySoon()
{
    m_overlayPending = true;
    QMetaObject::invokeMethod(
        this,
        [this] {
            if (m_overlayPending && Global::isKeyMapEnabled())
                buildOverlay();
        },
        Qt::QueuedConnection);
}

void KeyMapPlayer::readSwitch(const QString &package)
{
    const QString path = KeyMapFile::settingsPath(Global::vmName);
    if (path.isEmpty() || !KeyMapFile::isValidPackageName(package))
        return;
    QSettings settings(path, QSettings::IniFormat);
    if (!settings.childGroups().contains(package))
        return;
    settings.beginGroup(package);
    QMutexLocker lock(&Global::keyMapMutex);
    Global::keyMapEnabledMap.insert(package, settings.value(kEnableKey, false).toBool());
    Global::keyMapOpacityMap.insert(package, settings.value(kOpacityKey, kDefaultOpacity).toInt());
}

void KeyMapPlayer::saveSwitches()
{
    const QString path = KeyMapFile::settingsPath(Global::vmName);
    if (path.isEmpty() || (Global::keyMapEnabledMap.isEmpty() && Global::keyMapOpacityMap.isEmpty()))
        return;
    QSettings settings(path, QSettings::IniFormat);
    QStringList packages = Global::keyMapEnabledMap.keys();
    std::sort(packages.begin(), packages.end());
    for (const QString &package : packages) {
        if (KeyMapFile::isValidPackageName(package))
            settings.setValue(package + QLatin1Char('/') + kEnableKey,
                              Global::keyMapEnabledMap.value(package));
    }
    packages = Global::keyMapOpacityMap.keys();
    std::sort(packages.begin(), packages.end());
    for (const QString &package : packages) {
        if (KeyMapFile::isValidPackageName(package))
            settings.setValue(package + QLatin1Char('/') + kOpacityKey,
                              Global::keyMapOpacityMap.value(package));
    }
}

void KeyMapPlayer::buildOverlay()
{
    clearOverlay();
    if (currentKeyMap.isEmpty())
        return;
    {
        QMutexLocker lock(&Global::keyMapMutex);
        Global::keyMapEnabledMap.insert(Global::currentPackage, true);
    }
    emit overlayBuildRequested(currentKeyMap);
    m_overlayShown = true;
    opacitySliderMoved(Global::keyMapOpacityMap.value(Global::currentPackage, kDefaultOpacity));
}

void KeyMapPlayer::clearOverlay()
{
    m_overlayPending = false;
    m_overlayShown = false;
    emit overlayClearRequested();
}

void KeyMapPlayer::opacitySliderMoved(int value)
{
    {
        QMutexLocker lock(&Global::keyMapMutex);
        Global::keyMapOpacityMap.insert(Global::currentPackage, value);
    }
    emit opacityValueChanged(value);
    emit overlayOpacityRequested(value / 100.0);
}

void KeyMapPlayer::onPackageChanged(const QString &package)
{
    qDebug().noquote() << " ---------------> " + package;
    liftFingers();
    clearOverlay();
    Global::currentPackage = package;
    m_aimMode = false;
    reloadKeyMap();
    if (!m_fileLoaded)
        startDownload();
}

void KeyMapPlayer::startDownload()
{
    const QString vm = Global::vmName;
    const QString package = Global::currentPackage;
    if (KeyMapFile::filePath(vm, package).isEmpty())
        return;
    if (!m_downloads->request(vm, package))
        qInfo().noquote() << ORV_LOG_ANDROID "key-map download for " + package + " already asked for";
}

void KeyMapPlayer::onDownloadFinished(const QString &package)
{
    // The file the downloader may have written is read off the GUI thread and handed over whole.
    const QString path = KeyMapFile::filePath(Global::vmName, package);
    if (path.isEmpty() || package != Global::currentPackage)
        return;
    const QSize size = m_touch->size();
    QPointer<KeyMapPlayer> guard(this);
    QThreadPool::globalInstance()->start([guard, package, path, size] {
        const KeyMapFile::LoadResult result = KeyMapFile::load(path, size);
        QMetaObject::invokeMethod(
            QCoreApplication::instance(),
            [guard, package, result] {
                if (guard)
                    guard->onDownloadLoaded(package, result);
            },
            Qt::QueuedConnection);
    });
}

void KeyMapPlayer::onDownloadLoaded(const QString &package, const KeyMapFile::LoadResult &result)
{
    // Only the package still in the foreground may replace the map in force.
    if (package != Global::currentPackage || result.status != KeyMapFile::LoadStatus::Loaded)
        return;
    applyLoad(result);
    afterLoad();
}

void KeyMapPlayer::onKeyboardStatusChanged()
{
    const QString package = Global::currentPackage;
    if (!Global::keyMapEnabledMap.contains(package)) {
        // A package that never had its key map switched on keeps it off until the editor saves one.
        qInfo().noquote() << ORV_LOG_ANDROID "key map switch: " + package + " has no key map";
        return;
    }
    const bool on = !Global::keyMapEnabledMap.value(package);
    {
        QMutexLocker lock(&Global::keyMapMutex);
        Global::keyMapEnabledMap.insert(package, on);
    }
    qInfo().noquote() << ORV_LOG_ANDROID "key map " + QLatin1String(on ? "on" : "off") + " for " + package;
    if (on) {
        buildOverlay();
    } else {
        clearOverlay();
        liftFingers();
    }
    emit keyControlSwitched(on);
    emit keyboardStatusChanged();
}

void KeyMapPlayer::keyBoardSettingSave()
{
    buildOverlay();
    emit keyboardStatusChanged();
}

void KeyMapPlayer::touchDown(const QString &id, const QPoint &p)
{
    m_fingers.insert(id);
    m_touch->touchDown(id, p.x(), p.y(), true);
}

void KeyMapPlayer::touchUp(const QString &id)
{
    m_fingers.remove(id);
    m_touch->touchUp(id);
}

void KeyMapPlayer::liftFingers()
{
    // In name order, so that the lines of a lift are the same every time.
    QStringList fingers = m_fingers.values();
    fingers.sort();
    m_fingers.clear();
    for (const QString &id : fingers)
        m_touch->touchUp(id);
    for (auto it = m_held.constBegin(); it != m_held.constEnd(); ++it)
        m_liftedKeys.insert(it.key());
    m_held.clear();
    m_pressedPadKeys.clear();
    if (m_tilted)
        sendTilt(0, 0);
}

QPoint KeyMapPlayer::padAverage() const
{
    double x = 0;
    double y = 0;
    for (const KeyMapItem &item : m_pressedPadKeys) {
        x += item.pos.x();
        y += item.pos.y();
    }
    const double n = m_pressedPadKeys.size();
    return QPoint(qRound(x / n), qRound(y / n));
}

void KeyMapPlayer::sendTilt(int a, int b)
{
    m_tilted = a != 0 || b != 0;
    VInputConnection::instance().SendMouseOrKeyEvent(VInputSensor, a, b);
}

void KeyMapPlayer::slide(const QString &name, const KeyMapItem &item)
{
    static const QPoint steps[] = {QPoint(0, -kSlideStep), QPoint(0, kSlideStep), QPoint(-kSlideStep, 0),
                                   QPoint(kSlideStep, 0)};
    const QPoint d = steps[item.type - KeyMapSlideUp];
    QPoint p = item.pos;
    touchDown(name, p);
    QThread::msleep(kSlideSleepMs);
    for (int i = 0; i < kSlideSteps; ++i) {
        p += d;
        m_touch->touchMove(name, p.x(), p.y());
        QThread::msleep(kSlideSleepMs);
    }
    touchUp(name);
}

bool KeyMapPlayer::keyPress(QKeyEvent *event)
{
    const QString name = KeyText::keyName(event->key());
    m_liftedKeys.remove(name);
    if (!Global::isKeyMapEnabled())
        return false;
    if (name.isEmpty() || !currentKeyMap.contains(name))
        return false;
    const KeyMapItem item = currentKeyMap.value(name);
    if (m_held.contains(name))
        return true;
    m_held.insert(name, item);
    const bool rotated = m_touch->rotation() == 90 || m_touch->rotation() == 270;
    if (item.type == KeyMapKey) {
        touchDown(name, item.pos);
    } else if (isPadKey(item.type)) {
        m_pressedPadKeys.insert(name, item);
        if (m_pressedPadKeys.size() == 1) {
            touchDown(kPosition, currentKeyMap.value(kPosCenter).pos);
            QThread::msleep(kPadStartMs);
            m_touch->touchMove(kPosition, item.pos.x(), item.pos.y());
        } else {
            const QPoint p = padAverage();
            m_touch->touchMove(kPosition, p.x(), p.y());
        }
    } else if (item.type == KeyMapSenLeft) {
        rotated ? sendTilt(1, -kTilt) : sendTilt(0, kTilt);
    } else if (item.type == KeyMapSenRight) {
        rotated ? sendTilt(1, kTilt) : sendTilt(0, -kTilt);
    } else if (isSlide(item.type)) {
        slide(name, item);
    }
    return true;
}

bool KeyMapPlayer::keyRelease(QKeyEvent *event)
{
    // Only a key whose press the key map took ends here, whatever the switch says by now: a key
    // pressed before the map came on goes on to the guest, which saw its press.
    const QString name = KeyText::keyName(event->key());
    if (m_liftedKeys.remove(name))
        return true;
    if (name.isEmpty() || !m_held.contains(name))
        return false;
    const KeyMapItem item = m_held.take(name);
    if (item.type == KeyMapKey) {
        touchUp(name);
    } else if (isPadKey(item.type)) {
        m_pressedPadKeys.remove(name);
        if (m_pressedPadKeys.isEmpty()) {
            touchUp(kPosition);
        } else {
            const QPoint p = padAverage();
            m_touch->touchMove(kPosition, p.x(), p.y());
        }
    } else if (item.type == KeyMapSenLeft || item.type == KeyMapSenRight) {
        sendTilt(0, 0);
    }
    return true;
}

bool KeyMapPlayer::rightPress()
{
    if (!Global::isKeyMapEnabled())
        return false;
    const bool hasAim = currentKeyMap.contains(kAim);
    if (!hasAim && !currentKeyMap.contains(kFire)) {
        m_aimMode = false;
        return true;
    }
    m_aimMode = !m_aimMode;
    if (m_aimMode) {
        if (hasAim) {
            const QPoint aim = currentKeyMap.value(kAim).pos;
            touchDown(kAim, aim);
            m_touch->touchMove(kAim, aim.x(), aim.y());
            QCursor::setPos(m_touch->mapToGlobal(aim));
        }
        LauncherRequest::send(LauncherRequest::Toast,
                              QCoreApplication::translate("AndroidTouchWidget", "keyboard_mouse_right_open"));
    } else {
        if (hasAim)
            touchUp(kAim);
        LauncherRequest::send(
            LauncherRequest::Toast,
            QCoreApplication::translate("AndroidTouchWidget", "keyboard_mouse_right_close"));
    }
    return true;
}

bool KeyMapPlayer::mouseMove(const QPoint &point)
{
    if (!m_aimMode)
        return false;
    m_touch->touchMove(kAim, point.x(), point.y());
    return true;
}

bool KeyMapPlayer::leftPress(const QPoint &point)
{
    if (!Global::isKeyMapEnabled() || !m_aimMode)
        return false;
    const bool hasAim = currentKeyMap.contains(kAim);
    QPoint p;
    if (currentKeyMap.contains(kFire))
        p = currentKeyMap.value(kFire).pos;
    else if (hasAim)
        p = currentKeyMap.value(kAim).pos;
    m_firePressPoint = point;
    if (hasAim)
        touchUp(kAim);
    touchDown(kFire, p);
    return true;
}

void KeyMapPlayer::leftRelease()
{
    touchUp(kFire);
    if (m_aimMode && Global::isKeyMapEnabled() && currentKeyMap.contains(kAim)) {
        touchDown(kAim, m_firePressPoint);
        m_touch->touchMove(kAim, m_firePressPoint.x(), m_firePressPoint.y());
    }
}
