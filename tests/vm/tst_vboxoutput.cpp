#include "vboxoutput.h"

#include <QtTest>

using namespace VBoxOutput;

namespace {

// Every captured text is read twice: with the Linux tool's "\n" and with "\r\n" line ends.
QStringList bothLineEnds(const QString &text)
{
    QString crlf = text;
    crlf.replace(QLatin1String("\n"), QLatin1String("\r\n"));
    return {text, crlf};
}

QHash<QString, QString> table(const QStringList &pairs)
{
    QHash<QString, QString> result;
    for (int i = 0; i + 1 < pairs.size(); i += 2)
        result.insert(pairs.at(i), pairs.at(i + 1));
    return result;
}

} // namespace

class TestVBoxOutput : public QObject
{
    Q_OBJECT

private slots:
    void vmList_data();
    void vmList();
    void orvantaNames_data();
    void orvantaNames();
    void machineInfo_data();
    void machineInfo();
    void hostInfo_data();
    void hostInfo();
    void guestProperties_data();
    void guestProperties();
    void extraData_data();
    void extraData();
    void procNetTcp_data();
    void procNetTcp();
    void wholeAnswers_data();
    void wholeAnswers();
    void createdMachineFiles();
    void hardDisks_data();
    void hardDisks();
    void settingsNames_data();
    void settingsNames();
};

void TestVBoxOutput::vmList_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QStringList>("names");
    QTest::addColumn<QStringList>("uuids");

    QTest::newRow("four machines, one inaccessible")
        << "\"Orvanta_0\" {11111111-0000-0000-0000-000000000000}\n"
           "\"Orvanta_3\" {33333333-0000-0000-0000-000000000000}\n"
           "\"Work VM\" {77777777-0000-0000-0000-000000000000}\n"
           "\"<inaccessible>\" {99999999-0000-0000-0000-000000000000}\n"
        << QStringList{"Orvanta_0", "Orvanta_3", "Work VM", "<inaccessible>"}
        << QStringList{"11111111-0000-0000-0000-000000000000", "33333333-0000-0000-0000-000000000000",
                       "77777777-0000-0000-0000-000000000000", "99999999-0000-0000-0000-000000000000"};
    QTest::newRow("no machines") << "" << QStringList{} << QStringList{};
    QTest::newRow("blank lines, a warning and a last line without break")
        << "\nWARNING: Environment variable LOGNAME or USER does not correspond to effective user id.\n\n"
           "\"a\" {1}\n\n\"b\" {2}"
        << QStringList{"a", "b"} << QStringList{"1", "2"};
    QTest::newRow("name with quotes and braces inside")
        << "\"say \"hi\" {x}\" {abc}\n"
        << QStringList{"say \"hi\" {x}"} << QStringList{"abc"};
    QTest::newRow("broken lines are skipped") << "\"no id\"\n\"short\" {\nplain\n\"ok\" {5}\n"
                                              << QStringList{"ok"} << QStringList{"5"};
}

void TestVBoxOutput::vmList()
{
    QFETCH(QString, text);
    QFETCH(QStringList, names);
    QFETCH(QStringList, uuids);
    for (const QString &variant : bothLineEnds(text)) {
        QStringList gotNames, gotUuids;
        for (const VmListEntry &entry : parseVmList(variant)) {
            gotNames << entry.name;
            gotUuids << entry.uuid;
        }
        QCOMPARE(gotNames, names);
        QCOMPARE(gotUuids, uuids);
    }
}

void TestVBoxOutput::orvantaNames_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("isOrvanta");
    QTest::newRow("plain") << "Orvanta_0" << true;
    QTest::newRow("two digits") << "Orvanta_12" << true;
    QTest::newRow("word inside a longer name") << "My Orvanta_2" << true;
    QTest::newRow("glued to a word") << "MyOrvanta_2" << false;
    QTest::newRow("no number") << "Orvanta_x" << false;
    QTest::newRow("base machine") << "OrvantaBase" << false;
    QTest::newRow("lower case") << "orvanta_1" << false;
    QTest::newRow("inaccessible") << "<inaccessible>" << false;
}

void TestVBoxOutput::orvantaNames()
{
    QFETCH(QString, name);
    QFETCH(bool, isOrvanta);
    QCOMPARE(isOrvantaVmName(name), isOrvanta);
}

