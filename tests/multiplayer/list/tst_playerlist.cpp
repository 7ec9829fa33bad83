// The instance list (view, model and delegate) over the manager's VM tool and the simulated
// VirtualBox tool: what each row shows for each state, and renaming through the title editor.
#include "dialogdriver.h"
#include "managervboxtool.h"
#include "msgdialog.h"
#include "orvlineedit.h"
#include "orvplayeritemdelegate.h"
#include "orvplayermodel.h"
#include "orvplayertableview.h"
#include "playerpainter.h"
#include "playerstate.h"
#include "windowfixture.h"

#include <QLabel>
#include <QPushButton>
#include <QSemaphore>
#include <QSettings>
#include <QSignalSpy>
#include <QtTest>

#include <unistd.h>

using namespace OrvMulti;
using namespace DialogDriver;

namespace {

const QRgb kGrey = qRgb(140, 140, 140);
const QRgb kBlue = qRgb(0, 144, 255);

bool imageHasColour(const QImage &image, const QRect &area, QRgb colour)
{
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x)
            if ((image.pixel(x, y) | 0xff000000u) == colour)
                return true;
    return false;
}

} // namespace

class TestPlayerList : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void init();
    void cleanup();
    void rowsStatesAndButtons_data();
    void rowsStatesAndButtons();
    void hoveredButtonShowsItsHoverPicture();
    void checkBoxCellTogglesTheRow();
    void renameThroughTheEditor_data();
    void renameThroughTheEditor();
    void noEditorInABusyState();
    void viewGoneBeforeTheLoadEnds();
    void marginFollowsTheRowCount_data();
    void marginFollowsTheRowCount();
    void fileDialogsStartInAUsableFolder_data();
    void fileDialogsStartInAUsableFolder();

private:
    QRect cell(int row, int column) const;
    QImage shot() const;
    void openEditor(int row);

    std::unique_ptr<WindowFixture> m_fixture;
    std::unique_ptr<OrvPlayerTableView> m_view;
};

void TestPlayerList::initTestCase()
{
    QCoreApplication::setOrganizationName(QStringLiteral("Halvora"));
    QCoreApplication::setApplicationName(QStringLiteral("OrvMultiPlayer"));
    QVERIFY(applyManagerStyle());
    m_fixture = std::make_unique<WindowFixture>();
    for (const char *vm : {"Orvanta_0", "Orvanta_1", "Orvanta_2"})
        QVERIFY(m_fixture->tool({"createvm", "--name", QLatin1String(vm), "--register"}));
    QCOMPARE(VBoxTool::instance().init(), int(VBoxTool::Success));
    PlayerPainter::setInstance(new PlayerPainter);
}

void TestPlayerList::cleanupTestCase()
{
    delete PlayerPainter::instance();
    m_fixture.reset();
}

void TestPlayerList::init()
{
    m_view = std::make_unique<OrvPlayerTableView>();
    m_view->resize(740, 560);
    m_view->move(100, 100);
    m_view->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_view.get()));
    QTRY_COMPARE_WITH_TIMEOUT(m_view->playerModel()->rowCount(), 3, 10000);
    QVERIFY(m_view->isLoaded());
}

void TestPlayerList::cleanup()
{
    cancelDialogWatchers();
    m_view.reset();
}

QRect TestPlayerList::cell(int row, int column) const
{
    return OrvPlayerItemDelegate::cellRect(m_view->visualRect(m_view->playerModel()->index(row, column)));
}

QImage TestPlayerList::shot() const
{
    return m_view->viewport()->grab().toImage();
}

