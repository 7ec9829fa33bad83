#include "environmentcheckdialog.h"

#include "checkactions.h"
#include "global.h"
#include "glutcontext.h"
#include "settingmodel.h"

#include <QCheckBox>
#include <QDesktopServices>
#include <QLabel>
#include <QMutex>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QThreadPool>
#include <QUrl>
#include <QVBoxLayout>
#include <QWaitCondition>

#include <atomic>

namespace {

const char *const kForumHost = "http://forum.halvora.example";
std::atomic_int rerunIntervalMs{2000};

const QString kFont = QStringLiteral("font-family: \"Microsoft YaHei\";");

// Forwards the worker's results to the dialog's thread; it belongs to the session, not to the dialog,
// so the worker can still emit after the dialog is gone (the connection then no longer exists).
class CheckRelay : public QObject
{
    Q_OBJECT
signals:
    void updateView(QVector<environmentCheckItem> required, QVector<environmentCheckItem> optional);
    void closeView();
};

} // namespace

// What one dialog shares with its worker: the check lock, the stop flag and the rows the worker
// compares against. The worker holds a reference, so none of it dies under the worker.
struct EnvironmentCheckSession
{
    QMutex mutex; // the check lock: reruns and stops are ordered by it
    QWaitCondition wake;
    std::atomic_bool stop{false}; // written under the lock, read anywhere
    bool optionalOnly = false;
    bool showPassed = false;
    QVector<environmentCheckItem> requiredItems; // rows listed now, as the worker last sent them
    QVector<environmentCheckItem> optionalItems;
    std::atomic_bool requiredPassed{false};
    std::atomic_bool optionalPassed{false};
    CheckRelay *relay = nullptr;

    ~EnvironmentCheckSession()
    {
        if (relay)
            relay->deleteLater();
    }
};

namespace {

// Drops passed rows of checks that were not listed before: a check that starts to pass stays as a
// passed row, one that always passed does not appear.
void keepListed(QVector<environmentCheckItem> &rows, const QVector<environmentCheckItem> &listed)
{
    QVector<environmentCheckItem> kept;
    for (const environmentCheckItem &row : rows) {
        bool wasListed = false;
        for (const environmentCheckItem &old : listed)
            wasListed = wasListed || old.name == row.name;
        if (!row.passed || wasListed)
            kept.append(row);
    }
    rows = kept;
}

// Runs the lists once (the session's lock held); true when everything passed.
bool rerunChecks(EnvironmentCheckSession &session, QVector<environmentCheckItem> &required,
                 QVector<environmentCheckItem> &optional)
{
    if (!session.optionalOnly) {
        RequiredActionFactory factory;
        std::unique_ptr<ActionComposite> list(factory.create());
        const bool passed = list->check();
        session.requiredPassed = passed;
        const QString text = list->describe();
        CheckResults::recordEnd(text);
        if (!passed || !session.requiredItems.isEmpty()) {
            required = CheckText::parse(text, true, &session.stop);
            if (!session.showPassed)
                keepListed(required, session.requiredItems);
        }
    }

    OptionalActionFactory factory;
    std::unique_ptr<ActionComposite> list(factory.create());
    const bool passed = list->check();
    session.optionalPassed = passed;
    Global::systemInfo.optionalChecksPassed = passed;
    const QString text = list->describe();
    if (!session.optionalOnly)
        CheckResults::recordEnd(text);
    if (!passed || !session.optionalItems.isEmpty()) {
        optional = CheckText::parse(text, true, &session.stop);
        if (!session.showPassed)
            keepListed(optional, session.optionalItems);
    }
    return session.requiredPassed && session.optionalPassed;
}

void runWorker(std::shared_ptr<EnvironmentCheckSession> session)
{
    // A current OpenGL context for the graphics checks on this pool thread.
    GlutContext context;
    QMutexLocker lock(&session->mutex);
    if (!session->stop)
        session->wake.wait(&session->mutex, rerunIntervalMs.load());
    while (!session->stop) {
        QVector<environmentCheckItem> required;
        QVector<environmentCheckItem> optional;
        if (rerunChecks(*session, required, optional)) {
            emit session->relay->closeView();
            break;
        }
        if (!session->stop) {
            session->requiredItems = required;
            session->optionalItems = optional;
            emit session->relay->updateView(required, optional);
        }
        // Sleeps with the lock free; a stop wakes it at once.
        session->wake.wait(&session->mutex, rerunIntervalMs.load());
    }
}

QString buttonStyle(const QString &image, const QString &hover = QString())
{
    QString style =
        QStringLiteral("QPushButton{border:none;background:transparent;background-image:url(%1);}")
            .arg(image);
    if (!hover.isEmpty())
        style += QStringLiteral("QPushButton:hover{background-color:#f7462a;background-image:url(%1);}")
                     .arg(hover);
    return style;
}

} // namespace

