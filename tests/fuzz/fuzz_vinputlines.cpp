// libFuzzer target: the guest's data as the input channel reads it outside a shell command (the
// screenshot answer), and the lines built from arbitrary text (typed text, shell commands).
#include "vinputconnection.h"

#include <QString>

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char *>(data), static_cast<int>(size));
    // A file name: no folder part, no trailing white space, only from a screenshot answer.
    const QString name = VInputConnection::screenCapName(bytes);
    if (name.contains(QLatin1Char('/')) || (!name.isEmpty() && name.back().isSpace()) ||
        (!name.isEmpty() && !bytes.startsWith(VInputConnection::kScreenCapAnswer)) ||
        name.toUtf8().size() > VInputConnection::kMaxScreenCapNameBytes)
        __builtin_trap();
    // A screenshot answer at the start is never longer than the read, and never empty.
    const int answer = VInputConnection::screenCapAnswerLength(bytes);
    if (answer < 0 || answer > bytes.size() ||
        (answer == 0) == bytes.startsWith(VInputConnection::kScreenCapAnswer))
        __builtin_trap();
    // Whatever the text, each line is one line: a single line feed, at its end.
    const QString text = QString::fromUtf8(bytes);
    const QByteArray typed = VInputConnection::inputTextLine(text);
    if (typed.count('\n') != 1 || !typed.endsWith('\n') || !typed.startsWith("INPUTTEXT:str-"))
        __builtin_trap();
    if (QByteArray::fromBase64(typed.mid(14, typed.size() - 15)) !=
        ("<G>" + QString(text).replace('\n', ' ') + "<P>").toUtf8())
        __builtin_trap();
    const QByteArray shell = VInputConnection::shellLine(text);
    if (!shell.isEmpty() && (shell.count('\n') != 1 || shell.contains('\r') || !shell.endsWith('\n')))
        __builtin_trap();
    if (shell.isEmpty() != (text.contains(QLatin1Char('\n')) || text.contains(QLatin1Char('\r'))))
        __builtin_trap();
    return 0;
}
