#include "global.h"
#include "settingmodel.h"

#include <QSettings>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>
#include <sys/resource.h>

// Collects the warnings the code under test writes.
static QStringList warnings;
static void collectWarnings(QtMsgType type, const QMessageLogContext &, const QString &text)
{
    if (type == QtWarningMsg)
        warnings << text;
}

class TestSettingModel : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void defaultsWithoutFile();
    void valuesFromFile_data();
    void valuesFromFile();
    void brokenFileReadsAsDefaults_data();
    void brokenFileReadsAsDefaults();
    void writtenValuesRoundTrip();
    void flagsWrittenAtOnce();
    void loadWithoutForceKeepsValues();
    void shortcutMapLaterNameWins();
    void emptyStoredShortcutIsOff();
    void failedWriteKeepsOldFile();

private:
    void writeFile(const QByteArray &bytes);
    QByteArray readFile() const;
    QString path() const
    {
        return m_appData->path() + QStringLiteral("/Halvora/") + m_vm + QStringLiteral(".ini");
    }

    QScopedPointer<QTemporaryDir> m_appData;
    QString m_vm;
    int m_run = 0;
    int m_stamp = 0;
};

// Every value of the model by a short name, so that tables can name what they check.
static QVariant field(const QString &name)
{
    SettingModel *m = SettingModel::instance();
    static const QHash<QString, std::function<QVariant()>> getters = {
        {"level", [m] { return QVariant(int(m->performance()->level())); }},
        {"cpu", [m] { return QVariant(m->performance()->cpuCoresCount()); }},
        {"ram", [m] { return QVariant(m->performance()->ramSize()); }},
        {"render", [m] { return QVariant(m->performance()->renderMode()); }},
        {"fps", [m] { return QVariant(m->performance()->isShowFps()); }},
        {"type", [m] { return QVariant(int(m->resolution()->type())); }},
        {"width", [m] { return QVariant(m->resolution()->width()); }},
        {"height", [m] { return QVariant(m->resolution()->height()); }},
        {"dpi", [m] { return QVariant(m->resolution()->dpi()); }},
        {"volume", [m] { return QVariant(m->volume()); }},
        {"bossOn", [m] { return QVariant(m->shortcuts()->bossKeyIsEnable()); }},
        {"boss", [m] { return QVariant(m->shortcuts()->bossKey()); }},
        {"returnOn", [m] { return QVariant(m->shortcuts()->returnKeyIsEnable()); }},
        {"return", [m] { return QVariant(m->shortcuts()->returnKey()); }},
        {"homeOn", [m] { return QVariant(m->shortcuts()->homeKeyIsEnable()); }},
        {"home", [m] { return QVariant(m->shortcuts()->homeKey()); }},
        {"menuOn", [m] { return QVariant(m->shortcuts()->menuKeyIsEnable()); }},
        {"menu", [m] { return QVariant(m->shortcuts()->menuKey()); }},
        {"keyboardOn", [m] { return QVariant(m->shortcuts()->keyboardKeyIsEnable()); }},
        {"keyboard", [m] { return QVariant(m->shortcuts()->keyboardKey()); }},
        {"enable", [m] { return QVariant(m->shortcuts()->isEnable()); }},
        {"silent", [m] { return QVariant(m->shortcuts()->isSilent()); }},
        {"closeDialog", [m] { return QVariant(m->isShowCloseDialog()); }},
        {"vtDialog", [m] { return QVariant(m->isShowVTCheckDialog()); }},
        {"optionalRes", [m] { return QVariant(m->isShowOptionalCheckRes()); }},
        {"scriptFirstRun", [m] { return QVariant(m->isScriptFirstRun()); }},
    };
    return getters.value(name)();
}

static const QVariantMap &defaults()
{
    static const QVariantMap values = {
        {"level", 1},          {"cpu", 2},
        {"ram", 2048},         {"render", "gl"},
        {"fps", true},         {"type", 0},
        {"width", 720},        {"height", 1280},
        {"dpi", 320},          {"volume", 5},
        {"bossOn", true},      {"boss", "Ctrl + Alt + X"},
        {"returnOn", true},    {"return", "Esc"},
        {"homeOn", true},      {"home", "Home"},
        {"menuOn", true},      {"menu", "PaUp"},
        {"keyboardOn", true},  {"keyboard", "Ctrl + 1"},
        {"enable", true},      {"silent", true},
        {"closeDialog", true}, {"vtDialog", true},
        {"optionalRes", true}, {"scriptFirstRun", true},
    };
    return values;
}