// ---- rows and headers ----

EnvironmentCheckItemView::EnvironmentCheckItemView(environmentCheckItem item, QWidget *parent)
    : QWidget(parent), m_item(std::move(item))
{
    setObjectName(QStringLiteral("EnvironmentCheckItemView"));
    setFixedSize(410, 54);
    auto *background = new QWidget(this);
    background->setObjectName(QStringLiteral("item_bkg"));
    background->setGeometry(19, 10, 391, 44);
    background->setStyleSheet(QStringLiteral("QWidget#item_bkg{border-radius:3px;background:#3d424a;}"));

    auto *status = new QPushButton(this);
    status->setObjectName(QStringLiteral("pushButton_check_status"));
    status->setGeometry(31, 24, 16, 16);
    status->setFocusPolicy(Qt::NoFocus);

    auto *description = new QLabel(m_item.message, this);
    description->setObjectName(QStringLiteral("label_description"));
    description->setGeometry(55, 20, 215, 24);
    description->setStyleSheet(QStringLiteral("color:#ffffff;font-size:14px;background:#3d424a;") + kFont);

    auto *tip = new QPushButton(m_item.actionHint, this);
    tip->setObjectName(QStringLiteral("btn_tip"));
    tip->setGeometry(270, 20, 104, 24);
    tip->setFlat(true);
    tip->setCursor(Qt::PointingHandCursor);

    auto *go = new QPushButton(this);
    go->setObjectName(QStringLiteral("btn_goto"));
    go->setGeometry(378, 25, 8, 14);
    go->setCursor(Qt::PointingHandCursor);
    go->setStyleSheet(buttonStyle(QStringLiteral(":/images/ec_go_handle.png")));

    if (m_item.passed) {
        status->setStyleSheet(buttonStyle(QStringLiteral(":/images/ec_passed_status.png")));
        go->hide();
        tip->move(tip->x() + 14, tip->y());
        tip->setStyleSheet(
            QStringLiteral("border: none ;background-color: transparent; font: 14px \"Microsoft "
                           "YaHei\"; color:#7a7d8d;text-align:right;"));
    } else {
        status->setStyleSheet(buttonStyle(QStringLiteral(":/images/ec_not_passed_status.png")));
        tip->setStyleSheet(
            QStringLiteral("border: none ;background-color: transparent; font: 14px \"Microsoft "
                           "YaHei\"; color:#0190ff;text-align:right;"));
    }
    QMetaObject::connectSlotsByName(this);
}

void EnvironmentCheckItemView::on_btn_goto_clicked()
{
    emit GotoHandle(m_item.name);
}

void EnvironmentCheckItemView::on_btn_tip_clicked()
{
    emit GotoHandle(m_item.name);
}

RequiredCheckHeaderView::RequiredCheckHeaderView(QWidget *parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("RequiredCheckHeaderView"));
    setFixedSize(408, 28);
    setAttribute(Qt::WA_StyledBackground);
    setStyleSheet(QStringLiteral("background:#343841;"));
    auto *icon = new QPushButton(this);
    icon->setObjectName(QStringLiteral("pushButton_icon"));
    icon->setGeometry(20, 8, 14, 14);
    icon->setStyleSheet(buttonStyle(QStringLiteral(":/images/ec_required_items.png")));
    auto *title = new QLabel(tr("required check"), this);
    title->setObjectName(QStringLiteral("label_title"));
    title->setGeometry(40, 4, 120, 22);
    title->setStyleSheet(QStringLiteral("color:#7a7d8d;font-size:14px;") + kFont);
    auto *tip = new QLabel(tr("required check tip"), this);
    tip->setObjectName(QStringLiteral("label"));
    tip->setGeometry(160, 4, 240, 22);
    tip->setStyleSheet(QStringLiteral("color:#7a7d8d;font-size:12px;") + kFont);
}

