#pragma once

#include <QString>

#include <map>

namespace OrvMulti {

// The manager's record of one instance: its machine name, display title, status word and the number of
// the instance it was copied from (-1: built from the image or unknown).
struct VmRecord
{
    QString vm;
    QString title;
    QString state = QStringLiteral("STOP");
    int from = -1;
};

// True when `name` is an instance name: exactly "Orvanta_" followed by decimal digits whose value fits
// an int. `number` receives the value and `digits` the digits as written. Stricter than the emulator's
// VBoxOutput::isOrvantaVmName (the name as a word anywhere): the manager deletes and renumbers its
// instances, so a foreign machine such as "my-Orvanta_3" must never count as one.
bool isInstanceName(const QString &name, int *number = nullptr, QString *digits = nullptr);

// Orders instance names by the number after their first underscore (Orvanta_2 before Orvanta_10);
// names with equal numbers (Orvanta_1 and Orvanta_01) are ordered by their text, so every machine name
// is a key of its own.
struct VmKeyLess
{
    bool operator()(const QString &a, const QString &b) const;
};

using VmRecordMap = std::map<QString, VmRecord, VmKeyLess>;

} // namespace OrvMulti
