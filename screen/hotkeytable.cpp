#include "hotkeytable.h"

#include "androidtouchwidget.h"
#include "settingmodel.h"

#include <QDebug>

namespace {

const SettingShortcutsData &shortcuts()
{
    return *SettingModel::instance()->shortcuts();
}

bool bossKey(AndroidTouchWidget *widget)
{
    if (!shortcuts().isEnable() || !shortcuts().bossKeyIsEnable())
        return false;
    widget->emitBossKey();
    return true;
}

bool returnKey(AndroidTouchWidget *widget)
{
    if (!shortcuts().isEnable() || !shortcuts().returnKeyIsEnable())
        return false;
    widget->emitReturnKey();
    return true;
}

bool homeKey(AndroidTouchWidget *widget)
{
    if (!shortcuts().isEnable() || !shortcuts().homeKeyIsEnable())
        return false;
    widget->emitHomeKey();
    return true;
}

bool menuKey(AndroidTouchWidget *widget)
{
    if (!shortcuts().isEnable() || !shortcuts().menuKeyIsEnable())
        return false;
    widget->emitMenuKey();
    return true;
}

bool keyboardKey(AndroidTouchWidget *)
{
    qDebug() << " keybordKey shortcut";
    return true;
}

} // namespace

const QVector<HotKeyRow> &hotKeyTable()
{
    static const QVector<HotKeyRow> table{
        {QStringLiteral("bossKey"), &bossKey},         {QStringLiteral("returnKey"), &returnKey},
        {QStringLiteral("homeKey"), &homeKey},         {QStringLiteral("menuKey"), &menuKey},
        {QStringLiteral("keyboardKey"), &keyboardKey},
    };
    return table;
}

bool dispatchHotKey(const QString &name, AndroidTouchWidget *widget)
{
    if (name.isEmpty())
        return false;
    for (const HotKeyRow &row : hotKeyTable()) {
        if (row.name == name)
            return row.handler(widget);
    }
    return false;
}