static void compareAll(const QVariantMap &expected)
{
    for (auto it = expected.cbegin(); it != expected.cend(); ++it) {
        const QVariant actual = field(it.key());
        if (actual.toString() != it.value().toString())
            QFAIL(qPrintable(QStringLiteral("%1: got %2, expected %3")
                                 .arg(it.key(), actual.toString(), it.value().toString())));
    }
}

void TestSettingModel::init()
{
    // A fresh application-data folder and VM name per test: the model reads <appdata>/Halvora/<vm>.ini.
    m_appData.reset(new QTemporaryDir);
    qputenv("APPDATA", m_appData->path().toUtf8());
    m_vm = QStringLiteral("Orvanta_%1").arg(++m_run);
    Global::vmName = m_vm;
    warnings.clear();
}

void TestSettingModel::writeFile(const QByteArray &bytes)
{
    QDir().mkpath(QFileInfo(path()).absolutePath());
    QFile file(path());
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(bytes);
    QVERIFY(file.flush());
    // Qt re-reads a settings file only when its size or time changed; give every edit its own time,
    // as an edit by hand would have.
    QVERIFY(
        file.setFileTime(QDateTime::currentDateTime().addSecs(++m_stamp), QFileDevice::FileModificationTime));
}

QByteArray TestSettingModel::readFile() const
{
    QFile file(path());
    file.open(QIODevice::ReadOnly);
    return file.readAll();
}

void TestSettingModel::defaultsWithoutFile()
{
    QCOMPARE(SettingModel::filePath(), path());
    Global::renderMode.clear();
    SettingModel::instance()->load(true);
    compareAll(defaults());
    QCOMPARE(Global::renderMode, QStringLiteral("gl"));
    QCOMPARE(Global::systemInfo.renderMode, QStringLiteral("gl"));
    QCOMPARE(
        SettingModel::instance()->settingsText(),
        QStringLiteral("cpu: 2\r\nram: 2048\r\nrender: gl\r\nwidth: 720\r\nheight: 1280\r\ndpi: 320\r\n"));
    QVERIFY(!QFile::exists(path())); // reading creates no file
    QVERIFY(warnings.isEmpty());
}

