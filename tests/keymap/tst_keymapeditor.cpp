// The key-map editor in this process on the X server the tests run under: drops of each kind (QTest drag
// events carrying the palette's MIME bytes, and real drags through XTest), key checks, hot-key refusals,
// Clear, Save with the file it writes, and placement from a stored record. Also the geometry of the six
// button kinds.

#include "firebutton.h"
#include "global.h"
#include "keyboardcoursebookdialog.h"
#include "keyboarddialog.h"
#include "keybutton.h"
#include "keylineedit.h"
#include "keymapfile.h"
#include "operatorbutton.h"
#include "padbutton.h"
#include "slidebutton.h"
#include "testartefacts.h"
#include "tipwidget.h"

#ifdef ORV_HAVE_XTEST
#include "xtestinput.h"
#endif

#include <QFile>
#include <QMimeData>
#include <QPushButton>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>
#include <atomic>
#include <chrono>
#include <thread>

namespace {

const QRect kScreen(100, 80, 540, 960);
const QString kVm = QStringLiteral("Orvanta_3");
const QString kPackage = QStringLiteral("com.example.game");

// A drop of a palette kind at an editor point, as a drag from outside the editor delivers it.
bool dropKind(KeyBoardDialog &editor, int kind, const QPoint &at, bool withFormat = true)
{
    QMimeData mime;
    if (withFormat)
        mime.setData(QLatin1String(KeyBoardDialog::kMimeType), KeyBoardDialog::mimeBytes(kind));
    else
        mime.setData(QStringLiteral("text/plain"), "x");
    QDragEnterEvent enter(at, Qt::MoveAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&editor, &enter);
    if (!enter.isAccepted())
        return false;
    QDragMoveEvent move(at, Qt::MoveAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&editor, &move);
    QDropEvent drop(at, Qt::MoveAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&editor, &drop);
    return drop.isAccepted();
}

// The one key button / swipe the editor shows that is not indexed yet (the last dropped), or null.
template <typename Button> Button *newest(KeyBoardDialog &editor)
{
    const QList<Button *> all = editor.findChildren<Button *>(QString(), Qt::FindDirectChildrenOnly);
    for (Button *b : all) {
        if (b->isVisible() &&
            !editor.indexedKeyButtons().values().contains(reinterpret_cast<KeyButton *>(b)) &&
            !editor.indexedSlideButtons().values().contains(reinterpret_cast<SlideButton *>(b)))
            return b;
    }
    return nullptr;
}

// A key typed into a key field that has the focus, then the focus taken away (as a click elsewhere).
void typeKey(KeyLineEdit *field, Qt::Key key, Qt::KeyboardModifiers mods = Qt::NoModifier)
{
    field->setFocus(Qt::OtherFocusReason);
    QTest::keyClick(field, key, mods);
}

QByteArray readFile(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

} // namespace

class TestKeyMapEditor : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void geometry_data();
    void geometry();
    void padEdgePoints();
    void looks();
    void dropsOfEachKind();
    void dropWithoutFormatOrUnknownKind();
    void padDropRemovesSharedKeys();
    void sensorDropHidesDirectionPad();
    void conflicts_data();
    void conflicts();
    void keylessButtonsGo();
    void hotKeyAtFocusOut_data();
    void hotKeyAtFocusOut();
    void hotKeyRefusesSave_data();
    void hotKeyRefusesSave();
    void clearThenClose();
    void clearThenSave();
    void saveWritesFileForOpeningPackage();
    void placementFromRecord();
    void escapeAndHelp();
    void paletteButtonPress();
    void realDragsAndKeys();

private:
    QString filePath() const { return KeyMapFile::filePath(kVm, kPackage); }
    QTemporaryDir m_dir;
    QStringList m_messages;
};

void TestKeyMapEditor::initTestCase()
{
    QVERIFY(m_dir.isValid());
    qputenv("APPDATA", m_dir.path().toUtf8());
    Global::vmName = kVm;
    KeyBoardDialog::setMessageHandler([this](QWidget *, const QString &text) { m_messages << text; });
}

void TestKeyMapEditor::init()
{
    Global::currentPackage = kPackage;
    replaceCurrentKeyMap(KeyMap());
    QFile::remove(filePath());
    m_messages.clear();
}

void TestKeyMapEditor::cleanup()
{
    // Closed buttons go with deferred deletion.
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

// Size and centre offset of each kind, and the two moves: by centre and by top-left.
void TestKeyMapEditor::geometry_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QSize>("size");
    QTest::addColumn<QPoint>("offset");
    QTest::newRow("fire") << "fire" << QSize(80, 80) << QPoint(33, 47);
    QTest::newRow("aim") << "aim" << QSize(80, 80) << QPoint(33, 47);
    QTest::newRow("key") << "key" << QSize(70, 64) << QPoint(24, 43);
    QTest::newRow("slide") << "slide" << QSize(179, 174) << QPoint(81, 92);
    QTest::newRow("position") << "position" << QSize(232, 232) << QPoint(116, 116);
    QTest::newRow("sensor") << "sensor" << QSize(232, 232) << QPoint(116, 116);
}

