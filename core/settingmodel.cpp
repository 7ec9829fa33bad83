#include "settingmodel.h"

#include "global.h"
#include "paths.h"

#include <QCoreApplication>
#include <QDebug>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMutex>
#include <QSettings>
#include <QtNumeric>

#include <atomic>

namespace {

std::atomic<SettingModel *> modelInstance{nullptr};
QMutex modelMutex;

QString organizationName()
{
    const QString name = QCoreApplication::organizationName();
    return name.isEmpty() ? QStringLiteral("Halvora") : name;
}

// True when the file exists but cannot be trusted: Qt could not read or parse it, it holds NUL bytes
// (what a file cut short by a crash or a full disk often looks like), or a group header is not closed.
// It then reads as defaults. The bytes are checked here as well because Qt reports a parse error only
// to the settings object that actually parsed the file, not to later ones served from its cache.
bool isBroken(const QSettings &settings, const QString &path)
{
    if (settings.status() != QSettings::NoError)
        return true;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return false; // a missing file is simply empty
    const QByteArray bytes = file.readAll();
    if (bytes.contains('\0'))
        return true;
    for (const QByteArray &line : bytes.split('\n')) {
        const QByteArray trimmed = line.trimmed();
        if (trimmed.startsWith('[') && !trimmed.contains(']'))
            return true;
    }
    return false;
}

// Before the first write over a file that does not parse, keep its bytes beside it: rewriting it through
// QSettings would otherwise drop whatever the parser could not understand.
void keepBrokenCopy(const QString &path)
{
    const QString copy = path + QStringLiteral(".broken");
    QFile::remove(copy);
    if (QFile::copy(path, copy))
        qWarning().noquote() << "SettingModel : kept unreadable settings file as" << copy;
}

bool writeMap(const QList<QPair<QString, QVariant>> &values)
{
    const QString path = SettingModel::filePath();
    QDir().mkpath(QFileInfo(path).absolutePath());
    QSettings settings(path, QSettings::IniFormat);
    if (QFileInfo::exists(path) && isBroken(settings, path))
        keepBrokenCopy(path);
    for (const auto &entry : values)
        settings.setValue(entry.first, entry.second);
    // QSettings replaces the file atomically (temporary file, then rename), so a full disk or a death
    // in the middle leaves the previous file in place.
    settings.sync();
    // A parse error of the old content stays in the status after a good write; only an access error
    // means the new file was not written.
    if (settings.status() == QSettings::AccessError) {
        qWarning().noquote() << "SettingModel : write failed" << path;
        return false;
    }
    return true;
}

} // namespace

SettingModel *SettingModel::instance()
{
    SettingModel *model = modelInstance.load(std::memory_order_acquire);
    if (model)
        return model;
    QMutexLocker locker(&modelMutex);
    model = modelInstance.load(std::memory_order_relaxed);
    if (!model) {
        model = new SettingModel;
        modelInstance.store(model, std::memory_order_release);
        // The model lives until the process ends.
        qAddPostRoutine([] { delete modelInstance.exchange(nullptr); });
    }
    return model;
}

QString SettingModel::filePath()
{
    return Platform::appDataRoot() + QLatin1Char('/') + organizationName() + QLatin1Char('/') +
           Global::vmName + QStringLiteral(".ini");
}

SettingModel::SettingModel()
    : m_performance(new SettingPerformanceData), m_resolution(new SettingResolutionData),
      m_shortcuts(new SettingShortcutsData)
{
}

SettingModel::~SettingModel()
{
    delete m_performance;
    delete m_resolution;
    delete m_shortcuts;
}

int SettingModel::readInt(const QSettings &settings, const QString &key, int defaultValue)
{
    const QVariant value = settings.value(key);
    if (!value.isValid())
        return defaultValue;
    bool ok = false;
    const int result = value.toString().trimmed().toInt(&ok);
    return ok ? result : defaultValue;
}

