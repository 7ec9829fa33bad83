#include "desktopshortcut.h"

#include "paths.h"

#include <QDebug>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

namespace OrvMulti {

namespace {

const char *const kLinkSuffix = ".desktop";
const char *const kListSeparator = ",";

// Escapes a value of a desktop entry key (the general rules for string values).
QString escapeValue(const QString &value)
{
    QString escaped;
    for (const QChar c : value) {
        switch (c.unicode()) {
        case '\\':
            escaped += QLatin1String("\\\\");
            break;
        case '\n':
            escaped += QLatin1String("\\n");
            break;
        case '\t':
            escaped += QLatin1String("\\t");
            break;
        case '\r':
            escaped += QLatin1String("\\r");
            break;
        default:
            escaped += c;
        }
    }
    if (escaped.startsWith(QLatin1Char(' ')))
        escaped.replace(0, 1, QStringLiteral("\\s"));
    return escaped;
}

// A name that can be a file name inside the desktop folder.
bool isUsableName(const QString &name)
{
    return !name.isEmpty() && name != QLatin1String(".") && name != QLatin1String("..") &&
           !name.contains(QLatin1Char('/')) && !name.contains(QChar(0));
}

QString readList()
{
    QFile file(shortcutListPath());
    if (!file.open(QIODevice::ReadOnly))
        return QString();
    return QString::fromUtf8(file.readAll());
}

bool writeList(const QString &text)
{
    QDir().mkpath(QFileInfo(shortcutListPath()).absolutePath());
    QSaveFile file(shortcutListPath());
    if (!file.open(QIODevice::WriteOnly))
        return false;
    file.write(text.toUtf8());
    return file.commit();
}

} // namespace

QString desktopFolder()
{
    const QString configured = qEnvironmentVariable("XDG_DESKTOP_DIR");
    return configured.isEmpty() ? QDir::homePath() + QStringLiteral("/Desktop") : QDir::cleanPath(configured);
}

QString desktopShortcutPath(const QString &name)
{
    return desktopFolder() + QLatin1Char('/') + name + QLatin1String(kLinkSuffix);
}

QString shortcutListPath()
{
    return Platform::localAppDataRoot() + QStringLiteral("/OrvMultiPlayer/shortcuts");
}

QString quoteExecArgument(const QString &argument)
{
    static const QString reserved = QStringLiteral(" \t\n\"'\\><~|&;$*?#()`");
    // A field code would be expanded by the launcher; a literal percent sign is written twice.
    QString text = argument;
    text.replace(QLatin1Char('%'), QLatin1String("%%"));
    bool needsQuotes = text.isEmpty();
    for (const QChar c : text) {
        if (reserved.contains(c)) {
            needsQuotes = true;
            break;
        }
    }
    if (!needsQuotes)
        return text;
    QString quoted = QStringLiteral("\"");
    for (const QChar c : text) {
        if (c == QLatin1Char('"') || c == QLatin1Char('`') || c == QLatin1Char('$') || c == QLatin1Char('\\'))
            quoted += QLatin1Char('\\');
        quoted += c;
    }
    quoted += QLatin1Char('"');
    return quoted;
}

bool createShellLink(const QString &linkPath, const QString &target, const QString &icon,
                     const QStringList &arguments, const QString &description)
{
    const int slash = target.lastIndexOf(QLatin1Char('/'));
    const QString workingFolder = slash >= 0 ? target.left(slash) : target;
    QStringList exec{quoteExecArgument(target)};
    for (const QString &argument : arguments)
        exec << quoteExecArgument(argument);

    QString entry = QStringLiteral("[Desktop Entry]\nType=Application\nVersion=1.0\n");
    entry +=
        QStringLiteral("Name=") + escapeValue(QFileInfo(linkPath).completeBaseName()) + QLatin1Char('\n');
    if (!description.isEmpty())
        entry += QStringLiteral("Comment=") + escapeValue(description) + QLatin1Char('\n');
    entry += QStringLiteral("Exec=") + escapeValue(exec.join(QLatin1Char(' '))) + QLatin1Char('\n');
    entry += QStringLiteral("Path=") + escapeValue(workingFolder) + QLatin1Char('\n');
    if (!icon.isEmpty())
        entry += QStringLiteral("Icon=") + escapeValue(icon) + QLatin1Char('\n');
    entry += QStringLiteral("Terminal=false\n");

    QDir().mkpath(QFileInfo(linkPath).absolutePath());
    QSaveFile file(linkPath);
    if (!file.open(QIODevice::WriteOnly)) {
        qInfo().noquote() << QStringLiteral("shortcut ") + linkPath + QStringLiteral(" not written: ") +
                                 file.errorString();
        return false;
    }
    file.write(entry.toUtf8());
    if (!file.commit()) {
        qInfo().noquote() << QStringLiteral("shortcut ") + linkPath + QStringLiteral(" not written: ") +
                                 file.errorString();
        return false;
    }
    // Desktops start only entries that their owner may execute.
    QFile::setPermissions(linkPath, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner |
                                        QFileDevice::ReadGroup | QFileDevice::ReadOther);
    return true;
}

bool createDesktopShortcut(const QString &name, const QString &target, const QString &icon,
                           const QStringList &arguments, const QString &description)
{
    if (!isUsableName(name))
        return false;
    if (!createShellLink(desktopShortcutPath(name), target, icon, arguments, description))
        return false;
    QString list = readList();
    if (!list.isEmpty())
        list += QLatin1String(kListSeparator);
    list += name;
    writeList(list);
    return true;
}

bool removeDesktopShortcut(const QString &name)
{
    QFile listFile(shortcutListPath());
    if (listFile.exists() && listFile.open(QIODevice::ReadOnly)) {
        QStringList pieces = QString::fromUtf8(listFile.readAll()).split(QLatin1String(kListSeparator));
        listFile.close();
        pieces.removeAll(name);
        writeList(pieces.join(QLatin1String(kListSeparator)));
    }
    if (!isUsableName(name))
        return false;
    return QFile::remove(desktopShortcutPath(name));
}

bool desktopShortcutExists(const QString &name)
{
    if (!isUsableName(name))
        return false;
    const QFileInfo info(desktopShortcutPath(name));
    return info.exists() && !info.isDir();
}

} // namespace OrvMulti