void TestKeyMapEditor::geometry()
{
    QFETCH(QString, kind);
    QFETCH(QSize, size);
    QFETCH(QPoint, offset);
    QWidget parent;
    std::unique_ptr<BaseButton> button;
    if (kind == "fire")
        button.reset(new FireButton(&parent));
    else if (kind == "aim")
        button.reset(new AimButton(&parent));
    else if (kind == "key")
        button.reset(new KeyButton(&parent));
    else if (kind == "slide")
        button.reset(new SlideButton(&parent));
    else if (kind == "position")
        button.reset(new PositionButton(&parent));
    else
        button.reset(new SensorButton(&parent));
    QCOMPARE(button->size(), size);
    QCOMPARE(button->center(), QPoint(0, 0));
    button->moveCenter(100, 100);
    QCOMPARE(button->center(), QPoint(100, 100));
    QCOMPARE(button->pos(), QPoint(100, 100) - offset);
    button->moveTopLeft(10, 20);
    QCOMPARE(button->pos(), QPoint(10, 20));
    QCOMPARE(button->center(), QPoint(10, 20) + offset);
    button->moveCenter(-5, 3);
    QCOMPARE(button->pos(), QPoint(-5, 3) - offset);
}

// A direction pad at (300, 400) saves its centre and its four points 46 pixels away; the file holds
// exactly those entries in the program's JSON form, with the editor's rectangle and rotation.
void TestKeyMapEditor::padEdgePoints()
{
    KeyBoardDialog editor(90, kScreen);
    editor.show();
    QVERIFY(dropKind(editor, KeyBoardDialog::Position, QPoint(300, 400)));
    QCOMPARE(editor.position()->keys(), (QStringList{"W", "S", "A", "D"}));
    editor.findChild<QPushButton *>(QStringLiteral("btn_save"))->click();
    QVERIFY(editor.saved);
    QVERIFY(!editor.isVisible());

    KeyMap expected;
    expected.insert("POSCENTER", {KeyMapPosCenter, {300, 400}});
    expected.insert("W", {KeyMapPosUp, {300, 354}});
    expected.insert("S", {KeyMapPosDown, {300, 446}});
    expected.insert("A", {KeyMapPosLeft, {254, 400}});
    expected.insert("D", {KeyMapPosRight, {346, 400}});
    QCOMPARE(currentKeyMapCopy(), expected);
    // The rectangle payload of a 540 x 960 area at (100, 80): left, top, right, bottom.
    const QByteArray rect = QByteArray::fromHex("00000064"
                                                "00000050"
                                                "0000027f"
                                                "0000040f");
    QCOMPARE(KeyMapFile::encodeRect(kScreen), rect);
    const QByteArray file = readFile(filePath());
    QCOMPARE(file, KeyMapFile::toJson(expected, kScreen, 90));
    QVERIFY(file.startsWith("{\n    \"keyMap\": \""));
    QVERIFY(file.contains("\"rect\": \"" + rect.toBase64() + "\""));
    QVERIFY(file.endsWith("\"rotation\": 90\n}\n"));
}

void TestKeyMapEditor::looks()
{
    KeyBoardDialog editor(0, kScreen);
    QCOMPARE(editor.geometry(), kScreen);
    QVERIFY(editor.windowFlags().testFlag(Qt::FramelessWindowHint));
    QVERIFY(editor.testAttribute(Qt::WA_TranslucentBackground));
    QVERIFY(editor.acceptDrops());
    editor.show();
    QVERIFY(QTest::qWaitForWindowExposed(&editor));
    // Right to left: close, save, clear at the right edge, then help and the palette.
    auto *close = editor.findChild<QPushButton *>(QStringLiteral("pushButton"));
    auto *save = editor.findChild<QPushButton *>(QStringLiteral("btn_save"));
    auto *clear = editor.findChild<QPushButton *>(QStringLiteral("btn_clear"));
    auto x = [&](QWidget *w) { return w->mapTo(&editor, QPoint(0, 0)).x(); };
    QCOMPARE(x(close) + close->width(), kScreen.width());
    QVERIFY(x(save) < x(close) && x(clear) < x(save));
    const int kinds[] = {KeyBoardDialog::Slide, KeyBoardDialog::Position, KeyBoardDialog::Sensor,
                         KeyBoardDialog::Key,   KeyBoardDialog::Aim,      KeyBoardDialog::Fire};
    int last = x(editor.findChild<QPushButton *>(QStringLiteral("help")));
    for (int kind : kinds) {
        OperatorButton *button = editor.paletteButton(kind);
        QCOMPARE(button->operateType, kind);
        QVERIFY(x(button) > last);
        last = x(button);
        QVERIFY(button->mapTo(&editor, QPoint(0, 0)).y() + button->height() <= 70);
    }
    QVERIFY(x(editor.paletteButton(KeyBoardDialog::Fire)) < x(clear));
    QCOMPARE(editor.paletteButton(KeyBoardDialog::Fire)->tipWidget()->text(), QStringLiteral("fire tip"));
    // The drag pictures are named without their suffix and resolve.
    for (const char *name : {"key_operate_fire_over", "key_operate_aim_over", "key_operate_key_over",
                             "key_operate_position_over", "key_operate_sensor_over", "key_operate_slide"})
        QVERIFY2(!QPixmap(QStringLiteral(":/images/") + QLatin1String(name)).isNull(), name);
    // Darkened: the bar at alpha 143 under 127, the rest at 127.
    const QImage shot = editor.grab().toImage();
    QVERIFY(qAbs(shot.pixelColor(300, 300).alpha() - 127) <= 1);
    QVERIFY(shot.pixelColor(5, 5).alpha() > 180);
    QCOMPARE(editor.conflictNotice()->fontSize, 20);
    QCOMPARE(editor.conflictNotice()->padding, 30);
    QCOMPARE(editor.conflictNotice()->radius, 6);
    QCOMPARE(editor.conflictNotice()->text(), QStringLiteral("Keyboard_save_confilc"));
}

