// The editor's rules on keys, without widgets: which key a button may take and which keys the hot keys
// forbid.

#include "keymaprules.h"

#include <QObject>
#include <QtTest>

using KeyMapRules::Asker;
using KeyMapRules::EditorKeys;

Q_DECLARE_METATYPE(KeyMapRules::Asker)

class TestKeyMapRules : public QObject
{
    Q_OBJECT

private slots:
    void conflicts_data();
    void conflicts();
    void hotKeys_data();
    void hotKeys();

private:
    QObject keyA, keyB, slideA, slideB;
};

// The editor in each row: a shown direction pad W S A D, a sensor pad (shown or not) with Up, Down and
// an empty left field and "J", key buttons keyA on "K" and keyB on "L", swipes slideA on "M" and a
// keyless slideB under "NULL".
void TestKeyMapRules::conflicts_data()
{
    QTest::addColumn<bool>("padShown");
    QTest::addColumn<bool>("sensorShown");
    QTest::addColumn<Asker>("asker");
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("self");
    QTest::addColumn<int>("field");
    QTest::addColumn<bool>("conflict");

    // key vs key buttons
    QTest::newRow("key: another key button's key") << true << true << Asker::Key << "L"
                                                   << "keyA" << -1 << true;
    QTest::newRow("key: its own indexed key") << true << true << Asker::Key << "K"
                                              << "keyA" << -1 << false;
    QTest::newRow("key: a free key") << true << true << Asker::Key << "Q"
                                     << "keyA" << -1 << false;
    QTest::newRow("key: a swipe's key") << true << true << Asker::Key << "M"
                                        << "keyA" << -1 << true;
    QTest::newRow("key: shown pad's key") << true << true << Asker::Key << "W"
                                          << "keyA" << -1 << true;
    QTest::newRow("key: hidden pad's key") << false << true << Asker::Key << "W"
                                           << "keyA" << -1 << false;
    QTest::newRow("key: shown sensor's key") << true << true << Asker::Key << "Up"
                                             << "keyA" << -1 << true;
    QTest::newRow("key: hidden sensor's key") << true << false << Asker::Key << "Up"
                                              << "keyA" << -1 << false;
    QTest::newRow("key: empty text") << true << true << Asker::Key << ""
                                     << "keyA" << -1 << false;
    // swipes
    QTest::newRow("slide: a key button's key") << true << true << Asker::Slide << "K"
                                               << "slideA" << -1 << true;
    QTest::newRow("slide: its own key") << true << true << Asker::Slide << "M"
                                        << "slideA" << -1 << false;
    QTest::newRow("slide: another swipe's key") << true << true << Asker::Slide << "M"
                                                << "slideB" << -1 << true;
    QTest::newRow("slide: pad's key") << true << true << Asker::Slide << "D"
                                      << "slideA" << -1 << true;
    QTest::newRow("slide: sensor's key") << true << true << Asker::Slide << "Down"
                                         << "slideA" << -1 << true;
    QTest::newRow("slide: the placeholder is no key") << true << true << Asker::Slide << ""
                                                      << "slideA" << -1 << false;
    // pad vs key buttons, swipes and the other pad
    QTest::newRow("pad: a key button's key") << true << true << Asker::Pad << "K"
                                             << "" << 0 << true;
    QTest::newRow("pad: a swipe's key") << true << true << Asker::Pad << "M"
                                        << "" << 0 << true;
    QTest::newRow("pad: another field's key") << true << true << Asker::Pad << "S"
                                              << "" << 0 << true;
    QTest::newRow("pad: the field's own key") << true << true << Asker::Pad << "W"
                                              << "" << 0 << false;
    QTest::newRow("pad: shown sensor's key") << true << true << Asker::Pad << "J"
                                             << "" << 2 << true;
    QTest::newRow("pad: hidden sensor's key") << true << false << Asker::Pad << "J"
                                              << "" << 2 << false;
    QTest::newRow("pad: hidden pad checks its own fields") << false << false << Asker::Pad << "A"
                                                           << "" << 0 << true;
    QTest::newRow("sensor: shown pad's key") << true << true << Asker::Sensor << "A"
                                             << "" << 0 << true;
    QTest::newRow("sensor: hidden pad's key") << false << true << Asker::Sensor << "A"
                                              << "" << 0 << false;
    QTest::newRow("sensor: another own field") << true << true << Asker::Sensor << "Down"
                                               << "" << 0 << true;
    QTest::newRow("sensor: empty field next to empty field") << true << true << Asker::Sensor << ""
                                                             << "" << 0 << false;
    QTest::newRow("sensor: a key button's key") << true << true << Asker::Sensor << "L"
                                                << "" << 3 << true;
}

void TestKeyMapRules::conflicts()
{
    QFETCH(bool, padShown);
    QFETCH(bool, sensorShown);
    QFETCH(Asker, asker);
    QFETCH(QString, key);
    QFETCH(QString, self);
    QFETCH(int, field);
    QFETCH(bool, conflict);

    EditorKeys keys;
    keys.padShown = padShown;
    keys.padKeys = QStringList{"W", "S", "A", "D"};
    keys.sensorShown = sensorShown;
    keys.sensorKeys = QStringList{"Up", "Down", "", "J"};
    keys.keyButtons = {{"K", &keyA}, {"L", &keyB}};
    keys.slideButtons = {{"M", &slideA}, {"NULL", &slideB}};
    const QMap<QString, QObject *> selves{
        {"keyA", &keyA}, {"keyB", &keyB}, {"slideA", &slideA}, {"slideB", &slideB}};
    QCOMPARE(KeyMapRules::conflicts(keys, asker, key, selves.value(self), field), conflict);
}

void TestKeyMapRules::hotKeys_data()
{
    QTest::addColumn<QString>("keyName");
    QTest::addColumn<QStringList>("shortcuts");
    QTest::addColumn<bool>("hotKey");
    const QStringList defaults{"Ctrl + Alt + X", "Esc", "Home", "PaUp", "Ctrl + 1"};
    QTest::newRow("Esc") << "Esc" << defaults << true;
    QTest::newRow("Home") << "Home" << defaults << true;
    QTest::newRow("page up while the menu key is page up") << "PgUp" << defaults << true;
    QTest::newRow("page down while the menu key is page down") << "PgDn" << QStringList{"PaDown"} << true;
    QTest::newRow("page down free") << "PgDn" << defaults << false;
    QTest::newRow("1 is not Ctrl + 1") << "1" << defaults << false;
    QTest::newRow("a plain letter hot key") << "Q" << QStringList{"Q"} << true;
    QTest::newRow("empty name against an empty text") << "" << QStringList{""} << false;
    QTest::newRow("PaUp is no key name") << "PaUp" << QStringList{"Home"} << false;
}

void TestKeyMapRules::hotKeys()
{
    QFETCH(QString, keyName);
    QFETCH(QStringList, shortcuts);
    QFETCH(bool, hotKey);
    QCOMPARE(KeyMapRules::isHotKey(keyName, shortcuts), hotKey);
}

QTEST_MAIN(TestKeyMapRules)
#include "tst_keymaprules.moc"