void TestSettingModel::valuesFromFile_data()
{
    QTest::addColumn<QByteArray>("ini");
    QTest::addColumn<QVariantMap>("expected");

    QTest::newRow("every key set") << QByteArray("[Orvanta]\n"
                                                 "Performance\\Level=3\n"
                                                 "Performance\\CPUCoresCount=4\n"
                                                 "Performance\\RAMSize=3072\n"
                                                 "Performance\\RenderMode=dx\n"
                                                 "Performance\\IsShowFPS=false\n"
                                                 "Resolution\\Type=1\n"
                                                 "Resolution\\width=1080\n"
                                                 "Resolution\\height=1920\n"
                                                 "Resolution\\DPI=480\n"
                                                 "Volume\\volume=8\n"
                                                 "Shortcuts\\BossKeyIsEnable=false\n"
                                                 "Shortcuts\\BossKey=Ctrl + B\n"
                                                 "Shortcuts\\ReturnKeyIsEnable=false\n"
                                                 "Shortcuts\\ReturnKey=F1\n"
                                                 "Shortcuts\\HomeKeyIsEnable=false\n"
                                                 "Shortcuts\\HomeKey=F2\n"
                                                 "Shortcuts\\MenuKeyIsEnable=false\n"
                                                 "Shortcuts\\MenuKey=F3\n"
                                                 "Shortcuts\\KeyboardKeyIsEnable=false\n"
                                                 "Shortcuts\\KeyboardKey=Alt + K\n"
                                                 "Shortcuts\\IsEnable=false\n"
                                                 "Shortcuts\\IsSilent=false\n"
                                                 "[Global]\n"
                                                 "isShowCloseDialog=false\n"
                                                 "isShowVTCheckDialog=false\n"
                                                 "isShowOptionalCheckRes=false\n"
                                                 "isScriptFirstRun=false\n")
                                   << QVariantMap{{"level", 3},           {"cpu", 4},
                                                  {"ram", 3072},          {"render", "dx"},
                                                  {"fps", false},         {"type", 1},
                                                  {"width", 1080},        {"height", 1920},
                                                  {"dpi", 480},           {"volume", 8},
                                                  {"bossOn", false},      {"boss", "Ctrl + B"},
                                                  {"returnOn", false},    {"return", "F1"},
                                                  {"homeOn", false},      {"home", "F2"},
                                                  {"menuOn", false},      {"menu", "F3"},
                                                  {"keyboardOn", false},  {"keyboard", "Alt + K"},
                                                  {"enable", false},      {"silent", false},
                                                  {"closeDialog", false}, {"vtDialog", false},
                                                  {"optionalRes", false}, {"scriptFirstRun", false}};

    // Values the settings window stores as quoted text still read as numbers.
    QTest::newRow("numbers stored as text")
        << QByteArray("[Orvanta]\nPerformance\\CPUCoresCount=\"4\"\nPerformance\\RAMSize=\" 1024\"\n")
        << QVariantMap{{"cpu", 4}, {"ram", 1024}, {"level", 1}};

    QTest::newRow("not convertible gives the default") << QByteArray("[Orvanta]\n"
                                                                     "Performance\\Level=high\n"
                                                                     "Performance\\CPUCoresCount=four\n"
                                                                     "Performance\\RAMSize=\n"
                                                                     "Performance\\IsShowFPS=maybe\n"
                                                                     "Resolution\\width=720px\n"
                                                                     "Resolution\\height=1.5\n"
                                                                     "Resolution\\DPI=@ByteArray(xyz)\n"
                                                                     "Volume\\volume=loud\n"
                                                                     "Shortcuts\\IsSilent=2\n"
                                                                     "[Global]\n"
                                                                     "isShowCloseDialog=no thanks\n")
                                                       << defaults();

    QTest::newRow("limits are not checked here")
        << QByteArray("[Orvanta]\nPerformance\\CPUCoresCount=99\nVolume\\volume=-3\nResolution\\width=0\n")
        << QVariantMap{{"cpu", 99}, {"volume", -3}, {"width", 0}, {"height", 1280}};

    // Found by fuzzing: a number outside the level or type list was stored as the enumeration.
    QTest::newRow("level and type outside their lists give the default")
        << QByteArray("[Orvanta]\nPerformance\\Level=6\nResolution\\Type=-1\n")
        << QVariantMap{{"level", 1}, {"type", 0}};

    QTest::newRow("keys in the wrong group are ignored")
        << QByteArray("[Performance]\nLevel=3\n[Orvanta]\nShortcuts\\isShowCloseDialog=false\n")
        << defaults();

    QTest::newRow("booleans as digits")
        << QByteArray("[Orvanta]\nPerformance\\IsShowFPS=0\n[Global]\nisScriptFirstRun=1\n")
        << QVariantMap{{"fps", false}, {"scriptFirstRun", true}};
}

void TestSettingModel::valuesFromFile()
{
    QFETCH(QByteArray, ini);
    QFETCH(QVariantMap, expected);
    writeFile(ini);
    SettingModel::instance()->load(true);
    compareAll(expected);
    QCOMPARE(Global::renderMode, field("render").toString());
}

void TestSettingModel::brokenFileReadsAsDefaults_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::newRow("unterminated group header")
        << QByteArray("[Orvanta\nPerformance\\Level=3\nPerformance\\CPUCoresCount=4\n");
    QTest::newRow("cut short, filled with zero bytes")
        << QByteArray("[Orvanta]\nPerformance\\Level=3\n") + QByteArray(64, '\0');
}

void TestSettingModel::brokenFileReadsAsDefaults()
{
    QFETCH(QByteArray, content);
    writeFile(content);
    qInstallMessageHandler(collectWarnings);
    SettingModel::instance()->load(true);
    qInstallMessageHandler(nullptr);
    compareAll(defaults());
    QCOMPARE(warnings.size(), 1);
    QVERIFY2(warnings.first().startsWith("SettingModel : settings file cannot be read, using defaults:"),
             qPrintable(warnings.first()));
    QVERIFY(warnings.first().contains(path()));

    // Writing a flag over it keeps the unreadable bytes beside the new file.
    QVERIFY(SettingModel::writeValue(QStringLiteral("Global/isShowCloseDialog"), false));
    QFile copy(path() + QStringLiteral(".broken"));
    QVERIFY(copy.open(QIODevice::ReadOnly));
    QCOMPARE(copy.readAll(), content);
    QSettings peer(path(), QSettings::IniFormat);
    QCOMPARE(peer.value("Global/isShowCloseDialog").toString(), QStringLiteral("false"));
}