void TestKeyMapEditor::dropsOfEachKind()
{
    KeyBoardDialog editor(0, kScreen);
    editor.show();
    QVERIFY(QTest::qWaitForWindowActive(&editor));
    QVERIFY(!editor.fire()->isVisible() && !editor.aim()->isVisible() && !editor.position()->isVisible() &&
            !editor.sensor()->isVisible());
    QVERIFY(dropKind(editor, KeyBoardDialog::Fire, QPoint(50, 500)));
    QVERIFY(dropKind(editor, KeyBoardDialog::Fire, QPoint(200, 300)));
    QCOMPARE(editor.fire()->center(), QPoint(200, 300));
    QCOMPARE(editor.fire()->pos(), QPoint(167, 253));
    QCOMPARE(editor.findChildren<FireButton *>().size(), 1);
    QVERIFY(dropKind(editor, KeyBoardDialog::Aim, QPoint(400, 300)));
    QVERIFY(editor.aim()->isVisible());

    // A new key button takes the focus at once and is indexed only when it leaves it with a key.
    QVERIFY(dropKind(editor, KeyBoardDialog::Key, QPoint(120, 700)));
    auto *key = newest<KeyButton>(editor);
    QVERIFY(key);
    QCOMPARE(key->center(), QPoint(120, 700));
    QTRY_VERIFY(key->keyEdit()->hasFocus());
    QVERIFY(editor.indexedKeyButtons().isEmpty());
    QTest::keyClick(key->keyEdit(), Qt::Key_J);
    QCOMPARE(key->keyText(), QStringLiteral("J"));
    editor.setFocus();
    QCOMPARE(editor.indexedKeyButtons().value("J"), key);

    QVERIFY(dropKind(editor, KeyBoardDialog::Slide, QPoint(300, 650)));
    auto *slide = newest<SlideButton>(editor);
    QVERIFY(slide);
    QCOMPARE(slide->direction(), QStringLiteral("up"));
    QTRY_VERIFY(slide->keyEdit()->hasFocus());
    QTest::keyClick(slide->keyEdit(), Qt::Key_Space);
    editor.setFocus();
    QCOMPARE(editor.indexedSlideButtons().value("Space"), slide);

    QVERIFY(dropKind(editor, KeyBoardDialog::Sensor, QPoint(400, 800)));
    QVERIFY(editor.sensor()->isVisible());
    QCOMPARE(editor.sensor()->keys(), (QStringList{"Up", "Down", "Left", "Right"}));
    QTRY_VERIFY(editor.sensor()->upEdit()->hasFocus());
    QVERIFY(dropKind(editor, KeyBoardDialog::Position, QPoint(150, 400)));

    const KeyMap map = editor.buildKeyMap();
    QCOMPARE(map.value("FIRE"), (KeyMapItem{KeyMapFire, {200, 300}}));
    QCOMPARE(map.value("AIM"), (KeyMapItem{KeyMapAim, {400, 300}}));
    QCOMPARE(map.value("J"), (KeyMapItem{KeyMapKey, {120, 700}}));
    QCOMPARE(map.value("Space"), (KeyMapItem{KeyMapSlideUp, {300, 650}}));
    QCOMPARE(map.value("SENCENTER"), (KeyMapItem{KeyMapSenCenter, {400, 800}}));
    QCOMPARE(map.value("Left"), (KeyMapItem{KeyMapSenLeft, {0, 0}}));
    QCOMPARE(map.value("POSCENTER"), (KeyMapItem{KeyMapPosCenter, {150, 400}}));
    QCOMPARE(map.size(), 14);

    // One button of each kind over a stand-in of the Android screen, kept for a reader.
    QWidget android;
    android.setGeometry(kScreen);
    android.setStyleSheet(QStringLiteral("background: rgb(30, 140, 60);"));
    android.show();
    QVERIFY(QTest::qWaitForWindowExposed(&android));
    editor.raise();
    QTest::qWait(100);
    const QImage shot = editor.grab().toImage();
    shot.save(TestArtefacts::path(QStringLiteral("keymap-editor-buttons.png")));
}