void TestVBoxOutput::machineInfo_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QStringList>("expectedPairs");
    QTest::addColumn<QStringList>("rules");
    QTest::addColumn<QStringList>("ruleNames");

    QTest::newRow("captured 7.1 excerpt")
        << "name=\"Orvanta_0\"\n"
           "UUID=\"0d5b1c2e-1111-2222-3333-444455556666\"\n"
           "memory=2048\n"
           "cpus=2\n"
           "VMState=\"poweroff\"\n"
           "\"IDE-0-0\"=\"/home/u/Orvanta/vbox/Orvanta_0/system.vdi\"\n"
           "\"IDE-0-1\"=\"none\"\n"
           "natnet1=\"nat\"\n"
           "mtu=\"0\"\n"
           "Forwarding(0)=\"adb,tcp,127.0.0.1,35000,10.0.2.15,5555\"\n"
           "Forwarding(1)=\"opengl,tcp,127.0.0.1,20000,10.0.2.15,22468\"\n"
        << QStringList{"name",    "Orvanta_0", "UUID",    "0d5b1c2e-1111-2222-3333-444455556666",
                       "memory",  "2048",      "cpus",    "2",
                       "VMState", "poweroff",  "IDE-0-0", "/home/u/Orvanta/vbox/Orvanta_0/system.vdi",
                       "IDE-0-1", "none",      "natnet1", "nat",
                       "mtu",     "0"}
        << QStringList{"adb,tcp,127.0.0.1,35000,10.0.2.15,5555", "opengl,tcp,127.0.0.1,20000,10.0.2.15,22468"}
        << QStringList{"adb", "opengl"};
    QTest::newRow("value holding '=' keeps all after the first")
        << "x=\"a=b\"\n"
        << QStringList{"x", "a=b"} << QStringList{} << QStringList{};
    QTest::newRow("escaped quote and backslash")
        << "description=\"say \\\"hi\\\" c:\\\\x\"\n"
        << QStringList{"description", "say \"hi\" c:\\x"} << QStringList{} << QStringList{};
    QTest::newRow("quoted key holding '='") << "\"a=b\"=\"c\"\n"
                                            << QStringList{"a=b", "c"} << QStringList{} << QStringList{};
    QTest::newRow("quoted key that never closes") << "\"a=b\n"
                                                  << QStringList{"a", "b"} << QStringList{} << QStringList{};
    QTest::newRow("extra blank lines, blanks around, no final break")
        << "\n\n  VMState = \"running\"  \n\n\ncpus=1" << QStringList{"VMState", "running", "cpus", "1"}
        << QStringList{} << QStringList{};
    QTest::newRow("line without '=' is its own key and value")
        << "continued text\n"
        << QStringList{"continued text", "continued text"} << QStringList{} << QStringList{};
    QTest::newRow("empty value") << "groups=\"\"\n"
                                 << QStringList{"groups", ""} << QStringList{} << QStringList{};
    QTest::newRow("rule with empty addresses and blanks in the name")
        << "Forwarding(0)=\" my rule ,tcp,,2222,,22\"\n"
        << QStringList{} << QStringList{" my rule ,tcp,,2222,,22"} << QStringList{"my rule"};
}

void TestVBoxOutput::machineInfo()
{
    QFETCH(QString, text);
    QFETCH(QStringList, expectedPairs);
    QFETCH(QStringList, rules);
    QFETCH(QStringList, ruleNames);
    for (const QString &variant : bothLineEnds(text)) {
        const MachineInfo info = parseMachineInfo(variant);
        QCOMPARE(info.values, table(expectedPairs));
        QCOMPARE(info.forwardRules, rules);
        QCOMPARE(info.forwardRuleNames, ruleNames);
    }
}

