#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <QStringList>

// Where the stand-in keeps its files, and the append-only logs in which it records every start.
class SimCallLog
{
public:
    // One line as it was appended, so that its end time can be filled in later.
    struct Entry
    {
        QString path;
        qint64 offset = -1;
        QByteArray line;
    };

    // When this process was created: the kernel's start time of the process (in whole clock ticks),
    // narrowed by the processor time the process has used since (it cannot have started later than that
    // long ago); the latest moment both allow. Loading the program is part of a call.
    static QDateTime processStart();
    // The state folder: $ORV_VBOX_STATE when set, else "vboxstate" beside the program.
    static QString stateDir(const QString &programDir);
    // Appends one JSON object line {"time","prog","pid","args"} to <stateDir>/<fileName>; the argument
    // list is kept as a JSON array so argument boundaries survive; "time" is `started`, or now when that
    // is not given. Serialised by a lock file. With `entry`, the line also gets "end": null, padded with
    // blanks to the width of a time, and `entry` says where it went, for markEnd.
    static bool append(const QString &stateDir, const QString &fileName, const QString &program,
                       const QStringList &args, Entry *entry = nullptr, const QDateTime &started = {});
    // Writes the current time over the "end" of the line `entry` names, in place (the line keeps its
    // length, so later lines stay where they are). Nothing is written when the line is no longer there
    // (the log was removed or replaced in the meantime).
    static bool markEnd(const Entry &entry);
};