bool SettingModel::readBool(const QSettings &settings, const QString &key, bool defaultValue)
{
    const QVariant value = settings.value(key);
    if (!value.isValid())
        return defaultValue;
    if (value.type() == QVariant::Bool)
        return value.toBool();
    const QString text = value.toString().trimmed().toLower();
    if (text == QLatin1String("true") || text == QLatin1String("1"))
        return true;
    if (text == QLatin1String("false") || text == QLatin1String("0"))
        return false;
    return defaultValue;
}

double SettingModel::readDouble(const QSettings &settings, const QString &key, double defaultValue)
{
    const QVariant value = settings.value(key);
    if (!value.isValid())
        return defaultValue;
    bool ok = false;
    const double result = value.toString().trimmed().toDouble(&ok);
    return ok ? result : defaultValue;
}

void SettingModel::readLocation(double *longitude, double *latitude)
{
    QSettings file(filePath(), QSettings::IniFormat);
    const double lng =
        readDouble(file, QLatin1String(SettingKeys::kLongitude), SettingKeys::kDefaultLongitude);
    const double lat = readDouble(file, QLatin1String(SettingKeys::kLatitude), SettingKeys::kDefaultLatitude);
    // An infinite or undefined number is no place on earth.
    *longitude = qIsFinite(lng) ? lng : SettingKeys::kDefaultLongitude;
    *latitude = qIsFinite(lat) ? lat : SettingKeys::kDefaultLatitude;
}

QString SettingModel::readString(const QSettings &settings, const QString &key, const QString &defaultValue)
{
    const QVariant value = settings.value(key);
    if (!value.isValid() || !value.canConvert<QString>())
        return defaultValue;
    return value.toString();
}