void TestVBoxOutput::hostInfo_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QStringList>("expectedPairs");

    QTest::newRow("captured listing") << "Host Information:\n\n"
                                         "Host time: 2024-10-15T12:34:56.789000000Z\n"
                                         "Processor online count: 8\n"
                                         "Processor#0 speed: 3600 MHz\n"
                                         "Processor#0 description: Intel(R) Core(TM) i7-8700 CPU @ 3.20GHz\n"
                                         "Memory size: 16384 MByte\n"
                                         "Memory available: 9876 MByte\n"
                                         "Operating system: Linux\n"
                                      << QStringList{"Host Information",
                                                     "",
                                                     "Host time",
                                                     "2024-10-15T12",
                                                     "Processor online count",
                                                     "8",
                                                     "Processor#0 speed",
                                                     "3600 MHz",
                                                     "Processor#0 description",
                                                     "Intel(R) Core(TM) i7-8700 CPU @ 3.20GHz",
                                                     "Memory size",
                                                     "16384",
                                                     "Memory available",
                                                     "9876 MByte",
                                                     "Operating system",
                                                     "Linux"};
    QTest::newRow("time of day keeps the text between the first two colons") << "Clock: 12:34:56\n"
                                                                             << QStringList{"Clock", "12"};
    QTest::newRow("last line without a break is not read")
        << "Processor count: 4\nMemory size: 8192 MByte" << QStringList{"Processor count", "4"};
    QTest::newRow("line without a colon is skipped") << "garbage\nProcessor count: 4\n"
                                                     << QStringList{"Processor count", "4"};
    QTest::newRow("empty description") << "Processor#0 description: \n"
                                       << QStringList{"Processor#0 description", ""};
}

void TestVBoxOutput::hostInfo()
{
    QFETCH(QString, text);
    QFETCH(QStringList, expectedPairs);
    for (const QString &variant : bothLineEnds(text))
        QCOMPARE(parseHostInfo(variant), table(expectedPairs));
}

void TestVBoxOutput::guestProperties_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QStringList>("expectedPairs");

    QTest::newRow("field form")
        << "Name: orvanta_ova_version, value: 1.0.0, timestamp: 1700000000000000000, flags: \n"
           "Name: /VirtualBox/HostInfo/GUI/LanguageID, value: C, timestamp: 1700000000000000001, flags: "
           "RDONLYGUEST\n"
        << QStringList{"orvanta_ova_version", "1.0.0", "/VirtualBox/HostInfo/GUI/LanguageID", "C"};
    QTest::newRow("field form: colon in the value kept, comma cuts it")
        << "Name: url, value: http://a:8080/x, timestamp: 1, flags: \n"
           "Name: list, value: a,b, timestamp: 1, flags: \n"
        << QStringList{"url", "http://a:8080/x", "list", "a"};
    QTest::newRow("field form: empty value") << "Name: orvanta_empty, value: , timestamp: 1, flags: \n"
                                             << QStringList{"orvanta_empty", ""};
    QTest::newRow("aligned form with times and flags")
        << "/VirtualBox/GuestInfo/OS/Product = 'Linux' @ 2024-10-15T12:34:56.789Z\n"
           "/test/a                          = 'x'     @ 2024-10-15T12:35:00.000Z TRANSIENT\n"
        << QStringList{"/VirtualBox/GuestInfo/OS/Product", "Linux", "/test/a", "x"};
    QTest::newRow("aligned form without times, value with quote, comma and '='")
        << "emu_id     = '1234'\n"
           "orvanta_x  = 'it's a,b=c'\n"
           "orvanta_e  = ''\n"
        << QStringList{"emu_id", "1234", "orvanta_x", "it's a,b=c", "orvanta_e", ""};
    QTest::newRow("nothing found") << "No properties found.\n" << QStringList{};
}

void TestVBoxOutput::guestProperties()
{
    QFETCH(QString, text);
    QFETCH(QStringList, expectedPairs);
    for (const QString &variant : bothLineEnds(text))
        QCOMPARE(parseGuestProperties(variant), table(expectedPairs));
}

void TestVBoxOutput::extraData_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QStringList>("expectedPairs");
    QTest::newRow("two keys")
        << "Key: VBoxInternal/Devices/orvspeed/0/Config/Path, Value: /opt/orv/OrvSpeed-x64.so\n"
           "Key: GUI/LastCloseAction, Value: PowerOff\n"
        << QStringList{"VBoxInternal/Devices/orvspeed/0/Config/Path", "/opt/orv/OrvSpeed-x64.so",
                       "GUI/LastCloseAction", "PowerOff"};
    QTest::newRow("none") << "" << QStringList{};
    QTest::newRow("value with a colon, blank lines") << "\n\nKey: k, Value: a:b\n\n"
                                                     << QStringList{"k", "a:b"};
    QTest::newRow("line without a comma is skipped") << "Key: lonely\nKey: k, Value: v\n"
                                                     << QStringList{"k", "v"};
}

