// Desktop shortcuts of the instances: the entry files (checked by desktop-file-validate), the list file
// of titles, and failures that must not be reported as success.

#include "desktopshortcut.h"
#include "installtree.h"
#include "paths.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QtTest>

#include <memory>

using namespace OrvMulti;

namespace {

QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace

class TestDesktopShortcut : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void entryIsValid_data();
    void entryIsValid();
    void listFileFollowsCreateAndRemove();
    void failedSaveIsNotListed();

private:
    // desktop-file-validate's verdict on `path`: empty when valid.
    QString validate(const QString &path);
    std::unique_ptr<InstallTree> m_tree;
    QString m_target;
};

void TestDesktopShortcut::init()
{
    m_tree = std::make_unique<InstallTree>();
    const QProcessEnvironment env = m_tree->environment();
    for (const char *name : {"XDG_DESKTOP_DIR", "LOCALAPPDATA", "HOME"})
        qputenv(name, env.value(QLatin1String(name)).toLocal8Bit());
    m_target = m_tree->playerDir() + QStringLiteral("/Orvanta");
}

void TestDesktopShortcut::cleanup()
{
    m_tree.reset();
}

QString TestDesktopShortcut::validate(const QString &path)
{
    const QString validator = QStandardPaths::findExecutable(QStringLiteral("desktop-file-validate"));
    if (validator.isEmpty())
        return QStringLiteral("desktop-file-validate is not installed (scripts/setup installs it)");
    QProcess process;
    process.start(validator, {path});
    if (!process.waitForFinished(10000))
        return QStringLiteral("desktop-file-validate did not finish");
    const QString output =
        QString::fromUtf8(process.readAllStandardOutput() + process.readAllStandardError());
    return process.exitCode() == 0 && !output.contains(QLatin1String("error")) ? QString() : output;
}

void TestDesktopShortcut::entryIsValid_data()
{
    QTest::addColumn<QString>("title");
    QTest::addColumn<QString>("execArguments");
    QTest::newRow("plain") << "T"
                           << "-vm=Orvanta_2 -title=T";
    QTest::newRow("blanks") << "My phone"
                            << "-vm=Orvanta_2 \"-title=My phone\"";
    QTest::newRow("quotes, dollar, backslash, percent")
        << "A \"b\" $c \\ 5%"
        << "-vm=Orvanta_2 \"-title=A \\\\\"b\\\\\" \\\\$c \\\\\\\\ 5%%\"";
    QTest::newRow("leading blank") << " x"
                                   << "-vm=Orvanta_2 \"-title= x\"";
}

void TestDesktopShortcut::entryIsValid()
{
    QFETCH(QString, title);
    QFETCH(QString, execArguments);
    QVERIFY(createDesktopShortcut(title, m_target, QString(),
                                  {QStringLiteral("-vm=Orvanta_2"), QStringLiteral("-title=") + title},
                                  title));
    const QString path = m_tree->root() + QStringLiteral("/desktop/") + title + QStringLiteral(".desktop");
    QVERIFY(desktopShortcutExists(title));
    QString escapedTitle = title;
    escapedTitle.replace(QLatin1String("\\"), QLatin1String("\\\\"));
    if (escapedTitle.startsWith(QLatin1Char(' ')))
        escapedTitle.replace(0, 1, QStringLiteral("\\s"));
    const QString expected = QStringLiteral("[Desktop Entry]\nType=Application\nVersion=1.0\n") +
                             QStringLiteral("Name=") + escapedTitle + QStringLiteral("\nComment=") +
                             escapedTitle + QStringLiteral("\nExec=") + m_target + QLatin1Char(' ') +
                             execArguments + QStringLiteral("\nPath=") + m_tree->playerDir() +
                             QStringLiteral("\nTerminal=false\n");
    QCOMPARE(QString::fromUtf8(readFile(path)), expected);
    const QString verdict = validate(path);
    QVERIFY2(verdict.isEmpty(), qPrintable(verdict));
    QVERIFY(QFileInfo(path).isExecutable());
}

void TestDesktopShortcut::listFileFollowsCreateAndRemove()
{
    const QString list = m_tree->localAppDataDir() + QStringLiteral("/OrvMultiPlayer/shortcuts");
    const QStringList args{QStringLiteral("-vm=Orvanta_1"), QStringLiteral("-title=T")};
    QVERIFY(createDesktopShortcut(QStringLiteral("A"), m_target, QString(), args, QStringLiteral("A")));
    QVERIFY(createDesktopShortcut(QStringLiteral("T"), m_target, QString(), args, QStringLiteral("T")));
    QVERIFY(createDesktopShortcut(QStringLiteral("T"), m_target, QString(), args, QStringLiteral("T")));
    QCOMPARE(readFile(list), QByteArray("A,T,T"));
    QVERIFY(removeDesktopShortcut(QStringLiteral("T")));
    QCOMPARE(readFile(list), QByteArray("A"));
    QVERIFY(!desktopShortcutExists(QStringLiteral("T")));
    QVERIFY(!removeDesktopShortcut(QStringLiteral("T")));
    QVERIFY(desktopShortcutExists(QStringLiteral("A")));
}

void TestDesktopShortcut::failedSaveIsNotListed()
{
    const QString list = m_tree->localAppDataDir() + QStringLiteral("/OrvMultiPlayer/shortcuts");
    const QStringList args{QStringLiteral("-vm=Orvanta_1"), QStringLiteral("-title=x")};
    // A title that would leave the desktop folder is no file name.
    QVERIFY(
        !createDesktopShortcut(QStringLiteral("../escape"), m_target, QString(), args, QStringLiteral("x")));
    QVERIFY(!QFile::exists(m_tree->root() + QStringLiteral("/escape.desktop")));
    // A desktop "folder" that is a file: nothing can be saved in it.
    QDir(m_tree->root() + QStringLiteral("/desktop")).removeRecursively();
    QFile blocker(m_tree->root() + QStringLiteral("/desktop"));
    QVERIFY(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    QVERIFY(!createDesktopShortcut(QStringLiteral("B"), m_target, QString(), args, QStringLiteral("B")));
    QVERIFY(!QFile::exists(list));
}

QTEST_GUILESS_MAIN(TestDesktopShortcut)
#include "tst_desktopshortcut.moc"
