#pragma once

#include <QString>

#include <atomic>

class SharedSegment;

// Process-wide values of the emulator program. They are written once by the component that owns
// each of them and read everywhere else without a lock.
class Global
{
public:
    // The name of this process's virtual machine (the `vm` option). Keys the instance segment, the
    // instance channel, the settings file, the database and every log line.
    static QString vmName;

    // The instance segment of this process (keyed by the VM name); it carries the status word.
    static SharedSegment &instanceSegment();
};

// Set once when the quit sequence begins; workers and loops stop at their next look at it.
extern std::atomic_bool appQuittingFlag;
