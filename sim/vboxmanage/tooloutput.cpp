#include "tooloutput.h"

#include <QHash>

namespace {

struct ResultCode
{
    const char *name;
    const char *value;
    const char *description;
};

const ResultCode resultCodes[] = {
    {"VBOX_E_OBJECT_NOT_FOUND", "0x80bb0001",
     "Object corresponding to the supplied arguments does not exist"},
    {"VBOX_E_INVALID_VM_STATE", "0x80bb0002", "Current virtual machine state prevents the operation"},
    {"VBOX_E_FILE_ERROR", "0x80bb0004", "File not accessible or erroneous file contents"},
    {"VBOX_E_IPRT_ERROR", "0x80bb0005", "Runtime subsystem error"},
    {"VBOX_E_INVALID_OBJECT_STATE", "0x80bb0007", "Current object state prohibits operation"},
    {"VBOX_E_NOT_SUPPORTED", "0x80bb0009", "Requested operation is not supported"},
    {"VBOX_E_OBJECT_IN_USE", "0x80bb000c", "Object being in use prohibits operation"},
    {"NS_ERROR_INVALID_ARG", "0x80070057", "Invalid argument value"},
    {"NS_ERROR_FAILURE", "0x80004005", "Operation failed"},
    {"E_ACCESSDENIED", "0x80070005", "Access denied"},
};

const ResultCode *findCode(const QString &name)
{
    for (const ResultCode &code : resultCodes) {
        if (name == QLatin1String(code.name))
            return &code;
    }
    return nullptr;
}

// A stable, plausible source line for the Context line; readers must not rely on it.
int contextLine(const QString &context)
{
    return 100 + static_cast<int>(qHash(context) % 3000u);
}

} // namespace

ToolOutput::ToolOutput(const QString &program) : m_program(program) {}

void ToolOutput::print(const QString &text)
{
    m_out += text.toUtf8();
}

void ToolOutput::printErr(const QString &text)
{
    m_err += text.toUtf8();
}

void ToolOutput::error(const QString &text)
{
    QString body = text;
    if (body.endsWith(QLatin1Char('\n')))
        body.chop(1);
    for (const QString &line : body.split(QLatin1Char('\n')))
        printErr(m_program + QStringLiteral(": error: ") + line + QLatin1Char('\n'));
}

void ToolOutput::warning(const QString &text)
{
    for (const QString &line : text.split(QLatin1Char('\n')))
        printErr(m_program + QStringLiteral(": warning: ") + line + QLatin1Char('\n'));
}

QString ToolOutput::codeValue(const QString &code)
{
    const ResultCode *found = findCode(code);
    return found ? QString::fromLatin1(found->value) : QStringLiteral("0x80004005");
}

int ToolOutput::apiError(const QString &text, const QString &code, const QString &component,
                         const QString &iface, const QString &context, const QString &file)
{
    error(text);
    error(QStringLiteral("Details: code %1 (%2), component %3, interface %4, callee nsISupports")
              .arg(code, codeValue(code), component, iface));
    if (!context.isEmpty()) {
        error(QStringLiteral("Context: \"%1\" at line %2 of file %3")
                  .arg(context)
                  .arg(contextLine(context))
                  .arg(file));
    }
    return Failure;
}

int ToolOutput::apiErrorNoInfo(const QString &code, const QString &context, const QString &file)
{
    const ResultCode *found = findCode(code);
    error(QStringLiteral("Code %1 (%2) - %3 (extended info not available)")
              .arg(code, codeValue(code),
                   found ? QString::fromLatin1(found->description) : QStringLiteral("Operation failed")));
    error(QStringLiteral("Context: \"%1\" at line %2 of file %3")
              .arg(context)
              .arg(contextLine(context))
              .arg(file));
    return Failure;
}

void ToolOutput::progress(int reachedPercent, const QString &failureCode)
{
    QString line = QStringLiteral("0%...");
    for (int tenth = 10; tenth <= 90 && tenth <= reachedPercent; tenth += 10)
        line += QString::number(tenth) + QStringLiteral("%...");
    if (failureCode.isEmpty())
        line += QStringLiteral("100%");
    else
        line += failureCode;
    printErr(line + QLatin1Char('\n'));
}

void ToolOutput::logo(bool toStdout)
{
    if (m_noLogo || m_logoShown)
        return;
    m_logoShown = true;
    const QString text = QStringLiteral("Oracle VirtualBox Command Line Management Interface Version 7.1.4\n"
                                        "Copyright (C) 2005-2024 Oracle and/or its affiliates\n\n");
    if (toStdout)
        print(text);
    else
        printErr(text);
}

int ToolOutput::syntaxError(const CommandUsage &usage, const QString &message, bool parserError, int exitCode,
                            bool subcommand)
{
    logo(false);
    error(message);
    if (!parserError)
        printErr(QStringLiteral("\n"));
    printErr(subcommand ? QStringLiteral("Usage:\n")
                        : QStringLiteral("Usage - %1:\n").arg(usage.description));
    printErr(QStringLiteral("\n"));
    for (const QString &line : usage.synopsis)
        printErr(line + QLatin1Char('\n'));
    if (usage.synopsis.size() >= 16) {
        printErr(QStringLiteral("\n"));
        error(message);
    }
    return exitCode;
}

int ToolOutput::usageOnly(const CommandUsage &usage)
{
    print(QStringLiteral("Usage - %1:\n\n").arg(usage.description));
    for (const QString &line : usage.synopsis)
        print(line + QLatin1Char('\n'));
    return Failure;
}