void TestKeyMapEditor::dropWithoutFormatOrUnknownKind()
{
    KeyBoardDialog editor(0, kScreen);
    editor.show();
    QVERIFY(!dropKind(editor, KeyBoardDialog::Fire, QPoint(10, 100), false));
    QVERIFY(!editor.fire()->isVisible());
    QVERIFY(!dropKind(editor, 6, QPoint(10, 100)));
    QVERIFY(!dropKind(editor, -1, QPoint(10, 100)));
    QCOMPARE(editor.findChildren<BaseButton *>().size(), 4);
    QVERIFY(editor.buildKeyMap().isEmpty());
}

// The direction pad takes W, S, A, D from key buttons and swipes, and hides a sensor pad that shares one.
void TestKeyMapEditor::padDropRemovesSharedKeys()
{
    KeyMap record;
    record.insert("W", {KeyMapKey, {10, 100}});
    record.insert("A", {KeyMapKey, {20, 100}});
    record.insert("Q", {KeyMapKey, {30, 100}});
    record.insert("D", {KeyMapSlideLeft, {40, 300}});
    record.insert("SENCENTER", {KeyMapSenCenter, {300, 700}});
    record.insert("S", {KeyMapSenUp, {0, 0}});
    replaceCurrentKeyMap(record);
    KeyBoardDialog editor(0, kScreen);
    editor.show();
    QVERIFY(editor.sensor()->isVisible());
    QCOMPARE(editor.indexedKeyButtons().size(), 3);
    QVERIFY(dropKind(editor, KeyBoardDialog::Position, QPoint(300, 400)));
    QCOMPARE(editor.indexedKeyButtons().keys(), QStringList{"Q"});
    QVERIFY(editor.indexedSlideButtons().isEmpty());
    QVERIFY(editor.sensor()->isHidden());
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QCOMPARE(editor.findChildren<KeyButton *>().size(), 1);
    QCOMPARE(editor.findChildren<SlideButton *>().size(), 0);
}

void TestKeyMapEditor::sensorDropHidesDirectionPad()
{
    KeyMap record;
    record.insert("POSCENTER", {KeyMapPosCenter, {300, 400}});
    record.insert("Up", {KeyMapPosUp, {300, 354}});
    record.insert("Down", {KeyMapKey, {50, 100}});
    record.insert("Right", {KeyMapKey, {60, 100}});
    replaceCurrentKeyMap(record);
    KeyBoardDialog editor(0, kScreen);
    editor.show();
    QVERIFY(editor.position()->isVisible());
    QCOMPARE(editor.position()->upKey(), QStringLiteral("Up"));
    QVERIFY(dropKind(editor, KeyBoardDialog::Sensor, QPoint(200, 600)));
    QVERIFY(editor.position()->isHidden());
    QVERIFY(editor.indexedKeyButtons().isEmpty());
    const KeyMap map = editor.buildKeyMap();
    QVERIFY(!map.contains("POSCENTER"));
    QCOMPARE(map.value("Up").type, qint32(KeyMapSenUp));
}

// Who refuses what: each row types a key into one field of an editor holding a direction pad W S A D,
// a sensor pad with Up / Down, a key button on K, a swipe on M; a refused key empties the field and shows
// the notice centred over the editor.
void TestKeyMapEditor::conflicts_data()
{
    QTest::addColumn<QString>("field");
    QTest::addColumn<int>("key");
    QTest::addColumn<bool>("refused");
    QTest::newRow("new key vs key button") << "newkey" << int(Qt::Key_K) << true;
    QTest::newRow("new key vs swipe") << "newkey" << int(Qt::Key_M) << true;
    QTest::newRow("new key vs direction pad") << "newkey" << int(Qt::Key_W) << true;
    QTest::newRow("new key vs sensor pad") << "newkey" << int(Qt::Key_Down) << true;
    QTest::newRow("new key free") << "newkey" << int(Qt::Key_Z) << false;
    QTest::newRow("key button keeps its own key") << "key" << int(Qt::Key_K) << false;
    QTest::newRow("swipe vs key button") << "slide" << int(Qt::Key_K) << true;
    QTest::newRow("swipe keeps its own key") << "slide" << int(Qt::Key_M) << false;
    QTest::newRow("pad vs key button") << "pad" << int(Qt::Key_K) << true;
    QTest::newRow("pad vs swipe") << "pad" << int(Qt::Key_M) << true;
    QTest::newRow("pad vs its own other field") << "pad" << int(Qt::Key_S) << true;
    QTest::newRow("pad field's own key") << "pad" << int(Qt::Key_W) << false;
    QTest::newRow("pad vs sensor pad") << "pad" << int(Qt::Key_Up) << true;
    QTest::newRow("sensor vs direction pad") << "sensor" << int(Qt::Key_A) << true;
    QTest::newRow("sensor free into its empty field") << "sensor" << int(Qt::Key_Y) << false;
}

