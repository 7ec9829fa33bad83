#pragma once

#include <QString>
#include <QVector>

class AndroidTouchWidget;

// The five hot keys of the Android window and what each does when pressed there. Rows in order:
// bossKey, returnKey, homeKey, menuKey, keyboardKey. Each handler reads its switches from the settings
// at every call, so a saved change applies at once; it returns whether it acted.
struct HotKeyRow
{
    QString name;
    bool (*handler)(AndroidTouchWidget *widget);
};

const QVector<HotKeyRow> &hotKeyTable();

// Runs the handler of the row named `name`; false for an empty or unknown name, else its result.
bool dispatchHotKey(const QString &name, AndroidTouchWidget *widget);