void TestVBoxOutput::extraData()
{
    QFETCH(QString, text);
    QFETCH(QStringList, expectedPairs);
    for (const QString &variant : bothLineEnds(text))
        QCOMPARE(parseExtraData(variant), table(expectedPairs));
}

void TestVBoxOutput::procNetTcp_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QList<int>>("ports");

    const QString head = "  sl  local_address rem_address   st tx_queue rx_queue tr tm->when retrnsmt   uid  "
                         "timeout inode\n";
    QTest::newRow("tcp: listening and connected")
        << head +
               "   0: 0100007F:4E20 00000000:0000 0A 00000000:00000000 00:00000000 00000000  1000        0 "
               "41 1 0000000000000000 100 0 0 10 0\n"
               "   1: 0100007F:9C40 0100007F:D2F0 01 00000000:00000000 00:00000000 00000000  1000        0 "
               "42 1 0000000000000000 20 4 30 10 -1\n"
        << QList<int>{20000, 40000};
    QTest::newRow("tcp6")
        << "  sl  local_address                         remote_address                        st\n"
           "   0: 00000000000000000000000000000000:61A8 00000000000000000000000000000000:0000 0A\n"
        << QList<int>{25000};
    QTest::newRow("empty table, header only") << head << QList<int>{};
    QTest::newRow("nothing at all") << "" << QList<int>{};
    QTest::newRow("word instead of an address gives 0") << head + "   0: beef 00000000:0000 0A\n"
                                                        << QList<int>{0};
    QTest::newRow("line without a second field gives 0") << head + "   0:\n" << QList<int>{0};
    // Found by fuzzing: more hexadecimal digits than a port has were read as a port above 65535.
    QTest::newRow("port beyond 16 bits gives 0") << head + "   0: 0100007F:1FFFFF 00000000:0000 0A\n"
                                                 << QList<int>{0};
    QTest::newRow("negative port gives 0") << head + "   0: 0100007F:-1 00000000:0000 0A\n" << QList<int>{0};
}

void TestVBoxOutput::procNetTcp()
{
    QFETCH(QString, text);
    QFETCH(QList<int>, ports);
    const QSet<int> expected(ports.cbegin(), ports.cend());
    for (const QString &variant : bothLineEnds(text))
        QCOMPARE(parseProcNetTcp(variant), expected);
}

void TestVBoxOutput::wholeAnswers_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("whole");
    QTest::newRow("list empty") << "list"
                                << "" << true;
    QTest::newRow("list two") << "list"
                              << "\"Orvanta_0\" {1111}\r\n\"Work VM\" {2222}\n"
                              << true;
    QTest::newRow("list cut in a line") << "list"
                                        << "\"Orvanta_0\" {1111}\n\"Orvanta_1\" {22" << false;
    QTest::newRow("list without final break") << "list"
                                              << "\"Orvanta_0\" {1111}" << false;
    QTest::newRow("list with foreign text") << "list"
                                            << "\"Orvanta_0\" {1111}\nSegmentation fault\n"
                                            << false;
    QTest::newRow("info whole") << "info"
                                << "name=\"Orvanta_1\"\n\"IDE-0-1\"=\"/v/d.vmdk\"\nmemory=1024\n"
                                << true;
    QTest::newRow("info empty") << "info"
                                << "" << false;
    QTest::newRow("info cut in a value") << "info"
                                         << "name=\"Orvanta_1\"\nLogFldr=\"/v/Orv" << false;
    QTest::newRow("info cut after the quote") << "info"
                                              << "name=\"Orvanta_1\"\nLogFldr=\"/v/Orv\n"
                                              << false;
    QTest::newRow("info line without key") << "info"
                                           << "name=\"Orvanta_1\"\ngarbage\n"
                                           << false;
}

void TestVBoxOutput::wholeAnswers()
{
    QFETCH(QString, kind);
    QFETCH(QString, text);
    QFETCH(bool, whole);
    QCOMPARE(kind == "list" ? isCompleteVmList(text) : isCompleteMachineInfo(text), whole);
}