void TestPlayerList::rowsStatesAndButtons_data()
{
    QTest::addColumn<int>("row");
    QTest::addColumn<int>("kind");
    QTest::addColumn<QRgb>("wordColour");
    // Pictures of the backup/restore, delete and shortcut icons and of the button; no button means
    // the progress animation.
    QTest::addColumn<QStringList>("pictures");

    const int stop = int(PlayerStateKind::Stop);
    QTest::newRow("stop") << 1 << stop << kGrey
                          << QStringList{"backupOrRestoreBtn", "delBtn", "shortcutBtn", "btnstart"};
    QTest::newRow("first instance stop")
        << 0 << stop << kGrey
        << QStringList{"backupOrRestoreBtn", "delBtnDisabled", "shortcutBtn", "btnstart"};
    QTest::newRow("running") << 1 << int(PlayerStateKind::Running) << kBlue
                             << QStringList{"backupOrRestoreBtnDisabled", "delBtnDisabled", "shortcutBtn",
                                            "closePlayerBtn"};
    QTest::newRow("being copied") << 1 << int(PlayerStateKind::BeingCopied) << kGrey
                                  << QStringList{"backupOrRestoreBtnDisabled", "delBtnDisabled",
                                                 "shortcutBtn", "btnstartDisabled"};
    QTest::newRow("starting") << 1 << int(PlayerStateKind::Starting) << kBlue << QStringList();
    QTest::newRow("waiting to start") << 1 << int(PlayerStateKind::WaittingStart) << kGrey << QStringList();
    QTest::newRow("closing") << 1 << int(PlayerStateKind::ClosingDown) << kBlue << QStringList();
    QTest::newRow("waiting for creation")
        << 1 << int(PlayerStateKind::WaittingforCreating) << kBlue << QStringList();
    QTest::newRow("creating") << 1 << int(PlayerStateKind::Creating) << kBlue << QStringList();
    QTest::newRow("deleting") << 1 << int(PlayerStateKind::Deleting) << kBlue << QStringList();
    QTest::newRow("backing up") << 1 << int(PlayerStateKind::Backuping) << kGrey << QStringList();
    QTest::newRow("restoring") << 1 << int(PlayerStateKind::Restoring) << kGrey << QStringList();
}

void TestPlayerList::rowsStatesAndButtons()
{
    QFETCH(int, row);
    QFETCH(int, kind);
    QFETCH(QRgb, wordColour);
    QFETCH(QStringList, pictures);

    OrvPlayerModel *model = m_view->playerModel();
    QCOMPARE(model->playerRecords().at(0)->vm, QStringLiteral("Orvanta_0"));
    QCOMPARE(model->playerRecords().at(1)->title, QStringLiteral("Orvanta_1"));
    PlayerContext *context = model->contextAt(row);
    context->setState(makePlayerState(PlayerStateKind(kind), PlayerPainter::instance()));
    model->DataChangedSlot(row, 0, row, 3);

    const QImage image = shot();
    keepArtifact(
        image, QStringLiteral("list-%1").arg(QString::fromLatin1(QTest::currentDataTag()).replace(' ', '-')));
    QVERIFY(imageHasColour(image, cell(row, 2), wordColour));
    // The title is drawn in white in every state.
    QVERIFY(imageHasColour(image, cell(row, 1), qRgb(255, 255, 255)));
    const QRect action = cell(row, 3);
    if (!pictures.isEmpty()) {
        QVERIFY(showsPicture(image, PlayerPainter::backupRect(action).center(), pictures.at(0)));
        QVERIFY(showsPicture(image, PlayerPainter::deleteRect(action).center(), pictures.at(1)));
        QVERIFY(showsPicture(image, PlayerPainter::shortcutRect(action).center(), pictures.at(2)));
        const QRect button = PlayerPainter::buttonRect(action);
        // Left of the centred text.
        QVERIFY(showsPicture(image, QPoint(button.left() + 10, button.center().y()), pictures.at(3)));
    } else {
        const QPoint frame(action.right() - 210 + 3, action.top() + 25 + 3);
        QStringList frames;
        for (int i = 1; i <= 4; ++i)
            frames << QStringLiteral("progressBar%1").arg(i);
        bool found = false;
        for (const QString &name : frames)
            found = found || showsPicture(image, frame, name);
        QVERIFY2(found, "the progress animation is drawn");
        // No button is drawn while the row is busy.
        const QRect button = PlayerPainter::buttonRect(action);
        const QPoint left(button.left() + 10, button.center().y());
        QVERIFY(!showsPicture(image, left, QStringLiteral("btnstart")));
        QVERIFY(!showsPicture(image, left, QStringLiteral("closePlayerBtn")));
        // The animation moves on: within a second another frame is drawn.
        const QRgb first = image.pixel(frame);
        QTRY_VERIFY_WITH_TIMEOUT(shot().pixel(frame) != first, 1000);
    }
    // Other rows keep their own look.
    const int other = row == 0 ? 2 : 0;
    QVERIFY(imageHasColour(image, cell(other, 2), kGrey));
}

