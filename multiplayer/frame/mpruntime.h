#pragma once

#include <QString>

namespace OrvMulti {

// The full name of the manager's local channel `key` inside the per-user private runtime folder (the
// emulator's folder); empty when that folder is refused or the name is too long for a local socket,
// with `problem` telling why.
QString channelPath(const QString &key, QString *problem = nullptr);

} // namespace OrvMulti
