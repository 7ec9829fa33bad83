#include "folderclean.h"

#include <QTemporaryDir>
#include <QtTest>

#include <sys/stat.h>

namespace {

bool writeFile(const QString &path, const QByteArray &content)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(content) == content.size();
}

mode_t modeOf(const QString &path)
{
    struct stat info;
    return ::lstat(QFile::encodeName(path).constData(), &info) == 0 ? info.st_mode & 07777 : 0;
}

} // namespace

class TestFolderClean : public QObject
{
    Q_OBJECT

private slots:
    void removesOnlyTheFoldersOwnFiles();
    void folderThatIsALinkIsLeftAlone();
};

void TestFolderClean::removesOnlyTheFoldersOwnFiles()
{
    QTemporaryDir root;
    QVERIFY(root.isValid());
    const QString game = root.path() + "/game";
    const QString outside = root.path() + "/outside";
    QVERIFY(QDir().mkpath(game + "/sub"));
    QVERIFY(QDir().mkpath(outside + "/dir"));

    QVERIFY(writeFile(game + "/copy.apk", "package"));
    QVERIFY(writeFile(game + "/.hidden", "x"));
    QVERIFY(writeFile(game + "/readonly.apk", "package"));
    QVERIFY(QFile::setPermissions(game + "/readonly.apk", QFile::ReadOwner));
    QVERIFY(writeFile(game + "/sub/kept.txt", "x"));
    // Targets outside the folder, reached through links inside it.
    QVERIFY(writeFile(outside + "/target.txt", "not ours"));
    QVERIFY(::chmod(QFile::encodeName(outside + "/target.txt").constData(), 0640) == 0);
    QVERIFY(writeFile(outside + "/dir/inner.txt", "not ours"));
    QVERIFY(QFile::link(outside + "/target.txt", game + "/link-to-file"));
    QVERIFY(QFile::link(outside + "/dir", game + "/link-to-dir"));
    QVERIFY(QFile::link(root.path() + "/nowhere", game + "/dangling"));

    QCOMPARE(Platform::removePlainFiles(game), 3);

    QCOMPARE(QDir(game).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot),
             (QStringList{"dangling", "link-to-dir", "link-to-file", "sub"}));
    QVERIFY(QFileInfo::exists(game + "/sub/kept.txt"));
    QCOMPARE(modeOf(outside + "/target.txt"), mode_t(0640));
    QVERIFY(QFileInfo::exists(outside + "/target.txt"));
    QVERIFY(QFileInfo::exists(outside + "/dir/inner.txt"));
}

void TestFolderClean::folderThatIsALinkIsLeftAlone()
{
    QTemporaryDir root;
    QVERIFY(root.isValid());
    const QString outside = root.path() + "/outside";
    QVERIFY(QDir().mkpath(outside));
    QVERIFY(writeFile(outside + "/file.txt", "not ours"));
    QVERIFY(QFile::link(outside, root.path() + "/game"));
    QCOMPARE(Platform::removePlainFiles(root.path() + "/game"), 0);
    QVERIFY(QFileInfo::exists(outside + "/file.txt"));
    QCOMPARE(Platform::removePlainFiles(root.path() + "/missing"), 0);
}

QTEST_GUILESS_MAIN(TestFolderClean)
#include "tst_folderclean.moc"