void TestVBoxOutput::createdMachineFiles()
{
    QCOMPARE(createdSettingsFile("Virtual machine 'Orvanta_7.' is created and registered.\n"
                                 "UUID: 3f0c2a8e-6a51-4c5e-9d0e-1b2c3d4e5f60\n"
                                 "Settings file: '/i/vbox/Orvanta_7_/Orvanta_7_.vbox'\n"),
             QString("/i/vbox/Orvanta_7_/Orvanta_7_.vbox"));
    QCOMPARE(createdSettingsFile("Virtual machine 'x' is created and registered.\n"), QString());
    QCOMPARE(existingSettingsFile("VBoxManage: error: Machine settings file '/i/vbox/a b/a b.vbox' already "
                                  "exists\nVBoxManage: error: Details: code VBOX_E_FILE_ERROR\n"),
             QString("/i/vbox/a b/a b.vbox"));
    QCOMPARE(existingSettingsFile("VBoxManage: error: Unknown or invalid guest OS type given.\n"), QString());
}

void TestVBoxOutput::hardDisks_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QStringList>("disks"); // "<location>=<user>,<user>"
    QTest::addColumn<bool>("complete");

    const QString used = "UUID:           8d5c0000-0000-4000-8000-000000000001\n"
                         "State:          created\n"
                         "Location:       /i/vbox/Gamma/a disk.vmdk\n"
                         "In use by VMs:  Other (UUID: 3f0c2a8e-0000-4000-8000-000000000002) [s (UUID: 1)]\n"
                         "                Second VM (UUID: 3f0c2a8e-0000-4000-8000-000000000004)\n";
    const QString unused = "UUID:           8d5c0000-0000-4000-8000-000000000005\n"
                           "Location:       /i/vbox/Alpha/b.vmdk\n"
                           "Encryption:     disabled\n";
    QTest::newRow("two users, one unused")
        << used + "\n" + unused + "\n"
        << QStringList{"/i/vbox/Gamma/a disk.vmdk=Other,Second VM", "/i/vbox/Alpha/b.vmdk="} << true;
    QTest::newRow("no disks") << "" << QStringList{} << true;
    QTest::newRow("CRLF") << QString(used).replace("\n", "\r\n") + "\r\n"
                          << QStringList{"/i/vbox/Gamma/a disk.vmdk=Other,Second VM"} << true;
    QTest::newRow("cut off in a block") << "UUID:           8d5c\nState:  created\n"
                                        << QStringList{"="} << false;
    QTest::newRow("cut off mid-line")
        << used.left(used.size() - 10) << QStringList{"/i/vbox/Gamma/a disk.vmdk=Other,Second VM"} << false;
}

void TestVBoxOutput::hardDisks()
{
    QFETCH(QString, text);
    QFETCH(QStringList, disks);
    QFETCH(bool, complete);
    bool whole = !complete;
    QStringList seen;
    for (const HardDisk &disk : parseHardDisks(text, &whole))
        seen << disk.location + '=' + disk.users.join(',');
    QCOMPARE(seen, disks);
    QCOMPARE(whole, complete);
}

void TestVBoxOutput::settingsNames_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QString>("name");
    QTest::newRow("XML settings")
        << QByteArray("<?xml version=\"1.0\"?>\n<VirtualBox xmlns=\"http://www.virtualbox.org/\">"
                      "<Machine uuid=\"{1}\" name=\"Job.\" OSType=\"Linux\"/></VirtualBox>\n")
        << "Job.";
    QTest::newRow("JSON settings") << QByteArray(R"({"uuid": "1", "settings": {"name": "Work_"}})")
                                   << "Work_";
    QTest::newRow("cut off") << QByteArray(R"({"uuid": "trunc)") << "";
    QTest::newRow("no machine element") << QByteArray("<VirtualBox><Global/></VirtualBox>") << "";
    QTest::newRow("empty") << QByteArray() << "";
}

void TestVBoxOutput::settingsNames()
{
    QFETCH(QByteArray, content);
    QFETCH(QString, name);
    QCOMPARE(settingsMachineName(content), name);
}

QTEST_GUILESS_MAIN(TestVBoxOutput)
#include "tst_vboxoutput.moc"
