// What the user sees of the environment check dialog and the virtualisation notices on the real X
// server, with the emulator's English texts loaded as the program loads them: no text is a bare
// translation key, every text fits its control, and every picture is there. Screenshots are kept in
// the build folder's test artefacts.

#include "checkactions.h"
#include "environmentcheckdialog.h"
#include "global.h"
#include "installtree.h"
#include "picturesonscreen.h"
#include "programrun.h"
#include "testartefacts.h"
#include "translations.h"
#include "vtbeoccupiedtipdialog.h"
#include "vtinfodialog.h"
#include "windowtexts.h"
#include "x11windows.h"

#include <QCheckBox>
#include <QLabel>
#include <QPushButton>
#include <QStyle>
#include <QStyleOptionButton>
#include <QTemporaryDir>
#include <QThreadPool>
#include <QtTest>

class TestCheckDialogLook : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanup();
    void startupDialog();
    void passedRows();
    void vtInfoNotice();
    void occupiedNotice_data();
    void occupiedNotice();
    void programShowsTheDialog();

private:
    QString english(const char *context, const char *key) const;
    void checkTexts(QWidget *window, bool titleTranslated = true);
    static QImage picture(const QString &name);
    // Whether the named picture is drawn at its size over `point` / the control's centre.
    static bool showsAt(const QImage &shot, const QPoint &point, const QString &name);
    static bool showsOn(const QImage &shot, QWidget *window, const QWidget *control, const QString &name);
    static QRect indicatorRect(QCheckBox *box);

    QTemporaryDir m_root;
    // The English source: (context, key) -> text, and the keys whose text differs from the key.
    QHash<QPair<QString, QString>, QString> m_texts;
    QSet<QString> m_bareKeys;
};

void TestCheckDialogLook::initTestCase()
{
    if (qEnvironmentVariableIsEmpty("DISPLAY"))
        QSKIP("needs the X server the suite runs under (xvfb-run)");
    QCoreApplication::setOrganizationName("Halvora");
    QCoreApplication::setApplicationName("Orvanta");
    // A declared host: fixture probe roots, so the dialog's worker never reads this machine.
    qputenv("APPDATA", (m_root.path() + "/appdata").toLocal8Bit());
    qputenv("XDG_CONFIG_HOME", (m_root.path() + "/config").toLocal8Bit());
    qputenv("ORV_PROC_ROOT", (m_root.path() + "/proc").toLocal8Bit());
    qputenv("ORV_DEV_ROOT", (m_root.path() + "/dev").toLocal8Bit());
    qputenv("ORV_SYS_ROOT", (m_root.path() + "/sys").toLocal8Bit());
    QDir().mkpath(m_root.path() + "/proc");
    Global::vmName = "Orvanta_0";
    Global::installInfo.productVersion = "1.4.2";
    // No rerun while a test looks at the dialog.
    EnvironmentCheckDialog::setRerunIntervalMs(600000);

    // As the program does without an installed translation file.
    QVERIFY(!Translations::install(QStringLiteral(":/translations/orvanta_en.qm"),
                                   m_root.path() + "/player/language/Orvanta_zh_CN.qm"));

    m_texts = WindowTexts::readSource(QStringLiteral(ORV_TRANSLATIONS_DIR "/orvanta_en.ts"));
    m_bareKeys = WindowTexts::bareKeys(m_texts);
    QVERIFY(m_texts.size() > 50);
}

void TestCheckDialogLook::cleanup()
{
    QVERIFY(QThreadPool::globalInstance()->waitForDone(30000));
}

QString TestCheckDialogLook::english(const char *context, const char *key) const
{
    return m_texts.value({QLatin1String(context), QLatin1String(key)});
}

// Every visible text of the window is a finished English text, never a key, and fits its control.
void TestCheckDialogLook::checkTexts(QWidget *window, bool titleTranslated)
{
    int shown = 0;
    const QStringList problems = WindowTexts::problems(window, m_bareKeys, titleTranslated, &shown);
    QVERIFY2(problems.isEmpty(), qPrintable(problems.join(QStringLiteral("; "))));
    QVERIFY(shown > 0);
}

QImage TestCheckDialogLook::picture(const QString &name)
{
    return QImage(QStringLiteral(":/images/") + name + QStringLiteral(".png"));
}

bool TestCheckDialogLook::showsAt(const QImage &shot, const QPoint &point, const QString &name)
{
    return PicturesOnScreen::coversPoint(shot, point, picture(name));
}

bool TestCheckDialogLook::showsOn(const QImage &shot, QWidget *window, const QWidget *control,
                                  const QString &name)
{
    return showsAt(shot, control->mapTo(window, control->rect().center()), name);
}

QRect TestCheckDialogLook::indicatorRect(QCheckBox *box)
{
    QStyleOptionButton option;
    option.initFrom(box);
    return box->style()->subElementRect(QStyle::SE_CheckBoxIndicator, &option, box);
}

