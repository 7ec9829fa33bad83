// libFuzzer target: the instance settings file reader, on whatever bytes the file holds.
#include "global.h"
#include "settingmodel.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <cstddef>
#include <cstdint>

namespace {

QTemporaryDir *g_home = nullptr;

} // namespace

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)
{
    static QCoreApplication app(*argc, *argv);
    g_home = new QTemporaryDir;
    qputenv("APPDATA", g_home->path().toLocal8Bit());
    qputenv("XDG_CONFIG_HOME", g_home->path().toLocal8Bit());
    // Quiet: the reader warns about every broken file.
    qSetMessagePattern(QString());
    qInstallMessageHandler([](QtMsgType, const QMessageLogContext &, const QString &) {});
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    // A fresh file name each time: Qt caches what it parsed per path.
    static int run = 0;
    Global::vmName = QStringLiteral("Orvanta_%1").arg(++run);
    const QString path = SettingModel::filePath();
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return 0;
    file.write(reinterpret_cast<const char *>(data), static_cast<qint64>(size));
    file.close();
    SettingModel::instance()->load(true);
    SettingModel::instance()->settingsText();
    QFile::remove(path);
    return 0;
}