void TestPlayerList::hoveredButtonShowsItsHoverPicture()
{
    const QRect button = PlayerPainter::buttonRect(cell(2, 3));
    const QPoint probe(button.left() + 10, button.center().y());
    // The pointer of the shared X server may rest anywhere, even on the button: start from another cell.
    QTest::mouseMove(m_view->viewport(), cell(2, 2).center());
    QTRY_VERIFY(showsPicture(shot(), probe, QStringLiteral("btnstart")));
    QTest::mouseMove(m_view->viewport(), button.center());
    QTRY_VERIFY(showsPicture(shot(), probe, QStringLiteral("btnstartHover")));
    QTest::mouseMove(m_view->viewport(), cell(2, 2).center());
}

void TestPlayerList::checkBoxCellTogglesTheRow()
{
    OrvPlayerModel *model = m_view->playerModel();
    const QRect box = cell(1, 0);
    QTest::mouseClick(m_view->viewport(), Qt::LeftButton, {}, box.center());
    QVERIFY(model->playerRecords().at(1)->selected);
    QVERIFY(model->contextAt(1)->playerRecord().selected);
    QVERIFY(!model->playerRecords().at(0)->selected);
    QTest::mouseClick(m_view->viewport(), Qt::LeftButton, {}, box.center());
    QVERIFY(!model->playerRecords().at(1)->selected);
    m_view->selectAll(true);
    for (PlayerRecord *record : model->playerRecords())
        QVERIFY(record->selected && record->context->playerRecord().selected);
}

void TestPlayerList::openEditor(int row)
{
    const QString title = m_view->playerModel()->playerRecords().at(row)->title;
    const QRect rect = cell(row, 1);
    const QFontMetrics metrics(PlayerPainter::cellFont());
    const QString elided = metrics.elidedText(title, Qt::ElideRight, rect.right() - rect.left() - 49);
    const QPoint pencil = PlayerPainter::editRect(rect, metrics.horizontalAdvance(elided)).center();
    QTest::mouseMove(m_view->viewport(), pencil);
    QTest::mouseClick(m_view->viewport(), Qt::LeftButton, {}, pencil);
}

void TestPlayerList::renameThroughTheEditor_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("message");
    QTest::addColumn<QString>("title");

    QTest::newRow("new title") << "Game"
                               << ""
                               << "Game";
    QTest::newRow("another instance's title") << "Orvanta"
                                              << "player name is already existing"
                                              << "Orvanta_2";
    QTest::newRow("empty") << ""
                           << "player name can not be empty"
                           << "Orvanta_2";
    QTest::newRow("too long is cut to 10") << "abcdefghijkl"
                                           << ""
                                           << "abcdefghij";
}

void TestPlayerList::renameThroughTheEditor()
{
    QFETCH(QString, typed);
    QFETCH(QString, message);
    QFETCH(QString, title);

    // Row 2 starts from its default title every time.
    VBoxTool::instance().renameTitle(QStringLiteral("Orvanta_2"),
                                     m_view->playerModel()->playerRecords().at(2)->title);
    m_view->playerModel()->setData(m_view->playerModel()->index(2, 1), QStringLiteral("Orvanta_2"),
                                   Qt::DisplayRole);
    const QString fileBefore = m_fixture->readFile(m_fixture->xmlPath());
    QVERIFY(fileBefore.contains(QLatin1String("title=\"Orvanta_2\"")));

    openEditor(2);
    OrvLineEdit *editor = nullptr;
    QTRY_VERIFY((editor = m_view->viewport()->findChild<OrvLineEdit *>()) && editor->isVisible());
    QCOMPARE(editor->text(), QStringLiteral("Orvanta_2"));
    QCOMPARE(editor->maxLength(), 10);
    editor->selectAll();
    if (typed.isEmpty())
        QTest::keyClick(editor, Qt::Key_Delete);
    else
        QTest::keyClicks(editor, typed);
    QString shown;
    if (!message.isEmpty())
        onNextDialog<MsgDialog>([&shown](MsgDialog *dialog) {
            shown = dialog->findChild<QLabel *>(QStringLiteral("label_content"))->text();
            QTest::mouseClick(dialog->findChild<QPushButton *>(QStringLiteral("pushButton_ok")),
                              Qt::LeftButton);
        });
    QTest::keyClick(editor, Qt::Key_Return);
    QTRY_VERIFY(!m_view->viewport()->findChild<OrvLineEdit *>() ||
                !m_view->viewport()->findChild<OrvLineEdit *>()->isVisible());
    QCOMPARE(shown, message);
    QCOMPARE(m_view->playerModel()->playerRecords().at(2)->title, title);
    QCOMPARE(m_view->playerModel()->contextAt(2)->playerRecord().title, title);
    QCOMPARE(VBoxTool::instance().findVmByTitle(title), QStringLiteral("Orvanta_2"));
    const QString file = m_fixture->readFile(m_fixture->xmlPath());
    if (title == QLatin1String("Orvanta_2")) {
        QCOMPARE(file, fileBefore);
    } else {
        QVERIFY(file.contains(QStringLiteral("title=\"%1\"").arg(title)));
        QVERIFY(!file.contains(QLatin1String("title=\"Orvanta_2\"")));
        QVERIFY(VBoxTool::instance().findVmByTitle(QStringLiteral("Orvanta_2")).isEmpty());
    }
}