OptionalCheckHeaderView::OptionalCheckHeaderView(QWidget *parent, bool showRemind) : QWidget(parent)
{
    setObjectName(QStringLiteral("OptionalCheckHeaderView"));
    setFixedSize(408, 34);
    setAttribute(Qt::WA_StyledBackground);
    setStyleSheet(QStringLiteral("background:#343841;"));
    auto *icon = new QPushButton(this);
    icon->setObjectName(QStringLiteral("pushButton_icon"));
    icon->setGeometry(20, 14, 14, 14);
    icon->setStyleSheet(buttonStyle(QStringLiteral(":/images/ec_optional_items.png")));
    auto *title = new QLabel(tr("optional check "), this);
    title->setObjectName(QStringLiteral("label_title"));
    title->setGeometry(40, 10, 110, 22);
    title->setStyleSheet(QStringLiteral("color:#7a7d8d;font-size:14px;") + kFont);
    auto *tip = new QLabel(tr("optional check  tip"), this);
    tip->setObjectName(QStringLiteral("label"));
    tip->setGeometry(150, 10, 150, 22);
    tip->setStyleSheet(QStringLiteral("color:#7a7d8d;font-size:12px;") + kFont);
    auto *remind = new QCheckBox(tr("no longer prompt"), this);
    remind->setObjectName(QStringLiteral("cb_remind"));
    remind->setGeometry(300, 10, 108, 22);
    remind->setStyleSheet(
        QStringLiteral("QCheckBox{color:#7a7d8d;font-size:12px;}"
                       "QCheckBox::indicator{width:12px;height:12px;}"
                       "QCheckBox::indicator:unchecked{image:url(:/images/ec_checkbox_unchecked.png);}"
                       "QCheckBox::indicator:checked{image:url(:/images/ec_checkbox_checked..png);}"));
    if (showRemind)
        remind->setChecked(!SettingModel::instance()->isShowOptionalCheckRes());
    else
        remind->hide();
    QMetaObject::connectSlotsByName(this);
}

void OptionalCheckHeaderView::on_cb_remind_clicked(bool checked)
{
    SettingModel::instance()->setShowOptionalCheckRes(!checked);
}

// ---- the dialog ----

void EnvironmentCheckDialog::setRerunIntervalMs(int ms)
{
    rerunIntervalMs = ms;
}

QString EnvironmentCheckDialog::helpPage(const QString &checkName)
{
    static const QHash<QString, QString> paths{
        {QStringLiteral("PatchCheck"), QStringLiteral("/thread-88894601-1-1.html")},
        {QStringLiteral("DmBitsCheck"), QStringLiteral("/thread-88895676-1-1.html")},
        {QStringLiteral("OpenGLCheck"), QStringLiteral("/thread-88895677-1-1.html")},
        {QStringLiteral("DNFConflictCheck"), QStringLiteral("/thread-88895678-1-1.html")},
        {QStringLiteral("MemoryCheck"), QStringLiteral("/thread-88895679-1-1.html")},
        {QStringLiteral("VTOccupiedStautsCheck"), QStringLiteral("/thread-88895680-1-1.html")},
        {QStringLiteral("VTOpenStautsCheck"), QStringLiteral("/thread-88891791-1-1.html")},
        {QStringLiteral("GraphicsCheck"), QStringLiteral("/thread-88893842-1-1.html")},
    };
    const QString path = paths.value(checkName);
    return path.isEmpty() ? QString() : QLatin1String(kForumHost) + path;
}

EnvironmentCheckDialog::EnvironmentCheckDialog(QString requiredResults, QString optionalResults,
                                               bool optionalOnly, bool showPassed, QWidget *parent)
    : FuncBaseDialog(parent, 385, 419, 15, 39), m_session(std::make_shared<EnvironmentCheckSession>()),
      optionalOnly(optionalOnly), showPassed(showPassed)
{
    CheckText::registerTypes();
    m_session->optionalOnly = optionalOnly;
    m_session->showPassed = showPassed;
    m_session->relay = new CheckRelay;

    buildForm();
    const QVector<environmentCheckItem> required = CheckText::parse(requiredResults, showPassed);
    const QVector<environmentCheckItem> optional = CheckText::parse(optionalResults, showPassed);
    buildList(required, optional);
    m_session->requiredItems = required;
    m_session->optionalItems = optional;
    m_session->requiredPassed = required.isEmpty() && !optionalOnly;
    m_startButton->setEnabled(m_session->requiredPassed);
    m_startButton->setVisible(!optionalOnly);

    connect(this, &EnvironmentCheckDialog::UpdateView, this, &EnvironmentCheckDialog::OnUpdateView,
            Qt::QueuedConnection);
    connect(this, &EnvironmentCheckDialog::CloseView, this, &EnvironmentCheckDialog::OnCloseView);
    auto *relay = static_cast<CheckRelay *>(m_session->relay);
    connect(relay, &CheckRelay::updateView, this, &EnvironmentCheckDialog::UpdateView, Qt::QueuedConnection);
    connect(relay, &CheckRelay::closeView, this, &EnvironmentCheckDialog::CloseView, Qt::QueuedConnection);

    std::shared_ptr<EnvironmentCheckSession> session = m_session;
    QThreadPool::globalInstance()->start([session] { runWorker(session); });
}

