#pragma once

// What the command families of the stand-in tool share: the source file names the real tool puts in its
// error context lines, and the small value readers every family uses.

#include <QDateTime>
#include <QFileInfo>
#include <QString>

namespace VBoxCommandSupport {

// The real tool's source files, as its error context lines name them.
inline const char *const fileMisc = "VBoxManageMisc.cpp";
inline const char *const fileInfo = "VBoxManageInfo.cpp";
inline const char *const fileModify = "VBoxManageModifyVM.cpp";
inline const char *const fileStorage = "VBoxManageStorageController.cpp";
inline const char *const fileDisk = "VBoxManageDisk.cpp";
inline const char *const fileControl = "VBoxManageControlVM.cpp";
inline const char *const fileGuestProp = "VBoxManageGuestProp.cpp";
inline const char *const fileAppliance = "VBoxManageAppliance.cpp";

// on/off as the tool reads it; false when the word is neither.
inline bool parseOnOff(const QString &word, QString *canonical)
{
    if (word.compare(QLatin1String("on"), Qt::CaseInsensitive) == 0)
        *canonical = QStringLiteral("on");
    else if (word.compare(QLatin1String("off"), Qt::CaseInsensitive) == 0)
        *canonical = QStringLiteral("off");
    else
        return false;
    return true;
}

inline bool parseNumber(const QString &text, qint64 *value)
{
    bool ok = false;
    const QString t = text.trimmed();
    if (t.startsWith(QLatin1String("0x"), Qt::CaseInsensitive))
        *value = t.mid(2).toLongLong(&ok, 16);
    else
        *value = t.toLongLong(&ok, 10);
    return ok;
}

// RTStrToUInt16-like: leading digits, anything else ignored; no digits gives 0.
inline int lenientPort(const QString &text)
{
    const QString t = text.trimmed();
    int end = 0;
    while (end < t.size() && t.at(end).isDigit())
        ++end;
    return t.left(end).toInt() & 0xffff;
}

inline QString nowNanoseconds()
{
    return QString::number(QDateTime::currentMSecsSinceEpoch() * 1000000LL);
}

inline QString storageFormat(const QString &path)
{
    const QString suffix = QFileInfo(path).suffix().toUpper();
    if (suffix == QLatin1String("VDI") || suffix == QLatin1String("VMDK") || suffix == QLatin1String("VHD"))
        return suffix;
    if (suffix == QLatin1String("ISO"))
        return QStringLiteral("RAW");
    return QStringLiteral("VDI");
}

} // namespace VBoxCommandSupport