void TestPlayerList::noEditorInABusyState()
{
    OrvPlayerModel *model = m_view->playerModel();
    model->contextAt(1)->setState(makePlayerState(PlayerStateKind::Starting, PlayerPainter::instance()));
    openEditor(1);
    QVERIFY(!m_view->viewport()->findChild<OrvLineEdit *>());
}

void TestPlayerList::viewGoneBeforeTheLoadEnds()
{
    // The list load still runs on the pool when the view goes: its rows are dropped, nothing else happens.
    QSemaphore go;
    QSemaphore done;
    auto view = std::make_unique<OrvPlayerTableView>(nullptr, [&go, &done] {
        go.acquire();
        VmRecordMap map;
        VmRecord record;
        record.vm = QStringLiteral("Orvanta_0");
        map[record.vm] = record;
        done.release();
        return map;
    });
    view.reset();
    go.release();
    QVERIFY(done.tryAcquire(1, 5000));
    // The rows' hand-over is queued to this thread; it must find no view.
    QCoreApplication::processEvents();
    QVERIFY(QThreadPool::globalInstance()->waitForDone(5000));
    QCoreApplication::processEvents();
}

void TestPlayerList::marginFollowsTheRowCount_data()
{
    QTest::addColumn<int>("rows");
    QTest::addColumn<QString>("margin");
    QTest::addColumn<QString>("afterDelete");

    const QString wide = QStringLiteral("QTableView{margin-right: 20}");
    const QString narrow = QStringLiteral("QTableView{margin-right: 5}");
    QTest::newRow("4 rows") << 4 << wide << wide;
    QTest::newRow("6 rows") << 6 << wide << wide;
    QTest::newRow("7 rows: widens before the seventh goes") << 7 << narrow << wide;
    QTest::newRow("8 rows") << 8 << narrow << narrow;
}

void TestPlayerList::marginFollowsTheRowCount()
{
    QFETCH(int, rows);
    QFETCH(QString, margin);
    QFETCH(QString, afterDelete);

    // Room for the scroll bar follows the number of rows; the list comes from a fixed loader here.
    OrvPlayerTableView view(nullptr, [rows] {
        VmRecordMap map;
        for (int i = 0; i < rows; ++i) {
            VmRecord record;
            record.vm = QStringLiteral("Orvanta_%1").arg(i + 10);
            record.title = QStringLiteral("T%1").arg(i);
            map[record.vm] = record;
        }
        return map;
    });
    QTRY_VERIFY(view.isLoaded());
    QCOMPARE(view.playerModel()->rowCount(), rows);
    QCOMPARE(view.styleSheet(), margin);
    // A deleted row is announced before it leaves the model.
    QSignalSpy removed(&view, &OrvPlayerTableView::removePlayerSignal);
    emit view.playerModel()->removeSignal(rows - 1);
    QCOMPARE(removed.count(), 1);
    QCOMPARE(view.styleSheet(), afterDelete);
    view.playerModel()->removeRecord(rows - 1);
    QCOMPARE(view.playerModel()->rowCount(), rows - 1);
}

