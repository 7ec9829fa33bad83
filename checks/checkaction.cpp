#include "checkaction.h"

#include "checkactions.h"
#include "global.h"

#include <QCoreApplication>
#include <QMutex>
#include <QSettings>

bool patchCheckPassed = false;

CheckAction::CheckAction(QString name, QString result, QString message, QString actionHint, QObject *parent)
    : QObject(parent), name(std::move(name)), result(std::move(result)), message(std::move(message)),
      actionHint(std::move(actionHint))
{
}

void CheckAction::add(CheckAction *) {}

QString CheckAction::describe()
{
    return QStringList{withoutSeparators(name), withoutSeparators(result), withoutSeparators(message),
                       withoutSeparators(actionHint)}
        .join(QLatin1Char('|'));
}

void CheckAction::setProgressReceiver(QObject *receiver)
{
    progressReceiver = receiver;
}

QString CheckAction::withoutSeparators(QString text)
{
    for (const QChar separator : {QLatin1Char('|'), QLatin1Char(';'), QLatin1Char('#')})
        text.replace(separator, QLatin1Char(' '));
    return text;
}

void CheckAction::progressStep()
{
    if (!progressReceiver)
        return;
    const double progress = startupProgress.load();
    const int from = static_cast<int>(progress);
    const int to = static_cast<int>(progress + 1.0);
    QMetaObject::invokeMethod(progressReceiver, "scheduleChanged", Qt::DirectConnection, Q_ARG(int, from),
                              Q_ARG(int, to));
    startupProgress.store(progress + 1.0);
}

void CheckAction::pass(const QString &passMessage)
{
    result = QStringLiteral("true");
    message = passMessage;
    // Translated in the context of the check's own class, like its other texts.
    actionHint = QCoreApplication::translate(metaObject()->className(), "passed");
}

ActionComposite::ActionComposite() : CheckAction(QString(), QStringLiteral("false"), QString(), QString()) {}

ActionComposite::~ActionComposite()
{
    for (CheckAction *child : qAsConst(children))
        delete child;
}

void ActionComposite::add(CheckAction *child)
{
    children.append(child);
}

bool ActionComposite::check()
{
    bool passed = true;
    for (CheckAction *child : qAsConst(children)) {
        // The program is quitting: stop at once and hold nobody up.
        if (appQuittingFlag.load())
            return true;
        passed = child->check() && passed;
    }
    return passed;
}

QString ActionComposite::describe()
{
    QString text;
    for (CheckAction *child : qAsConst(children))
        text += child->describe() + QLatin1Char(';');
    return text;
}

void ActionComposite::setProgressReceiver(QObject *receiver)
{
    for (CheckAction *child : qAsConst(children))
        child->setProgressReceiver(receiver);
    CheckAction::setProgressReceiver(receiver);
}

ActionComposite *RequiredActionFactory::create()
{
    auto *list = new ActionComposite;
    QSettings userKey(QSettings::NativeFormat, QSettings::UserScope, QCoreApplication::organizationName(),
                      QCoreApplication::applicationName());
    if (Global::installInfo.productVersion >= QLatin1String("1.4.0") &&
        !userKey.value(QStringLiteral("LastPatchCheckResult"), false).toBool())
        list->add(new CheckPatchAction);
    list->add(new CheckDmBitsAction);
    list->add(new CheckOpenGLAction);
    list->add(new CheckDNFConflictAction);
    return list;
}

ActionComposite *OptionalActionFactory::create()
{
    auto *list = new ActionComposite;
    list->add(new CheckMemoryAction);
    list->add(new CheckVTOpenStautsAction);
    list->add(new CheckVTOccupiedStautsAction);
    list->add(new CheckGraphicsAction);
    return list;
}

namespace CheckText {

QVector<environmentCheckItem> parse(const QString &describeText, bool includePassed,
                                    const std::atomic_bool *stop)
{
    QVector<environmentCheckItem> rows;
    if (describeText.isEmpty())
        return rows;
    const QStringList entries = describeText.left(describeText.size() - 1).split(QLatin1Char(';'));
    for (const QString &entry : entries) {
        if (stop && stop->load())
            break;
        const QStringList fields = entry.split(QLatin1Char('|'));
        if (fields.size() != 4)
            continue;
        environmentCheckItem row;
        row.name = fields.at(0);
        row.passed = fields.at(1) == QLatin1String("true");
        row.message = fields.at(2);
        row.actionHint = fields.at(3);
        if (!row.passed || includePassed)
            rows.append(row);
    }
    return rows;
}

void registerTypes()
{
    qRegisterMetaType<environmentCheckItem>("environmentCheckItem");
    qRegisterMetaType<QVector<environmentCheckItem>>("QVector<environmentCheckItem>");
}

} // namespace CheckText

namespace CheckResults {

namespace {
QMutex &mapMutex()
{
    static QMutex mutex;
    return mutex;
}
QMap<QString, checkResultRecord> &map()
{
    static QMap<QString, checkResultRecord> records;
    return records;
}
} // namespace

void clear()
{
    QMutexLocker lock(&mapMutex());
    map().clear();
}

void recordInitial(const QString &describeText)
{
    const auto rows = CheckText::parse(describeText, true);
    QMutexLocker lock(&mapMutex());
    for (const environmentCheckItem &row : rows) {
        checkResultRecord record;
        record.initState = row.passed ? 1 : 0;
        map().insert(row.name, record);
    }
}

void recordEnd(const QString &describeText)
{
    const auto rows = CheckText::parse(describeText, true);
    QMutexLocker lock(&mapMutex());
    for (const environmentCheckItem &row : rows) {
        auto it = map().find(row.name);
        if (it != map().end())
            it->endState = row.passed ? 1 : 0;
    }
}

void recordClick(const QString &name)
{
    QMutexLocker lock(&mapMutex());
    auto it = map().find(name);
    if (it != map().end())
        it->clickState = 1;
}

QMap<QString, checkResultRecord> snapshot()
{
    QMutexLocker lock(&mapMutex());
    return map();
}

} // namespace CheckResults