EnvironmentCheckDialog::~EnvironmentCheckDialog()
{
    stopWorker();
}

void EnvironmentCheckDialog::buildForm()
{
    setObjectName(QStringLiteral("EnvironmentCheckDialog"));
    setWindowTitle(tr("EnvironmentCheckDialog"));
    setAttribute(Qt::WA_TranslucentBackground);
    resize(430, 370);
    setMinimumSize(428, 370);
    setMaximumSize(430, 637);

    auto *outer = new QVBoxLayout(this);
    outer->setObjectName(QStringLiteral("verticalLayout_2"));
    outer->setContentsMargins(0, 0, 0, 0);
    auto *background = new QWidget(this);
    background->setObjectName(QStringLiteral("widget_bkg"));
    background->setMinimumSize(430, 370);
    background->setMaximumSize(430, 637);
    background->setAttribute(Qt::WA_StyledBackground);
    background->setStyleSheet(
        QStringLiteral("QWidget#widget_bkg {\n\tbackground: #343841;\n\tborder: 1px solid #111518;\n}"));
    outer->addWidget(background);

    auto *inner = new QVBoxLayout(background);
    inner->setObjectName(QStringLiteral("verticalLayout"));
    inner->setContentsMargins(0, 0, 0, 0);
    inner->setSpacing(0);

    auto *title = new QWidget(background);
    title->setObjectName(QStringLiteral("widget_title"));
    title->setFixedSize(430, 60);
    auto *titleLabel = new QLabel(tr("environment check title"), title);
    titleLabel->setObjectName(QStringLiteral("label_title"));
    titleLabel->setGeometry(0, 0, 430, 59);
    titleLabel->setAlignment(Qt::AlignCenter);
    titleLabel->setStyleSheet(QStringLiteral("color:#ffffff;font-size:20px;background:transparent;") + kFont);
    auto *close = new QPushButton(title);
    close->setObjectName(QStringLiteral("btn_close"));
    close->setGeometry(385, 15, 34, 24);
    close->setCursor(Qt::PointingHandCursor);
    close->setStyleSheet(buttonStyle(QStringLiteral(":/images/title_close.png"),
                                     QStringLiteral(":/images/title_close_hover.png")));
    auto *line = new QWidget(title);
    line->setObjectName(QStringLiteral("title_bottom_line"));
    line->setGeometry(0, 59, 430, 1);
    line->setAttribute(Qt::WA_StyledBackground);
    line->setStyleSheet(QStringLiteral("background-color: #3e424b;"));
    inner->addWidget(title);

    m_scrollArea = new QScrollArea(background);
    m_scrollArea->setObjectName(QStringLiteral("scrollArea"));
    m_scrollArea->setFrameShape(QFrame::NoFrame);
    m_scrollArea->setFixedWidth(428);
    m_scrollArea->setWidgetResizable(true);
    m_scrollArea->setStyleSheet(QStringLiteral("background: #343841;\n"));
    m_scrollArea->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_scrollArea->verticalScrollBar()->setStyleSheet(QStringLiteral(
        "QScrollBar:vertical{width:12px;background:#30333a;margin:0;border:none;}"
        "QScrollBar::handle:vertical{background:rgb(77,77,77);border-radius:4px;min-height:20px;}"
        "QScrollBar::add-line:vertical,QScrollBar::sub-line:vertical{height:0;}"
        "QScrollBar::add-page:vertical,QScrollBar::sub-page:vertical{background:none;}"));
    inner->addWidget(m_scrollArea);

    m_startButton = new QPushButton(tr("start"), background);
    m_startButton->setObjectName(QStringLiteral("btn_start"));
    m_startButton->setFixedSize(430, 84);
    m_startButton->setStyleSheet(
        QStringLiteral("QPushButton{background:#0190ff;color:#ffffff;font-size:16px;margin:20px;border:none;}"
                       "QPushButton:hover{background:#44aeff;}QPushButton:pressed{background:#007ae7;}"
                       "QPushButton:disabled{background:#c8c8c8;}"));
    inner->addWidget(m_startButton);

    QMetaObject::connectSlotsByName(this);
}

