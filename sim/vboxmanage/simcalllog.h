#pragma once

#include <QString>
#include <QStringList>

// Where the stand-in keeps its files, and the append-only logs in which it records every start.
class SimCallLog
{
public:
    // The state folder: $ORV_VBOX_STATE when set, else "vboxstate" beside the program.
    static QString stateDir(const QString &programDir);
    // Appends one JSON object line {"time","prog","pid","args"} to <stateDir>/<fileName>; the argument
    // list is kept as a JSON array so argument boundaries survive. Serialised by a lock file.
    static bool append(const QString &stateDir, const QString &fileName, const QString &program,
                       const QStringList &args);
};