void SettingModel::load(bool force)
{
    if (m_loaded && !force)
        return;
    m_loaded = true;

    const QString path = filePath();
    QSettings file(path, QSettings::IniFormat);
    // A file that cannot be read or parsed counts as empty: every value takes its default.
    QSettings empty(QString(), QSettings::IniFormat);
    const bool broken = isBroken(file, path);
    if (broken)
        qWarning().noquote() << "SettingModel : settings file cannot be read, using defaults:" << path;
    const QSettings &s = broken ? empty : file;

    const SettingPerformanceData defaultsPerformance;
    const SettingResolutionData defaultsResolution;
    const SettingShortcutsData defaultsShortcuts;

    // A number outside the enumeration is no level at all: it reads as the default, like any other
    // value that cannot be converted.
    int level = readInt(s, QStringLiteral("Orvanta/Performance/Level"), defaultsPerformance.level());
    if (level < SettingPerformanceData::Low || level > SettingPerformanceData::Custom)
        level = defaultsPerformance.level();
    m_performance->setLevel(static_cast<SettingPerformanceData::PerLevel>(level));
    m_performance->setCpuCoresCount(
        readInt(s, QStringLiteral("Orvanta/Performance/CPUCoresCount"), defaultsPerformance.cpuCoresCount()));
    m_performance->setRamSize(
        readInt(s, QStringLiteral("Orvanta/Performance/RAMSize"), defaultsPerformance.ramSize()));
    m_performance->setRenderMode(
        readString(s, QStringLiteral("Orvanta/Performance/RenderMode"), defaultsPerformance.renderMode()));
    Global::renderMode = m_performance->renderMode();
    Global::systemInfo.renderMode = m_performance->renderMode();
    m_performance->setShowFps(
        readBool(s, QStringLiteral("Orvanta/Performance/IsShowFPS"), defaultsPerformance.isShowFps()));

    int type = readInt(s, QStringLiteral("Orvanta/Resolution/Type"), defaultsResolution.type());
    if (type < SettingResolutionData::Phone || type > SettingResolutionData::Custom)
        type = defaultsResolution.type();
    m_resolution->setType(static_cast<SettingResolutionData::Type>(type));
    m_resolution->setWidth(
        readInt(s, QStringLiteral("Orvanta/Resolution/width"), defaultsResolution.width()));
    m_resolution->setHeight(
        readInt(s, QStringLiteral("Orvanta/Resolution/height"), defaultsResolution.height()));
    m_resolution->setDpi(readInt(s, QStringLiteral("Orvanta/Resolution/DPI"), defaultsResolution.dpi()));

    m_volume = readInt(s, QString::fromLatin1(SettingKeys::kVolume), 5);

    const SettingShortcutsData &d = defaultsShortcuts;
    const QString g = QStringLiteral("Orvanta/Shortcuts/");
    m_shortcuts->setBossKeyIsEnable(readBool(s, g + QStringLiteral("BossKeyIsEnable"), d.bossKeyIsEnable()));
    m_shortcuts->setBossKey(readString(s, g + QStringLiteral("BossKey"), d.bossKey()));
    m_shortcuts->setReturnKeyIsEnable(
        readBool(s, g + QStringLiteral("ReturnKeyIsEnable"), d.returnKeyIsEnable()));
    m_shortcuts->setReturnKey(readString(s, g + QStringLiteral("ReturnKey"), d.returnKey()));
    m_shortcuts->setHomeKeyIsEnable(readBool(s, g + QStringLiteral("HomeKeyIsEnable"), d.homeKeyIsEnable()));
    m_shortcuts->setHomeKey(readString(s, g + QStringLiteral("HomeKey"), d.homeKey()));
    m_shortcuts->setMenuKeyIsEnable(readBool(s, g + QStringLiteral("MenuKeyIsEnable"), d.menuKeyIsEnable()));
    m_shortcuts->setMenuKey(readString(s, g + QStringLiteral("MenuKey"), d.menuKey()));
    m_shortcuts->setKeyboardKeyIsEnable(
        readBool(s, g + QStringLiteral("KeyboardKeyIsEnable"), d.keyboardKeyIsEnable()));
    m_shortcuts->setKeyboardKey(readString(s, g + QStringLiteral("KeyboardKey"), d.keyboardKey()));
    m_shortcuts->setIsEnable(readBool(s, g + QStringLiteral("IsEnable"), d.isEnable()));
    m_shortcuts->setIsSilent(readBool(s, g + QStringLiteral("IsSilent"), d.isSilent()));
    // A stored empty text names no key: that shortcut is off (it never matches a key press).
    const struct
    {
        const char *key;
        QString text;
    } stored[] = {{"BossKey", m_shortcuts->bossKey()},
                  {"ReturnKey", m_shortcuts->returnKey()},
                  {"HomeKey", m_shortcuts->homeKey()},
                  {"MenuKey", m_shortcuts->menuKey()},
                  {"KeyboardKey", m_shortcuts->keyboardKey()}};
    for (const auto &shortcut : stored)
        if (shortcut.text.isEmpty())
            qInfo().noquote() << QStringLiteral("Setting    : the shortcut %1 is empty: switched off")
                                     .arg(QLatin1String(shortcut.key));

    m_isShowCloseDialog = readBool(s, QStringLiteral("Global/isShowCloseDialog"), true);
    m_isShowVTCheckDialog = readBool(s, QStringLiteral("Global/isShowVTCheckDialog"), true);
    m_isShowOptionalCheckRes = readBool(s, QStringLiteral("Global/isShowOptionalCheckRes"), true);
    m_isScriptFirstRun = readBool(s, QString::fromLatin1(SettingKeys::kScriptFirstRun), true);
}

void SettingModel::setShowCloseDialog(bool show)
{
    m_isShowCloseDialog = show;
    writeValue(QStringLiteral("Global/isShowCloseDialog"), show);
}

void SettingModel::setShowVTCheckDialog(bool show)
{
    m_isShowVTCheckDialog = show;
    writeValue(QStringLiteral("Global/isShowVTCheckDialog"), show);
}