void TestCheckDialogLook::startupDialog()
{
    // At start-up on a host without hardware virtualisation and with too little memory, and a display
    // at 16 bits: the texts come from the checks themselves, translated as they are made.
    CheckDmBitsAction dmBits;
    CheckVTOpenStautsAction vt;
    CheckMemoryAction memory;
    const QString required = dmBits.describe() + QLatin1Char(';');
    const QString optional = vt.describe() + QLatin1Char(';') + memory.describe() + QLatin1Char(';');
    EnvironmentCheckDialog dialog(required, optional, false, false, nullptr);
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));

    checkTexts(&dialog);
    QCOMPARE(dialog.findChild<QLabel *>("label_title")->text(),
             english("EnvironmentCheckDialog", "environment check title"));
    QCOMPARE(dialog.findChild<QPushButton *>("btn_start")->text(),
             english("EnvironmentCheckDialog", "start"));
    QList<EnvironmentCheckItemView *> rows = dialog.findChildren<EnvironmentCheckItemView *>();
    QCOMPARE(rows.size(), 3);
    EnvironmentCheckItemView *vtRow = nullptr;
    for (EnvironmentCheckItemView *row : rows)
        if (row->item().name == QLatin1String("VTOpenStautsCheck"))
            vtRow = row;
    QVERIFY(vtRow);
    QCOMPARE(vtRow->findChild<QLabel *>("label_description")->text(),
             english("CheckVTOpenStautsAction", "vt is close"));
    QCOMPARE(vtRow->findChild<QPushButton *>("btn_tip")->text(),
             english("CheckVTOpenStautsAction", "go to open"));
    QVERIFY(!english("CheckVTOpenStautsAction", "vt is close").isEmpty());

    // Every picture sits where its control is.
    QImage shot = dialog.grab().toImage();
    QVERIFY(shot.save(TestArtefacts::path(QStringLiteral("environment-check-dialog.png"))));
    QVERIFY(
        showsOn(shot, &dialog, dialog.findChild<QPushButton *>("btn_close"), QStringLiteral("title_close")));
    auto *requiredHeader = dialog.findChild<RequiredCheckHeaderView *>();
    auto *optionalHeader = dialog.findChild<OptionalCheckHeaderView *>();
    QVERIFY(requiredHeader && optionalHeader);
    QVERIFY(showsOn(shot, &dialog, requiredHeader->findChild<QPushButton *>("pushButton_icon"),
                    QStringLiteral("ec_required_items")));
    QVERIFY(showsOn(shot, &dialog, optionalHeader->findChild<QPushButton *>("pushButton_icon"),
                    QStringLiteral("ec_optional_items")));
    for (EnvironmentCheckItemView *row : rows) {
        QVERIFY(showsOn(shot, &dialog, row->findChild<QPushButton *>("pushButton_check_status"),
                        QStringLiteral("ec_not_passed_status")));
        QVERIFY(showsOn(shot, &dialog, row->findChild<QPushButton *>("btn_goto"),
                        QStringLiteral("ec_go_handle")));
    }
    auto *remind = optionalHeader->findChild<QCheckBox *>("cb_remind");
    const QPoint box = remind->mapTo(&dialog, indicatorRect(remind).center());
    QVERIFY(showsAt(shot, box, QStringLiteral("ec_checkbox_unchecked")));
    QTest::mouseClick(remind, Qt::LeftButton, {}, indicatorRect(remind).center());
    QVERIFY(remind->isChecked());
    QTRY_VERIFY(showsAt(dialog.grab().toImage(), box, QStringLiteral("ec_checkbox_checked.")));

    // The close button's hover picture. The X pointer is shared with the windows of other tests on this
    // screen, which may cover this one, so the move is handed to this window's own event queue.
    auto *close = dialog.findChild<QPushButton *>("btn_close");
    QTest::mouseMove(dialog.windowHandle(), close->mapTo(&dialog, close->rect().center()));
    QTRY_VERIFY(close->underMouse());
    QTRY_VERIFY(showsOn(dialog.grab().toImage(), &dialog, close, QStringLiteral("title_close_hover")));

    QTest::mouseClick(close, Qt::LeftButton);
    QVERIFY(!dialog.isVisible());
}

void TestCheckDialogLook::passedRows()
{
    // From the title bar, everything passed: grey rows with the passed picture and no arrow.
    const QString optional =
        QStringLiteral("MemoryCheck|true|%1|%2;VTOpenStautsCheck|true|%3|%4;")
            .arg(english("CheckMemoryAction", "memory is enough"), english("CheckMemoryAction", "passed"),
                 english("CheckVTOpenStautsAction", "vt is open"),
                 english("CheckVTOpenStautsAction", "passed"));
    EnvironmentCheckDialog dialog(QString(), optional, true, true, nullptr);
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    checkTexts(&dialog);
    const QImage shot = dialog.grab().toImage();
    QVERIFY(shot.save(TestArtefacts::path(QStringLiteral("environment-check-dialog-passed.png"))));
    const QList<EnvironmentCheckItemView *> rows = dialog.findChildren<EnvironmentCheckItemView *>();
    QCOMPARE(rows.size(), 2);
    for (EnvironmentCheckItemView *row : rows) {
        QCOMPARE(row->findChild<QPushButton *>("btn_tip")->text(), english("CheckMemoryAction", "passed"));
        QVERIFY(showsOn(shot, &dialog, row->findChild<QPushButton *>("pushButton_check_status"),
                        QStringLiteral("ec_passed_status")));
    }
    dialog.reject();
}