void TestKeyMapEditor::conflicts()
{
    QFETCH(QString, field);
    QFETCH(int, key);
    QFETCH(bool, refused);
    KeyMap record;
    record.insert("POSCENTER", {KeyMapPosCenter, {150, 400}});
    record.insert("W", {KeyMapPosUp, {0, 0}});
    record.insert("S", {KeyMapPosDown, {0, 0}});
    record.insert("A", {KeyMapPosLeft, {0, 0}});
    record.insert("D", {KeyMapPosRight, {0, 0}});
    record.insert("SENCENTER", {KeyMapSenCenter, {400, 800}});
    record.insert("Up", {KeyMapSenUp, {0, 0}});
    record.insert("Down", {KeyMapSenDown, {0, 0}});
    record.insert("K", {KeyMapKey, {100, 200}});
    record.insert("M", {KeyMapSlideDown, {300, 600}});
    replaceCurrentKeyMap(record);
    KeyBoardDialog editor(0, kScreen);
    editor.show();
    QVERIFY(QTest::qWaitForWindowActive(&editor));

    KeyLineEdit *edit = nullptr;
    if (field == "newkey") {
        QVERIFY(dropKind(editor, KeyBoardDialog::Key, QPoint(200, 200)));
        edit = newest<KeyButton>(editor)->keyEdit();
    } else if (field == "key") {
        edit = editor.indexedKeyButtons().value("K")->keyEdit();
    } else if (field == "slide") {
        edit = editor.indexedSlideButtons().value("M")->keyEdit();
    } else if (field == "pad") {
        edit = editor.position()->upEdit();
    } else {
        edit = editor.sensor()->leftEdit();
    }
    const QString name = KeyButton::keyName(key);
    typeKey(edit, Qt::Key(key));
    QCOMPARE(edit->text(), refused ? QString() : name);
    if (refused) {
        QTRY_VERIFY(editor.conflictNotice()->isVisible());
        const QRect tip = editor.conflictNotice()->geometry();
        QCOMPARE(tip.x(), kScreen.x() + (kScreen.width() - tip.width()) / 2);
        QCOMPARE(tip.y(), kScreen.y() + (kScreen.height() - tip.height()) / 2);
        // Shown for two seconds.
        QTRY_VERIFY_WITH_TIMEOUT(!editor.conflictNotice()->isVisible(), 3000);
    } else {
        QVERIFY(!editor.conflictNotice()->isVisible());
    }
}

// A key button or swipe left without a key: the key button goes, the swipe waits under "NULL" and is
// removed by the next save. Backspace empties a key and the button goes at focus-out.
void TestKeyMapEditor::keylessButtonsGo()
{
    KeyMap record;
    record.insert("A", {KeyMapKey, {100, 200}});
    replaceCurrentKeyMap(record);
    KeyBoardDialog editor(0, kScreen);
    editor.show();
    QVERIFY(QTest::qWaitForWindowActive(&editor));
    QVERIFY(dropKind(editor, KeyBoardDialog::Key, QPoint(200, 200)));
    QTRY_VERIFY(newest<KeyButton>(editor)->keyEdit()->hasFocus());
    editor.setFocus();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QCOMPARE(editor.findChildren<KeyButton *>().size(), 1);

    KeyButton *a = editor.indexedKeyButtons().value("A");
    typeKey(a->keyEdit(), Qt::Key_Backspace);
    QCOMPARE(a->keyText(), QString());
    editor.setFocus();
    QVERIFY(editor.indexedKeyButtons().isEmpty());

    QVERIFY(dropKind(editor, KeyBoardDialog::Slide, QPoint(300, 500)));
    QTRY_VERIFY(newest<SlideButton>(editor)->keyEdit()->hasFocus());
    editor.setFocus();
    QVERIFY(editor.indexedSlideButtons().contains("NULL"));
    // Its close button reports "NULL"; the save drops it unsaved.
    editor.findChild<QPushButton *>(QStringLiteral("btn_save"))->click();
    QVERIFY(editor.saved);
    QVERIFY(currentKeyMapCopy().isEmpty());
}

void TestKeyMapEditor::hotKeyAtFocusOut_data()
{
    QTest::addColumn<bool>("slide");
    QTest::addColumn<int>("key");
    QTest::newRow("key button on Esc") << false << int(Qt::Key_Escape);
    QTest::newRow("key button on Home") << false << int(Qt::Key_Home);
    QTest::newRow("key button on page up (menu key PaUp)") << false << int(Qt::Key_PageUp);
    QTest::newRow("swipe on Esc") << true << int(Qt::Key_Escape);
}

