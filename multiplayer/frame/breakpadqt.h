#pragma once

#include <QString>

namespace OrvMulti {

// The manager's crash dumps. On SIGSEGV, SIGBUS, SIGFPE, SIGILL or SIGABRT a handler writes a dump file
// (signal, fault address and backtrace) into the dump folder and the info line " crash" into the day's
// log in `logFolder`, with async-signal-safe calls only, then the signal takes its default course.
class BreakpadQt
{
public:
    static BreakpadQt &instance();

    // Installs the handler once; later calls do nothing.
    void init(const QString &dumpFolder, const QString &logFolder = QString());
    bool isInstalled() const { return m_installed; }

private:
    BreakpadQt() = default;
    bool m_installed = false;
};

} // namespace OrvMulti
