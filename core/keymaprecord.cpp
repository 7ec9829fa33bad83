#include "global.h"
#include "keymapfile.h"

#include <QMutexLocker>

KeyMap currentKeyMap;

void replaceCurrentKeyMap(const KeyMap &map)
{
    QMutexLocker lock(&Global::keyMapMutex);
    currentKeyMap = map;
}

KeyMap currentKeyMapCopy()
{
    QMutexLocker lock(&Global::keyMapMutex);
    return currentKeyMap;
}