void SettingModel::setShowOptionalCheckRes(bool show)
{
    m_isShowOptionalCheckRes = show;
    writeValue(QStringLiteral("Global/isShowOptionalCheckRes"), show);
}

QString SettingModel::settingsText() const
{
    return QStringLiteral("cpu: %1\r\nram: %2\r\nrender: %3\r\nwidth: %4\r\nheight: %5\r\ndpi: %6\r\n")
        .arg(QString::number(m_performance->cpuCoresCount()), QString::number(m_performance->ramSize()),
             m_performance->renderMode(), QString::number(m_resolution->width()),
             QString::number(m_resolution->height()), QString::number(m_resolution->dpi()));
}

QMap<QString, QString> SettingModel::shortcutMap() const
{
    QMap<QString, QString> map;
    map.insert(m_shortcuts->bossKey(), QStringLiteral("bossKey"));
    map.insert(m_shortcuts->returnKey(), QStringLiteral("returnKey"));
    map.insert(m_shortcuts->homeKey(), QStringLiteral("homeKey"));
    map.insert(m_shortcuts->menuKey(), QStringLiteral("menuKey"));
    map.insert(m_shortcuts->keyboardKey(), QStringLiteral("keyboardKey"));
    // An empty text is a switched-off shortcut: every key without a name gives that text.
    map.remove(QString());
    return map;
}

bool SettingModel::save()
{
    const QString p = QStringLiteral("Orvanta/Performance/");
    const QString r = QStringLiteral("Orvanta/Resolution/");
    const QString s = QStringLiteral("Orvanta/Shortcuts/");
    return writeMap({
        {p + QStringLiteral("Level"), int(m_performance->level())},
        {p + QStringLiteral("CPUCoresCount"), QString::number(m_performance->cpuCoresCount())},
        {p + QStringLiteral("RAMSize"), QString::number(m_performance->ramSize())},
        {p + QStringLiteral("RenderMode"), m_performance->renderMode()},
        {p + QStringLiteral("IsShowFPS"), m_performance->isShowFps()},
        {r + QStringLiteral("Type"), int(m_resolution->type())},
        {r + QStringLiteral("width"), m_resolution->width()},
        {r + QStringLiteral("height"), m_resolution->height()},
        {r + QStringLiteral("DPI"), m_resolution->dpi()},
        {s + QStringLiteral("BossKeyIsEnable"), m_shortcuts->bossKeyIsEnable()},
        {s + QStringLiteral("BossKey"), m_shortcuts->bossKey()},
        {s + QStringLiteral("ReturnKeyIsEnable"), m_shortcuts->returnKeyIsEnable()},
        {s + QStringLiteral("ReturnKey"), m_shortcuts->returnKey()},
        {s + QStringLiteral("HomeKeyIsEnable"), m_shortcuts->homeKeyIsEnable()},
        {s + QStringLiteral("HomeKey"), m_shortcuts->homeKey()},
        {s + QStringLiteral("MenuKeyIsEnable"), m_shortcuts->menuKeyIsEnable()},
        {s + QStringLiteral("MenuKey"), m_shortcuts->menuKey()},
        {s + QStringLiteral("KeyboardKey"), m_shortcuts->keyboardKey()},
        {s + QStringLiteral("KeyboardKeyIsEnable"), m_shortcuts->keyboardKeyIsEnable()},
        {s + QStringLiteral("IsEnable"), m_shortcuts->isEnable()},
        {s + QStringLiteral("IsSilent"), m_shortcuts->isSilent()},
    });
}

bool SettingModel::writeValue(const QString &key, const QVariant &value)
{
    return writeMap({{key, value}});
}

bool SettingModel::writeValues(const QVariantMap &values)
{
    QList<QPair<QString, QVariant>> list;
    for (auto it = values.cbegin(); it != values.cend(); ++it)
        list.append({it.key(), it.value()});
    return writeMap(list);
}