void TestKeyMapEditor::hotKeyAtFocusOut()
{
    QFETCH(bool, slide);
    QFETCH(int, key);
    KeyBoardDialog editor(0, kScreen);
    editor.show();
    QVERIFY(QTest::qWaitForWindowActive(&editor));
    QVERIFY(dropKind(editor, slide ? KeyBoardDialog::Slide : KeyBoardDialog::Key, QPoint(200, 300)));
    KeyLineEdit *edit = slide ? newest<SlideButton>(editor)->keyEdit() : newest<KeyButton>(editor)->keyEdit();
    QTRY_VERIFY(edit->hasFocus());
    QTest::keyClick(edit, Qt::Key(key));
    QVERIFY(m_messages.isEmpty());
    editor.setFocus();
    QCOMPARE(m_messages, QStringList{"Keyboard_save_confilc"});
    QVERIFY(editor.indexedKeyButtons().isEmpty());
    QVERIFY(editor.indexedSlideButtons().isEmpty());
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QCOMPARE(editor.findChildren<KeyButton *>().size() + editor.findChildren<SlideButton *>().size(), 0);
}

// A map that could never play is refused at Save: the message, the editor stays open, the file and the
// record keep what they had.
void TestKeyMapEditor::hotKeyRefusesSave_data()
{
    QTest::addColumn<QString>("padKey");
    QTest::newRow("pad up on Home") << "Home";
    QTest::newRow("pad up on Esc") << "Esc";
    QTest::newRow("pad up on page up") << "PgUp";
}

void TestKeyMapEditor::hotKeyRefusesSave()
{
    QFETCH(QString, padKey);
    const KeyMap before{{"J", {KeyMapKey, {5, 6}}}};
    QVERIFY(KeyMapFile::write(filePath(), before, kScreen, 0));
    const QByteArray fileBefore = readFile(filePath());
    replaceCurrentKeyMap(before);
    KeyBoardDialog editor(0, kScreen);
    editor.show();
    QVERIFY(dropKind(editor, KeyBoardDialog::Position, QPoint(300, 400)));
    editor.position()->setUpKey(padKey);
    editor.findChild<QPushButton *>(QStringLiteral("btn_save"))->click();
    QCOMPARE(m_messages, QStringList{"Keyboard_save_confilc"});
    QVERIFY(!editor.saved);
    QVERIFY(editor.isVisible());
    QCOMPARE(readFile(filePath()), fileBefore);
    QCOMPARE(currentKeyMapCopy(), before);

    // A hidden pad's keys do not count: the save goes through.
    editor.position()->hide();
    editor.findChild<QPushButton *>(QStringLiteral("btn_save"))->click();
    QVERIFY(editor.saved);
    QCOMPARE(currentKeyMapCopy(), before);
}

void TestKeyMapEditor::clearThenClose()
{
    const KeyMap before{{"J", {KeyMapKey, {5, 6}}}, {"FIRE", {KeyMapFire, {50, 60}}}};
    QVERIFY(KeyMapFile::write(filePath(), before, kScreen, 0));
    const QByteArray fileBefore = readFile(filePath());
    replaceCurrentKeyMap(before);
    KeyBoardDialog editor(0, kScreen);
    QVERIFY(editor.fire()->isVisibleTo(&editor));
    QTimer::singleShot(0, &editor, [&editor] {
        editor.findChild<QPushButton *>(QStringLiteral("btn_clear"))->click();
        QVERIFY(editor.indexedKeyButtons().isEmpty());
        QVERIFY(editor.fire()->isHidden());
        QTest::mouseClick(editor.findChild<QPushButton *>(QStringLiteral("pushButton")), Qt::LeftButton);
    });
    QCOMPARE(editor.exec(), int(QDialog::Rejected));
    QVERIFY(!editor.saved);
    QCOMPARE(readFile(filePath()), fileBefore);
    QCOMPARE(currentKeyMapCopy(), before);
}

void TestKeyMapEditor::clearThenSave()
{
    const KeyMap before{{"J", {KeyMapKey, {5, 6}}}, {"FIRE", {KeyMapFire, {50, 60}}}};
    QVERIFY(KeyMapFile::write(filePath(), before, kScreen, 0));
    replaceCurrentKeyMap(before);
    KeyBoardDialog editor(180, kScreen);
    QSignalSpy saved(&editor, &KeyBoardDialog::keyBoardSettingSave);
    QTimer::singleShot(0, &editor, [&editor] {
        editor.findChild<QPushButton *>(QStringLiteral("btn_clear"))->click();
        editor.findChild<QPushButton *>(QStringLiteral("btn_save"))->click();
    });
    // exec() reports Rejected after a save too; `saved` tells.
    QCOMPARE(editor.exec(), int(QDialog::Rejected));
    QVERIFY(editor.saved);
    QCOMPARE(saved.count(), 1);
    QVERIFY(currentKeyMapCopy().isEmpty());
    const QByteArray file = readFile(filePath());
    QCOMPARE(file, KeyMapFile::toJson(KeyMap(), kScreen, 180));
    // The map payload is the count 0 alone.
    QVERIFY(file.contains("\"keyMap\": \"AAAAAA==\""));
}