void TestPlayerList::fileDialogsStartInAUsableFolder_data()
{
    QTest::addColumn<bool>("documentsFolder");
    QTest::addColumn<QString>("stored");
    QTest::addColumn<QString>("expected");
    // "home", "documents" or "stored" stand for those folders.
    QTest::newRow("nothing stored, no documents folder") << false << QString() << "home";
    QTest::newRow("nothing stored") << true << QString() << "documents";
    QTest::newRow("a Windows drive stored") << true << QStringLiteral("c:\\") << "documents";
    QTest::newRow("a vanished folder stored") << false << QStringLiteral("/nonexistent/backups") << "home";
    QTest::newRow("an existing folder stored") << true << QStringLiteral("stored") << "stored";
    // The backup dialog proposes a folder where the backup can be written; the restore dialog only reads.
    QTest::newRow("the root folder stored") << true << QStringLiteral("/") << "documents/";
    QTest::newRow("a folder where no file can be made")
        << true << QStringLiteral("/proc") << "documents/proc";
    QTest::newRow("a read-only folder stored") << false << QStringLiteral("read-only") << "home/stored";
}

void TestPlayerList::fileDialogsStartInAUsableFolder()
{
    QFETCH(bool, documentsFolder);
    QFETCH(QString, stored);
    QFETCH(QString, expected);
    m_view.reset();
    const QString documents = QDir::homePath() + QStringLiteral("/Documents");
    QDir(documents).removeRecursively();
    if (documentsFolder)
        QVERIFY(QDir().mkpath(documents));
    const QString storedFolder = m_fixture->tree().root() + QStringLiteral("/backups");
    QVERIFY(QDir().mkpath(storedFolder));
    QVERIFY(QFile::setPermissions(storedFolder, QFileDevice::Permissions(0x7700)));
    if (stored == QLatin1String("read-only")) {
        if (::geteuid() == 0)
            QSKIP("root may write into any folder, so a read-only folder cannot be staged here");
        QVERIFY(QFile::setPermissions(storedFolder, QFileDevice::ReadOwner | QFileDevice::ExeOwner));
        stored = QStringLiteral("stored");
    }
    if (stored == QLatin1String("stored"))
        stored = storedFolder;
    // "backup/restore" when the two dialogs start in different folders.
    const QString restoreExpected =
        expected.contains(QLatin1Char('/')) ? expected.section(QLatin1Char('/'), 1) : expected;
    expected = expected.section(QLatin1Char('/'), 0, 0);
    {
        QSettings settings(QSettings::IniFormat, QSettings::UserScope, QStringLiteral("Halvora"),
                           QStringLiteral("OrvMultiPlayerSettings"));
        // Never the real user's settings: the tree's configuration folder holds them.
        QVERIFY(settings.fileName().startsWith(m_fixture->tree().root()));
        settings.clear();
        if (!stored.isEmpty()) {
            settings.setValue(QStringLiteral("lastBackuupFolder"), stored);
            settings.setValue(QStringLiteral("lastRestoreFolder"), stored);
        }
    }
    const QString folder = expected == QLatin1String("home")        ? QDir::homePath()
                           : expected == QLatin1String("documents") ? documents
                                                                    : storedFolder;
    QVERIFY(folder.startsWith(m_fixture->tree().root()));
    const QString restoreFolder = restoreExpected == QLatin1String("home")        ? QDir::homePath()
                                  : restoreExpected == QLatin1String("documents") ? documents
                                  : restoreExpected == QLatin1String("stored")
                                      ? storedFolder
                                      : QLatin1Char('/') + restoreExpected;
    OrvPlayerTableView view(nullptr, [] { return VmRecordMap(); });
    QCOMPARE(view.lastBackupFolder(), folder + QLatin1Char('/'));
    QCOMPARE(view.lastRestoreFolder(), restoreFolder);
    QVERIFY(QFile::setPermissions(storedFolder, QFileDevice::Permissions(0x7700)));
    QDir(documents).removeRecursively();
}

QTEST_MAIN(TestPlayerList)
#include "tst_playerlist.moc"