void TestSettingModel::writtenValuesRoundTrip()
{
    SettingModel *model = SettingModel::instance();
    model->load(true);
    model->performance()->setLevel(SettingPerformanceData::Custom);
    model->performance()->setCpuCoresCount(3);
    model->performance()->setRamSize(4096);
    model->performance()->setRenderMode(QStringLiteral("dx"));
    model->performance()->setShowFps(false);
    model->resolution()->setType(SettingResolutionData::Custom);
    model->resolution()->setWidth(1000);
    model->resolution()->setHeight(600);
    model->resolution()->setDpi(160);
    model->shortcuts()->setBossKey(QStringLiteral("Ctrl + Shift + Q"));
    model->shortcuts()->setMenuKeyIsEnable(false);
    model->shortcuts()->setKeyboardKey(QStringLiteral("Alt + ,"));
    model->shortcuts()->setIsSilent(false);
    QVERIFY(model->save());

    // What another reader of the file sees: the keys under their groups, processor count and memory
    // as text, as the settings window stores them.
    const QByteArray bytes = readFile();
    QVERIFY2(bytes.contains("[Orvanta]\n"), bytes.constData());
    QVERIFY(bytes.contains("Performance\\CPUCoresCount=3\n"));
    QVERIFY(bytes.contains("Performance\\Level=3\n"));
    QVERIFY(bytes.contains("Resolution\\DPI=160\n"));
    QVERIFY(bytes.contains("Shortcuts\\MenuKeyIsEnable=false\n"));
    QSettings peer(path(), QSettings::IniFormat);
    QCOMPARE(peer.value("Orvanta/Performance/RAMSize").type(), QVariant::String);
    QCOMPARE(peer.value("Orvanta/Shortcuts/KeyboardKey").toString(), QStringLiteral("Alt + ,"));

    // Change the model, then read the file back.
    model->performance()->setCpuCoresCount(1);
    model->shortcuts()->setBossKey(QStringLiteral("x"));
    model->load(true);
    compareAll({{"level", 3},
                {"cpu", 3},
                {"ram", 4096},
                {"render", "dx"},
                {"fps", false},
                {"type", 1},
                {"width", 1000},
                {"height", 600},
                {"dpi", 160},
                {"boss", "Ctrl + Shift + Q"},
                {"menuOn", false},
                {"keyboard", "Alt + ,"},
                {"silent", false},
                {"volume", 5}});
    QCOMPARE(Global::renderMode, QStringLiteral("dx"));
    QCOMPARE(
        model->settingsText(),
        QStringLiteral("cpu: 3\r\nram: 4096\r\nrender: dx\r\nwidth: 1000\r\nheight: 600\r\ndpi: 160\r\n"));
}

void TestSettingModel::flagsWrittenAtOnce()
{
    SettingModel *model = SettingModel::instance();
    writeFile("[StartUp]\nVerticalHeight=900\n");
    model->load(true);
    model->setShowCloseDialog(false);
    model->setShowVTCheckDialog(false);
    model->setShowOptionalCheckRes(false);
    model->setScriptFirstRun(false); // the model only: its caller writes the file
    model->setVolume(9);

    QSettings peer(path(), QSettings::IniFormat);
    QCOMPARE(peer.value("Global/isShowCloseDialog").toString(), QStringLiteral("false"));
    QCOMPARE(peer.value("Global/isShowVTCheckDialog").toString(), QStringLiteral("false"));
    QCOMPARE(peer.value("Global/isShowOptionalCheckRes").toString(), QStringLiteral("false"));
    QVERIFY(!peer.contains("Global/isScriptFirstRun"));
    QVERIFY(!peer.contains("Orvanta/Volume/volume"));
    QCOMPARE(peer.value("StartUp/VerticalHeight").toInt(), 900); // other keys stay

    model->load(true); // as after a restart
    compareAll({{"closeDialog", false},
                {"vtDialog", false},
                {"optionalRes", false},
                {"scriptFirstRun", true},
                {"volume", 5}});
}

void TestSettingModel::loadWithoutForceKeepsValues()
{
    SettingModel *model = SettingModel::instance();
    writeFile("[Orvanta]\nPerformance\\CPUCoresCount=4\n");
    model->load(true);
    QCOMPARE(field("cpu").toInt(), 4);
    writeFile("[Orvanta]\nPerformance\\CPUCoresCount=6\n");
    model->load(false);
    QCOMPARE(field("cpu").toInt(), 4);
    model->load(true);
    QCOMPARE(field("cpu").toInt(), 6);
    // A key removed from the file goes back to its default on the next forced load.
    writeFile("");
    model->load(true);
    QCOMPARE(field("cpu").toInt(), 2);
}

