#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

// The one-line description and the synopsis that a syntax error prints after the error line.
struct CommandUsage
{
    QString description;
    QStringList synopsis;
};

// Collects what the tool writes to standard output and standard error, in the real tool's forms: the
// "<program>: error: " prefix on every error line, the service error block with its Details and Context
// lines, the syntax-error block and the progress line.
class ToolOutput
{
public:
    enum Exit
    {
        Success = 0,
        Failure = 1,
        Syntax = 2
    };

    explicit ToolOutput(const QString &program);

    QString program() const { return m_program; }
    void setNoLogo(bool noLogo) { m_noLogo = noLogo; }

    void print(const QString &text);    // standard output, as is
    void printErr(const QString &text); // standard error, as is
    void error(const QString &text);    // one prefixed line per text line
    void warning(const QString &text);

    // An error reported by the service: text lines, Details, Context. Returns Failure.
    int apiError(const QString &text, const QString &code, const QString &component, const QString &iface,
                 const QString &context, const QString &file);
    // The form used when the service gave no text ("extended info not available").
    int apiErrorNoInfo(const QString &code, const QString &context, const QString &file);
    // Progress line of a long operation; a failure code ends it after the tenths reached.
    void progress(int reachedPercent = 100, const QString &failureCode = QString());

    // The logo (once per run) and a syntax error with the command's usage.
    void logo(bool toStdout);
    int syntaxError(const CommandUsage &usage, const QString &message, bool parserError = false,
                    int exitCode = Syntax, bool subcommand = false);
    // A known command given without arguments: its usage on standard output.
    int usageOnly(const CommandUsage &usage);

    QByteArray standardOutput() const { return m_out; }
    QByteArray standardError() const { return m_err; }

    static QString codeValue(const QString &code);

private:
    QString m_program;
    bool m_noLogo = false;
    bool m_logoShown = false;
    QByteArray m_out;
    QByteArray m_err;
};