// The file is written for the machine and package of the opening; a package that came to the foreground
// meanwhile keeps its own record.
void TestKeyMapEditor::saveWritesFileForOpeningPackage()
{
    KeyBoardDialog editor(0, kScreen);
    editor.show();
    QVERIFY(dropKind(editor, KeyBoardDialog::Fire, QPoint(10, 200)));
    const KeyMap other{{"X", {KeyMapKey, {1, 1}}}};
    Global::currentPackage = QStringLiteral("com.other.app");
    replaceCurrentKeyMap(other);
    editor.findChild<QPushButton *>(QStringLiteral("btn_save"))->click();
    QVERIFY(editor.saved);
    QCOMPARE(currentKeyMapCopy(), other);
    const KeyMapFile::LoadResult loaded = KeyMapFile::load(filePath(), kScreen.size());
    QCOMPARE(loaded.status, KeyMapFile::LoadStatus::Loaded);
    QCOMPARE(loaded.map, (KeyMap{{"FIRE", {KeyMapFire, {10, 200}}}}));
    QVERIFY(!QFile::exists(KeyMapFile::filePath(kVm, QStringLiteral("com.other.app"))));
}

void TestKeyMapEditor::placementFromRecord()
{
    KeyMap record;
    record.insert("J", {KeyMapKey, {100, 200}});
    record.insert("FIRE", {KeyMapFire, {200, 300}});
    record.insert("AIM", {KeyMapAim, {210, 310}});
    record.insert("POSCENTER", {KeyMapPosCenter, {150, 400}});
    record.insert("I", {KeyMapPosUp, {150, 354}});
    record.insert("K", {KeyMapPosDown, {150, 446}});
    record.insert("SENCENTER", {KeyMapSenCenter, {400, 800}});
    record.insert("Right", {KeyMapSenRight, {0, 0}});
    record.insert("Space", {KeyMapSlideLeft, {300, 600}});
    record.insert("Z", {KeyMapSlideDown, {320, 620}});
    record.insert("BOGUS", {99, {1, 1}});
    replaceCurrentKeyMap(record);
    KeyBoardDialog editor(0, kScreen);
    QCOMPARE(editor.indexedKeyButtons().value("J")->center(), QPoint(100, 200));
    QCOMPARE(editor.indexedKeyButtons().value("J")->keyText(), QStringLiteral("J"));
    QCOMPARE(editor.fire()->center(), QPoint(200, 300));
    QVERIFY(!editor.fire()->isHidden());
    QCOMPARE(editor.aim()->center(), QPoint(210, 310));
    QCOMPARE(editor.position()->center(), QPoint(150, 400));
    QCOMPARE(editor.position()->keys(), (QStringList{"I", "K", "", ""}));
    QCOMPARE(editor.sensor()->keys(), (QStringList{"", "", "", "Right"}));
    QCOMPARE(editor.indexedSlideButtons().value("Space")->direction(), QStringLiteral("left"));
    QCOMPARE(editor.indexedSlideButtons().value("Z")->direction(), QStringLiteral("down"));
    QCOMPARE(editor.indexedSlideButtons().value("Z")->center(), QPoint(320, 620));
    // Saved again unchanged, the record comes back as it was, less the unknown kind.
    record.remove("BOGUS");
    QCOMPARE(editor.buildKeyMap(), record);

    // A record without pads: the direction pad carries W S A D, the sensor pad nothing.
    replaceCurrentKeyMap(KeyMap{{"J", {KeyMapKey, {1, 2}}}});
    KeyBoardDialog plain(0, kScreen);
    QCOMPARE(plain.position()->keys(), (QStringList{"W", "S", "A", "D"}));
    QCOMPARE(plain.sensor()->keys(), (QStringList{"", "", "", ""}));
    QVERIFY(plain.position()->isHidden());
}

void TestKeyMapEditor::escapeAndHelp()
{
    KeyBoardDialog editor(0, kScreen);
    editor.show();
    QVERIFY(QTest::qWaitForWindowActive(&editor));
    QTest::keyClick(&editor, Qt::Key_Escape);
    QVERIFY(editor.isVisible());
    QTimer::singleShot(200, editor.coursebook(), [&editor] {
        QVERIFY(editor.coursebook()->isVisible());
        QCOMPARE(editor.coursebook()->tabs()->currentIndex(), 0);
        editor.coursebook()->reject();
    });
    editor.findChild<QPushButton *>(QStringLiteral("help"))->click();
    QVERIFY(!editor.coursebook()->isVisible());
    QVERIFY(editor.isVisible());
}