void TestSettingModel::shortcutMapLaterNameWins()
{
    SettingModel *model = SettingModel::instance();
    model->load(true);
    QCOMPARE(model->shortcutMap(), (QMap<QString, QString>{{"Ctrl + Alt + X", "bossKey"},
                                                           {"Esc", "returnKey"},
                                                           {"Home", "homeKey"},
                                                           {"PaUp", "menuKey"},
                                                           {"Ctrl + 1", "keyboardKey"}}));
    model->shortcuts()->setBossKey(QStringLiteral("Home"));
    model->shortcuts()->setMenuKey(QStringLiteral("Home"));
    model->shortcuts()->setBossKeyIsEnable(false);
    const QMap<QString, QString> map = model->shortcutMap();
    QCOMPARE(map.value("Home"), QStringLiteral("menuKey"));
    QCOMPARE(map.size(), 3);
}

void TestSettingModel::emptyStoredShortcutIsOff()
{
    // A boss key stored empty (a key without a name was recorded by an older version): it names no key,
    // so no key press may match it; it reads as switched off, and says so in the log.
    writeFile("[Orvanta]\nShortcuts\\BossKey=\nShortcuts\\MenuKey=\n");
    SettingModel *model = SettingModel::instance();
    static QStringList lines;
    lines.clear();
    const QtMessageHandler previous = qInstallMessageHandler(
        [](QtMsgType, const QMessageLogContext &, const QString &text) { lines << text; });
    model->load(true);
    qInstallMessageHandler(previous);
    QVERIFY2(lines.contains(QStringLiteral("Setting    : the shortcut BossKey is empty: switched off")),
             qPrintable(lines.join(QLatin1Char('\n'))));
    QVERIFY(lines.contains(QStringLiteral("Setting    : the shortcut MenuKey is empty: switched off")));
    QCOMPARE(lines.filter(QStringLiteral("is empty")).size(), 2);
    QCOMPARE(model->shortcuts()->bossKey(), QString());
    const QMap<QString, QString> map = model->shortcutMap();
    QVERIFY(!map.contains(QString()));
    QCOMPARE(map, (QMap<QString, QString>{
                      {"Esc", "returnKey"}, {"Home", "homeKey"}, {"Ctrl + 1", "keyboardKey"}}));
}

void TestSettingModel::failedWriteKeepsOldFile()
{
    // A full disk: the file-size limit makes every write beyond a few bytes fail with EFBIG.
    writeFile("[Global]\nisShowCloseDialog=true\n[Orvanta]\nPerformance\\CPUCoresCount=4\n");
    const QByteArray before = readFile();

    struct rlimit old;
    QCOMPARE(getrlimit(RLIMIT_FSIZE, &old), 0);
    auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    struct rlimit tight = old;
    tight.rlim_cur = 16;
    QCOMPARE(setrlimit(RLIMIT_FSIZE, &tight), 0);
    qInstallMessageHandler(collectWarnings);
    const bool written =
        SettingModel::writeValue(QStringLiteral("Orvanta/Shortcuts/BossKey"), QString(200, QLatin1Char('K')));
    qInstallMessageHandler(nullptr);
    setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, oldHandler);

    QVERIFY(!written);
    QCOMPARE(readFile(), before);
    QVERIFY(warnings.contains(QStringLiteral("SettingModel : write failed ") + path()));
    // No temporary files are left behind.
    QCOMPARE(QDir(QFileInfo(path()).absolutePath()).entryList(QDir::Files), QStringList{m_vm + ".ini"});

    // Once there is room again, the next write stores the value that could not be written and keeps the
    // old ones.
    QVERIFY(SettingModel::writeValue(QStringLiteral("Global/isShowCloseDialog"), false));
    QSettings peer(path(), QSettings::IniFormat);
    QCOMPARE(peer.value("Orvanta/Shortcuts/BossKey").toString(), QString(200, QLatin1Char('K')));
    QCOMPARE(peer.value("Orvanta/Performance/CPUCoresCount").toString(), QStringLiteral("4"));
    QCOMPARE(peer.value("Global/isShowCloseDialog").toString(), QStringLiteral("false"));
}

QTEST_GUILESS_MAIN(TestSettingModel)
#include "tst_settingmodel.moc"