void EnvironmentCheckDialog::buildList(const QVector<environmentCheckItem> &required,
                                       const QVector<environmentCheckItem> &optional)
{
    requiredItems = required;
    optionalItems = optional;
    listContainer = new QWidget(m_scrollArea);
    listContainer->setObjectName(QStringLiteral("scrollAreaWidgetContents"));
    listLayout = new QVBoxLayout(listContainer);
    listLayout->setSpacing(0);
    listLayout->setContentsMargins(0, 0, 0, 0);
    listHeight = 0;

    auto addRows = [this](const QVector<environmentCheckItem> &rows) {
        for (const environmentCheckItem &row : rows) {
            auto *view = new EnvironmentCheckItemView(row, listContainer);
            connect(view, &EnvironmentCheckItemView::GotoHandle, this, &EnvironmentCheckDialog::OnGotoHandle);
            listLayout->addWidget(view);
            listHeight += view->height();
        }
    };
    if (!required.isEmpty()) {
        requiredHeader = new RequiredCheckHeaderView(listContainer);
        listLayout->addWidget(requiredHeader);
        listHeight += requiredHeader->height();
        addRows(required);
    }
    if (!optional.isEmpty()) {
        optionalHeader = new OptionalCheckHeaderView(listContainer, !optionalOnly);
        listLayout->addWidget(optionalHeader);
        listHeight += optionalHeader->height();
        addRows(optional);
    }

    listContainer->setMinimumHeight(listHeight);
    listContainer->setMaximumHeight(listHeight);
    m_scrollArea->setWidget(listContainer);
    m_scrollArea->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);

    const int chrome = optionalOnly ? 62 : 144;
    const int low = 370 - chrome;
    const int high = 637 - chrome;
    int areaHeight = low;
    if (listHeight > low)
        areaHeight = qMin(listHeight, high) + 2;
    m_scrollArea->setMinimumHeight(areaHeight);
    m_scrollArea->setMaximumHeight(areaHeight);
    setMinimumHeight(areaHeight + chrome);
    setMaximumHeight(areaHeight + chrome);
    resize(width(), areaHeight + chrome);
}

bool EnvironmentCheckDialog::requiredPassed() const
{
    return m_session->requiredPassed;
}

bool EnvironmentCheckDialog::optionalPassed() const
{
    return m_session->optionalPassed;
}

void EnvironmentCheckDialog::OnUpdateView(QVector<environmentCheckItem> requiredItemList,
                                          QVector<environmentCheckItem> optionalItemList)
{
    if (m_session->stop)
        return;
    delete listContainer;
    listContainer = nullptr;
    requiredHeader = nullptr;
    optionalHeader = nullptr;
    listHeight = 0;
    buildList(requiredItemList, optionalItemList);
    m_startButton->setEnabled(m_session->requiredPassed);
    m_scrollArea->update();
    update();
}

void EnvironmentCheckDialog::OnCloseView()
{
    accept();
}

void EnvironmentCheckDialog::on_btn_close_clicked()
{
    reject();
}

void EnvironmentCheckDialog::on_btn_start_clicked()
{
    accept();
}

void EnvironmentCheckDialog::stopWorker()
{
    // Waits for a rerun in progress; the worker sees the stop at its next look and never again
    // touches this dialog.
    QMutexLocker lock(&m_session->mutex);
    m_session->stop = true;
    m_session->wake.wakeAll();
}

void EnvironmentCheckDialog::done(int result)
{
    // Every way of closing (buttons, Escape, the window's close, the worker's close) ends here.
    stopWorker();
    FuncBaseDialog::done(result);
}

void EnvironmentCheckDialog::OnGotoHandle(QString name)
{
    const QString page = helpPage(name);
    if (page.isEmpty())
        return;
    QDesktopServices::openUrl(QUrl(page));
    if (!optionalOnly)
        CheckResults::recordClick(name);
}

#include "environmentcheckdialog.moc"