// A palette button shows its tip under itself while hovered; a press closes the tip and goes on to the
// editor: the button never looks pressed and never clicks.
void TestKeyMapEditor::paletteButtonPress()
{
    KeyBoardDialog editor(0, kScreen);
    editor.show();
    QVERIFY(QTest::qWaitForWindowActive(&editor));
    OperatorButton *key = editor.paletteButton(KeyBoardDialog::Key);
    QSignalSpy clicked(key, &QPushButton::clicked);
    QSignalSpy activated(&editor, &KeyBoardDialog::dialogActived);
    QEvent enter(QEvent::Enter);
    QApplication::sendEvent(key, &enter);
    TipWidget *tip = key->tipWidget();
    QTRY_VERIFY(tip->isVisible());
    const QPoint below = key->mapToGlobal(QPoint((key->width() - tip->width()) / 2, key->height() + 10));
    QCOMPARE(tip->pos(), below);
    QTest::mousePress(key, Qt::LeftButton);
    QVERIFY(!tip->isVisible());
    QVERIFY(!key->isDown());
    QCOMPARE(activated.count(), 1);
    QTest::mouseRelease(key, Qt::LeftButton);
    QCOMPARE(clicked.count(), 0);
}

// The user's way: real pointer drags from the palette and of a placed button, real key presses, a real
// click on Save.
void TestKeyMapEditor::realDragsAndKeys()
{
#ifdef ORV_HAVE_XTEST
    if (QGuiApplication::platformName() != QLatin1String("xcb"))
        QSKIP("needs the X server the tests run under");
    XTestInput x;
    if (!x.isValid())
        QSKIP("the X server has no XTest extension");
    KeyBoardDialog editor(0, kScreen);
    editor.show();
    QVERIFY(QTest::qWaitForWindowActive(&editor));

    const auto global = [&editor](QWidget *w) { return w->mapToGlobal(w->rect().center()); };
    // A drag from the palette runs the drag's own event loop until the drop, so the hand moves from a
    // thread of its own (with its own X connection) while this thread keeps handling events.
    const auto drag = [](const QPoint &from, const QPoint &to) {
        std::atomic<bool> done{false};
        std::thread hand([&] {
            XTestInput h;
            const auto pause = [] { std::this_thread::sleep_for(std::chrono::milliseconds(40)); };
            h.moveTo(from);
            pause();
            h.button(1, true);
            pause();
            // A hand moves a pixel or two before it goes anywhere: the move that starts a palette drag
            // is over the palette button.
            h.moveTo(from + QPoint(2, 1));
            pause();
            for (int i = 1; i <= 8; ++i) {
                h.moveTo(from + (to - from) * i / 8);
                pause();
            }
            h.button(1, false);
            pause();
            done = true;
        });
        QTRY_VERIFY_WITH_TIMEOUT(done, 10000);
        hand.join();
        QTest::qWait(100);
    };
    // The aim kind dragged from the palette and dropped at editor point (250, 500).
    QPoint target = kScreen.topLeft() + QPoint(250, 500);
    drag(global(editor.paletteButton(KeyBoardDialog::Aim)), target);
    QTRY_VERIFY(editor.aim()->isVisible());
    QCOMPARE(editor.aim()->center(), QPoint(250, 500));

    // A key kind, then its key typed.
    drag(global(editor.paletteButton(KeyBoardDialog::Key)), kScreen.topLeft() + QPoint(100, 300));
    KeyButton *key = nullptr;
    QTRY_VERIFY((key = newest<KeyButton>(editor)) != nullptr);
    QCOMPARE(key->center(), QPoint(100, 300));
    QTRY_VERIFY(key->keyEdit()->hasFocus());
    x.tap("q");
    QTRY_COMPARE(key->keyText(), QStringLiteral("Q"));

    // The placed aim button dragged by its image 40 pixels right and 30 down.
    auto *image = editor.aim()->imageButton();
    drag(global(image), global(image) + QPoint(40, 30));
    QTRY_COMPARE(editor.aim()->center(), QPoint(290, 530));

    // A palette drag that ends outside the editor leaves the fire button hidden.
    drag(global(editor.paletteButton(KeyBoardDialog::Fire)), QPoint(kScreen.right() + 200, 500));
    QVERIFY(editor.fire()->isHidden());

    x.moveTo(global(editor.findChild<QPushButton *>(QStringLiteral("btn_save"))));
    QTest::qWait(50);
    x.click(1);
    QTRY_VERIFY(editor.saved);
    const KeyMapFile::LoadResult loaded = KeyMapFile::load(filePath(), kScreen.size());
    QCOMPARE(loaded.map, (KeyMap{{"AIM", {KeyMapAim, {290, 530}}}, {"Q", {KeyMapKey, {100, 300}}}}));
#else
    QSKIP("built without the XTest library");
#endif
}

QTEST_MAIN(TestKeyMapEditor)
#include "tst_keymapeditor.moc"