void TestCheckDialogLook::vtInfoNotice()
{
    VTInfoDialog dialog(nullptr);
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    checkTexts(&dialog);
    QCOMPARE(dialog.findChild<QLabel *>("title")->text(), english("VTInfoDialog", "vt_not_open"));
    const QImage shot = dialog.grab().toImage();
    QVERIFY(shot.save(TestArtefacts::path(QStringLiteral("vt-info-notice.png"))));
    // The background is the whole window's, drawn at its size under the texts.
    QCOMPARE(shot.pixel(20, 150) | 0xff000000u,
             picture(QStringLiteral("vt_info_bg")).pixel(20, 150) | 0xff000000u);
    // Shown as the button's icon, at the button's icon size.
    auto *close = dialog.findChild<QPushButton *>("close");
    QVERIFY(PicturesOnScreen::coversPoint(shot, close->mapTo(&dialog, close->rect().center()),
                                          close->icon().pixmap(close->iconSize()).toImage()));
    QCOMPARE(close->icon().pixmap(QSize(18, 18)).toImage().convertToFormat(QImage::Format_ARGB32),
             picture(QStringLiteral("vt_close")).convertToFormat(QImage::Format_ARGB32));
    QVERIFY(showsOn(shot, &dialog, dialog.findChild<QLabel *>("icon"), QStringLiteral("vt_exclamation")));
    auto *showAgain = dialog.findChild<QCheckBox *>("show_again");
    QVERIFY(showsAt(shot, showAgain->mapTo(&dialog, indicatorRect(showAgain).center()),
                    QStringLiteral("white_check_off")));
    dialog.reject();
}

void TestCheckDialogLook::occupiedNotice_data()
{
    QTest::addColumn<int>("mode");
    QTest::addColumn<QString>("key");
    QTest::newRow("hyper-v") << 0 << "Hyper-V occupation";
    QTest::newRow("other software") << 1 << "software occupation";
}

void TestCheckDialogLook::occupiedNotice()
{
    QFETCH(int, mode);
    QFETCH(QString, key);
    VTBeOccupiedTipDialog dialog(mode, nullptr);
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    checkTexts(&dialog, false); // its title is the form's plain "Dialog", not a translated text
    QCOMPARE(dialog.findChild<QLabel *>("dlg_msg")->text(),
             english("VTBeOccupiedTipDialog", qPrintable(key)));
    const QImage shot = dialog.grab().toImage();
    QVERIFY(shot.save(TestArtefacts::path(QStringLiteral("vt-occupied-notice-%1.png").arg(mode))));
    QVERIFY(
        showsOn(shot, &dialog, dialog.findChild<QPushButton *>("dlg_icon"), QStringLiteral("dialog_logo")));
    dialog.reject();
}

void TestCheckDialogLook::programShowsTheDialog()
{
    // The emulator itself on a declared host without hardware virtualisation: its start-up stops at the
    // check dialog, in English, with its pictures and without a warning about a missing picture or
    // missing texts.
    InstallTree tree;
    QVERIFY(tree.isValid());
    tree.declareHost(InstallTree::HostWithoutVirtualisation);
    QVERIFY(tree.addProgram(QStringLiteral("Orvanta")));

    ProgramRun emulator(tree, QStringLiteral("Orvanta"), {QStringLiteral("-vm=Orvanta_0")});
    QVERIFY(emulator.start());
    const QString title = english("EnvironmentCheckDialog", "EnvironmentCheckDialog");
    unsigned long window = 0;
    QTRY_VERIFY_WITH_TIMEOUT(
        (window = X11Windows::findWindowOf(QStringLiteral("Orvanta"), title, emulator.pid())) != 0, 60000);
    X11Windows::grab(window).save(
        TestArtefacts::path(QStringLiteral("environment-check-dialog-program.png")));
    const QString log = tree.logText();
    QVERIFY2(log.contains(QLatin1String("VTOpenStautsCheck")), qPrintable(log.right(2000)));
    QVERIFY2(!log.contains(QLatin1String("Could not create pixmap")), qPrintable(log));
    QVERIFY2(!log.contains(QLatin1String("English texts")), qPrintable(log));
    emulator.terminate();
}

QTEST_MAIN(TestCheckDialogLook)
#include "tst_checkdialoglook.moc"
