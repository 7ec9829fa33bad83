#include "settingdialog.h"

#include "commondialog.h"
#include "datareportengine.h"
#include "dialogtype.h"
#include "digitsedit.h"
#include "global.h"
#include "processrunner.h"
#include "reportevents.h"
#include "settingmodel.h"
#include "shortlineedit.h"
#include "timeoutscale.h"
#include "updatedialog.h"

#include <QApplication>
#include <QButtonGroup>
#include <QCheckBox>
#include <QDateTime>
#include <QDebug>
#include <QDesktopServices>
#include <QHBoxLayout>
#include <QIntValidator>
#include <QKeyEvent>
#include <QLabel>
#include <QPainter>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QSettings>
#include <QStyleOptionTab>
#include <QTabBar>
#include <QTabWidget>
#include <QUrl>
#include <QVBoxLayout>

namespace {

// The support pages of the about tab.
const char *const kQqUrl = "https://qm.qq.com/cgi-bin/qm/qr?_wv=1027&k=HalvoraOrvantaPlayers";
const char *const kWeiboUrl = "https://weibo.com/halvoraorvanta";

constexpr int kUpdateCheckWaitMs = 120000;
constexpr const char *kUpdaterName = "OrvantaUpdater";

std::function<void(QWidget *)> &optimizeRunner()
{
    static std::function<void(QWidget *)> runner;
    return runner;
}

std::function<int(const QString &, int, QWidget *)> &messageRunner()
{
    static std::function<int(const QString &, int, QWidget *)> runner;
    return runner;
}

std::function<int(bool, QWidget *)> &updatePromptRunner()
{
    static std::function<int(bool, QWidget *)> runner;
    return runner;
}

const char *const kWindowStyle =
    "#SettingDialog{background-color:#343841;border:1px solid #111518;}"
    "QRadioButton,QLabel{font:16px \"黑体\";color:#7a7d8d;}"
    "QRadioButton::indicator:unchecked{image:url(:/images/radio_uncheck.png);}"
    "QRadioButton::indicator:unchecked:hover{image:url(:/images/radio_uncheck_hover.png);}"
    "QRadioButton::indicator:checked{image:url(:/images/radio_check.png);}"
    "QRadioButton::indicator:checked:hover{image:url(:/images/radio_check_hover.png);}"
    "QCheckBox{font:16px \"黑体\";color:#7a7d8d;}"
    "QCheckBox::indicator:unchecked{image:url(:/images/blue_check_off.png);}"
    "QCheckBox::indicator:checked{image:url(:/images/blue_check_on.png);}"
    "QLineEdit{background-color:#2c2f36;color:white;border:1px solid black;}"
    "QToolTip{color:white;background-color:black;border:none;}"
    "#tab_setting::pane{border:none;border-left:1px solid #3d4248;}"
    "#tab_setting>QTabBar::tab{width:200px;height:64px;background:transparent;color:#7a7d8d;font:16px;}"
    "#tab_setting>QTabBar::tab:selected{background:#0190ff;color:white;}"
    "#tab_setting>QTabBar::tab:hover{color:white;}"
    "#tab_render>QTabBar::tab,#tab_dpi>QTabBar::tab{width:180px;height:40px;background:#2d3037;color:#7a7d8d;"
    "border:1px solid black;}"
    "#tab_dpi>QTabBar::tab{width:100px;height:42px;}"
    "#tab_render>QTabBar::tab:selected,#tab_dpi>QTabBar::tab:selected{background:#7a7d8e;color:white;}"
    "#tab_render>QTabBar::tab:first,#tab_dpi>QTabBar::tab:first{border-top-left-radius:4px;"
    "border-bottom-left-radius:4px;}"
    "#tab_render>QTabBar::tab:last,#tab_dpi>QTabBar::tab:last{border-top-right-radius:4px;"
    "border-bottom-right-radius:4px;}"
    "#tab_render::pane,#tab_dpi::pane{border:none;}"
    "#tab_dpi::tab-bar{left:120px;}"
    "#tab_hot_key QLineEdit{background-color:#2c2f36;color:#8c8c8c;font:16px;}"
    "#tab_hot_key QLineEdit:focus{color:white;}";
const char *const kOutlineButton =
    "QPushButton{color:white;border:1px solid #7a7d8e;border-radius:18px;font:16px;background:transparent;}"
    "QPushButton:hover{border-color:white;}";
const char *const kSaveButton =
    "QPushButton{color:white;background-color:#0190ff;border:none;border-radius:18px;font:16px;}"
    "QPushButton:hover{background-color:#44aeff;}";
const char *const kLinkButton =
    "QPushButton{color:#0190ff;border:none;background:transparent;text-decoration:"
    "underline;font:%1px;}";
const char *const kEditableDigits =
    "QLineEdit { background-color: #2c2f36; color: white; font: 16px; border: 1px solid black; }";
const char *const kReadOnlyDigits =
    "QLineEdit { background-color: #2c2f36; color: #8c8c8c; font: 16px; border: 1px solid black; }";

template <typename T> T *named(T *widget, const char *name)
{
    widget->setObjectName(QLatin1String(name));
    return widget;
}

QWidget *lineWidget(const char *name, QWidget *parent)
{
    auto *line = named(new QWidget(parent), name);
    line->setFixedHeight(1);
    line->setAttribute(Qt::WA_StyledBackground);
    line->setStyleSheet(QStringLiteral("background-color:#3d4248;"));
    return line;
}

int digits(const QLineEdit *edit)
{
    return edit->text().toInt();
}

} // namespace

SettingTabStyle *SettingTabStyle::instance()
{
    static QPointer<SettingTabStyle> style;
    if (!style) {
        style = new SettingTabStyle;
        // Lives as long as the application (a style cannot outlive the application's own).
        style->setParent(qApp);
    }
    return style;
}

QSize SettingTabStyle::sizeFromContents(ContentsType type, const QStyleOption *option, const QSize &size,
                                        const QWidget *widget) const
{
    QSize base = QProxyStyle::sizeFromContents(type, option, size, widget);
    if (type == CT_TabBarTab) {
        base.transpose();
        base = QSize(201, 64);
    }
    return base;
}

void SettingTabStyle::drawControl(ControlElement element, const QStyleOption *option, QPainter *painter,
                                  const QWidget *widget) const
{
    if (element == CE_TabBarTabLabel) {
        if (const auto *tab = qstyleoption_cast<const QStyleOptionTab *>(option)) {
            if (tab->version >= 3) {
                QStyleOptionTab copy(*tab);
                copy.shape = QTabBar::RoundedNorth;
                painter->save();
                painter->setPen(QPen(QColor(61, 66, 72), 1, Qt::SolidLine, Qt::SquareCap, Qt::BevelJoin));
                painter->drawLine(copy.rect.bottomLeft(), copy.rect.bottomRight());
                painter->restore();
                QProxyStyle::drawControl(element, &copy, painter, widget);
                return;
            }
        }
    }
    QProxyStyle::drawControl(element, option, painter, widget);
}

struct SettingDialog::Form
{
    QPushButton *btn_close;
    QLabel *title;
    QWidget *line;
    QTabWidget *tab_setting;
    // Performance.
    QRadioButton *radio_low, *radio_mid, *radio_high, *radio_cus;
    DigitsEdit *edit_cpu, *edit_memory;
    QTabWidget *tab_render;
    QLabel *label_render_tips;
    QCheckBox *check_fps;
    QPushButton *btn_optimize;
    // Resolution.
    QTabWidget *tab_dpi;
    QRadioButton *radio_dpi_low, *radio_dpi_mid, *radio_dpi_high;
    DigitsEdit *edit_width, *edit_height, *edit_dpi;
    // Hot keys.
    QCheckBox *check_boss_key, *check_slient, *check_return_key, *check_home_key, *check_menu_key,
        *check_keyboard_key, *check_open_hot_key;
    ShortLineEdit *edit_boss_key, *edit_return_key, *edit_home_key, *edit_menu_key, *edit_keyboard_key;
    // About and the left column.
    QLabel *label_version;
    QPushButton *btn_chenk_update, *btn_qq, *btn_weibo;
    // Bottom.
    QPushButton *btn_reset, *btn_save;
};

SettingDialog::SettingDialog(QWidget *parent) : FuncBaseDialog(parent, 30, 43, 20, 44), ui(new Form)
{
    buildForm();
    ui->tab_setting->setTabPosition(QTabWidget::West);
    ui->tab_setting->tabBar()->setStyle(SettingTabStyle::instance());
    connect(ui->edit_width, &DigitsEdit::text_changed, this,
            [this](int value) { ui->edit_height->setRange(value + 1, 2560); });
    connect(ui->edit_height, &DigitsEdit::text_changed, this, &SettingDialog::updateWidthRange);
    connect(ui->btn_close, &QPushButton::clicked, this, &QDialog::reject);
    connect(ui->btn_save, &QPushButton::clicked, this, &SettingDialog::on_btn_save_clicked);
    connect(ui->btn_reset, &QPushButton::clicked, this, &SettingDialog::on_btn_reset_clicked);
    connect(ui->tab_render, &QTabWidget::currentChanged, this, &SettingDialog::on_tab_render_currentChanged);
    connect(ui->tab_setting, &QTabWidget::currentChanged, this,
            &SettingDialog::on_tab_setting_currentChanged);
    connect(ui->btn_optimize, &QPushButton::clicked, this, &SettingDialog::on_btn_optimize_clicked);
    connect(ui->btn_chenk_update, &QPushButton::clicked, this, &SettingDialog::on_btn_chenk_update_clicked);
    connect(ui->btn_qq, &QPushButton::clicked, this, &SettingDialog::on_btn_qq_clicked);
    connect(ui->btn_weibo, &QPushButton::clicked, this, &SettingDialog::on_btn_weibo_clicked);
}

SettingDialog::~SettingDialog()
{
    delete ui;
}

void SettingDialog::buildForm()
{
    setObjectName(QStringLiteral("SettingDialog"));
    setWindowTitle(tr("Dialog"));
    setFixedSize(740, 680);
    setStyleSheet(QString::fromUtf8(kWindowStyle));

    ui->btn_close = named(new QPushButton(this), "btn_close");
    ui->btn_close->setGeometry(30, 20, 13, 22);
    ui->btn_close->setStyleSheet(QStringLiteral(
        "QPushButton{background:transparent;border:none;image:url(:/images/fun_dialog_return.png);}"
        "QPushButton:hover{image:url(:/images/fun_dialog_return_hover.png);}"));
    ui->title = named(new QLabel(tr("Setting"), this), "title");
    ui->title->setGeometry(60, 20, 620, 20);
    ui->title->setAlignment(Qt::AlignCenter);
    ui->title->setStyleSheet(QStringLiteral("color:white;font:20px;"));
    ui->line = lineWidget("line", this);
    ui->line->setGeometry(1, 60, 738, 1);

    ui->tab_setting = named(new QTabWidget(this), "tab_setting");
    ui->tab_setting->setGeometry(1, 60, 740, 536);

    // Performance tab.
    auto *tabPerformance = named(new QWidget, "tab_performance");
    auto *perLayout = new QVBoxLayout(tabPerformance);
    perLayout->setContentsMargins(40, 0, 30, 10);
    auto *radioGroupPer = named(new QWidget, "radio_group_per");
    radioGroupPer->setFixedHeight(60);
    auto *radioLayout = new QHBoxLayout(radioGroupPer);
    radioLayout->setContentsMargins(0, 0, 0, 0);
    radioLayout->setSpacing(50);
    ui->radio_low = named(new QRadioButton(tr("low")), "radio_low");
    ui->radio_mid = named(new QRadioButton(tr("mid")), "radio_mid");
    ui->radio_high = named(new QRadioButton(tr("high")), "radio_high");
    ui->radio_cus = named(new QRadioButton(tr("customize")), "radio_cus");
    for (QRadioButton *radio : {ui->radio_low, ui->radio_mid, ui->radio_high, ui->radio_cus})
        radioLayout->addWidget(radio);
    radioLayout->addStretch();
    perLayout->addWidget(radioGroupPer);
    perLayout->addWidget(lineWidget("line_2", tabPerformance));
    perLayout->addSpacing(20);
    auto *widgetPer = named(new QWidget, "widget_per");
    widgetPer->setFixedHeight(28);
    auto *perRow = new QHBoxLayout(widgetPer);
    perRow->setContentsMargins(0, 0, 0, 0);
    ui->edit_cpu = named(new DigitsEdit, "edit_cpu");
    ui->edit_memory = named(new DigitsEdit, "edit_memory");
    for (DigitsEdit *edit : {ui->edit_cpu, ui->edit_memory}) {
        edit->setFixedSize(72, 28);
        edit->setFrame(false);
    }
    perRow->addWidget(named(new QLabel(tr("cpu num")), "label_cpu"));
    perRow->addWidget(ui->edit_cpu);
    perRow->addSpacing(30);
    perRow->addWidget(named(new QLabel(tr("memory")), "label_memory"));
    perRow->addWidget(ui->edit_memory);
    perRow->addWidget(named(new QLabel(tr("M")), "label_m"));
    perRow->addStretch();
    perLayout->addWidget(widgetPer);
    perLayout->addSpacing(20);
    auto *widgetRender = named(new QWidget, "widget_render");
    auto *renderLayout = new QVBoxLayout(widgetRender);
    renderLayout->setContentsMargins(0, 0, 0, 0);
    auto *labelRender = named(new QLabel(tr("render mode")), "label_render");
    labelRender->setStyleSheet(QStringLiteral("color:white;"));
    renderLayout->addWidget(labelRender);
    ui->tab_render = named(new QTabWidget, "tab_render");
    ui->tab_render->setFixedHeight(42);
    ui->tab_render->addTab(named(new QWidget, "tab_dx"), tr("fast mode (DirectX)"));
    ui->tab_render->addTab(named(new QWidget, "tab_gl"), tr("compatible (OpenGL)"));
    renderLayout->addWidget(ui->tab_render);
    ui->label_render_tips = named(new QLabel(tr("render_tips")), "label_render_tips");
    ui->label_render_tips->setStyleSheet(QStringLiteral("font:14px;color:#7a7d8d;"));
    ui->label_render_tips->setWordWrap(true);
    renderLayout->addWidget(ui->label_render_tips);
    perLayout->addWidget(widgetRender);
    ui->check_fps = named(new QCheckBox(tr("show fps")), "check_fps");
    perLayout->addWidget(ui->check_fps);
    perLayout->addStretch();
    auto *widget4 = named(new QWidget, "widget_4");
    widget4->setMinimumHeight(44);
    auto *optimizeRow = new QHBoxLayout(widget4);
    optimizeRow->setContentsMargins(0, 0, 30, 0);
    optimizeRow->addStretch();
    ui->btn_optimize = named(new QPushButton(tr("optimize")), "btn_optimize");
    ui->btn_optimize->setMinimumSize(96, 36);
    ui->btn_optimize->setStyleSheet(QString::fromLatin1(kOutlineButton));
    optimizeRow->addWidget(ui->btn_optimize);
    perLayout->addWidget(widget4);
    ui->tab_setting->addTab(tabPerformance, tr("performance"));

    // Resolution tab.
    auto *tabResolution = named(new QWidget, "tab_resolution");
    ui->tab_dpi = named(new QTabWidget(tabResolution), "tab_dpi");
    ui->tab_dpi->setGeometry(40, 20, 461, 111);
    auto *tabDpiTitle = named(new QWidget, "tab_dpi_title");
    auto *widgetDpi = named(new QWidget(tabDpiTitle), "widget_dpi");
    widgetDpi->setGeometry(0, 30, 461, 22);
    auto *dpiRow = new QHBoxLayout(widgetDpi);
    dpiRow->setContentsMargins(0, 0, 0, 0);
    ui->radio_dpi_low = named(new QRadioButton(tr("540x960")), "radio_dpi_low");
    ui->radio_dpi_mid = named(new QRadioButton(tr("720x1280")), "radio_dpi_mid");
    ui->radio_dpi_high = named(new QRadioButton(tr("1080x1920")), "radio_dpi_high");
    for (QRadioButton *radio : {ui->radio_dpi_low, ui->radio_dpi_mid, ui->radio_dpi_high})
        dpiRow->addWidget(radio);
    ui->radio_dpi_mid->setChecked(true);
    auto *tabCustom = named(new QWidget, "tab_custom");
    auto *widgetCustom = named(new QWidget(tabCustom), "widget_custom");
    widgetCustom->setGeometry(20, 30, 421, 28);
    auto *customRow = new QHBoxLayout(widgetCustom);
    customRow->setContentsMargins(0, 0, 0, 0);
    ui->edit_width = named(new DigitsEdit, "edit_width");
    ui->edit_height = named(new DigitsEdit, "edit_height");
    ui->edit_dpi = named(new DigitsEdit, "edit_dpi");
    customRow->addWidget(named(new QLabel(tr("width")), "label_dpi_width"));
    customRow->addWidget(ui->edit_width);
    customRow->addWidget(named(new QLabel(tr("height")), "label_dpi_height"));
    customRow->addWidget(ui->edit_height);
    customRow->addWidget(named(new QLabel(tr("DPI")), "label_dpi_dpi"));
    customRow->addWidget(ui->edit_dpi);
    for (DigitsEdit *edit : {ui->edit_width, ui->edit_height, ui->edit_dpi})
        edit->setFixedHeight(28);
    ui->tab_dpi->addTab(tabDpiTitle, tr("Tab 1"));
    ui->tab_dpi->addTab(tabCustom, tr("Tab 2"));
    // The switch stands 120 pixels from the left (the sheet's "tab-bar" rule: the tab widget lays its
    // bar out anew on every resize, so a move of the bar would not last).
    ui->tab_setting->addTab(tabResolution, tr("resolution"));

    // Hot-key tab.
    auto *tabHotKey = named(new QWidget, "tab_hot_key");
    auto *hotLayout = new QVBoxLayout(tabHotKey);
    hotLayout->setContentsMargins(40, 0, 30, 10);
    hotLayout->setSpacing(14);
    auto *titleRow = named(new QWidget, "widget_hot_key_title");
    titleRow->setFixedHeight(60);
    named(new QLabel(tr("operate"), titleRow), "label_operate")->setGeometry(0, 20, 160, 20);
    named(new QLabel(tr("hot key"), titleRow), "label_hot_key")->setGeometry(170, 20, 200, 20);
    hotLayout->addWidget(titleRow);
    hotLayout->addWidget(lineWidget("line_3", tabHotKey));
    auto addRow = [&](const char *rowName, const char *checkName, const QString &text, const char *editName,
                      QCheckBox **check, ShortLineEdit **edit) {
        auto *row = named(new QWidget, rowName);
        row->setFixedHeight(26);
        *check = named(new QCheckBox(text, row), checkName);
        (*check)->setGeometry(0, 0, 165, 26);
        if (edit) {
            *edit = named(new ShortLineEdit(row), editName);
            (*edit)->setGeometry(170, 0, 200, 26);
            (*edit)->setReadOnly(true);
        }
        hotLayout->addWidget(row);
    };
    addRow("widget_boss_key", "check_boss_key", tr("boss key"), "edit_boss_key", &ui->check_boss_key,
           &ui->edit_boss_key);
    auto *silentRow = named(new QWidget, "widget_slient");
    silentRow->setFixedHeight(26);
    ui->check_slient = named(new QCheckBox(tr("slient"), silentRow), "check_slient");
    ui->check_slient->setGeometry(170, 0, 300, 26);
    hotLayout->addWidget(silentRow);
    addRow("widget_return_key", "check_return_key", tr("return key"), "edit_return_key",
           &ui->check_return_key, &ui->edit_return_key);
    addRow("widget_home_key", "check_home_key", tr("home key"), "edit_home_key", &ui->check_home_key,
           &ui->edit_home_key);
    addRow("widget_menu_key", "check_menu_key", tr("menu key"), "edit_menu_key", &ui->check_menu_key,
           &ui->edit_menu_key);
    addRow("widget_keyboard_key", "check_keyboard_key", tr("keyboard key"), "edit_keyboard_key",
           &ui->check_keyboard_key, &ui->edit_keyboard_key);
    addRow("widget_open_hot_key", "check_open_hot_key", tr("open key"), nullptr, &ui->check_open_hot_key,
           nullptr);
    hotLayout->addStretch();
    ui->tab_setting->addTab(tabHotKey, tr("hot_key"));

    // About tab.
    auto *tabAbout = named(new QWidget, "tab_about_us");
    auto *aboutLayout = new QVBoxLayout(tabAbout);
    aboutLayout->setAlignment(Qt::AlignHCenter);
    auto *icon = named(new QPushButton, "pushButton");
    icon->setFixedSize(72, 72);
    icon->setStyleSheet(
        QStringLiteral("border:none;background:transparent;image:url(:/images/setting_about_icon.png);"));
    aboutLayout->addWidget(icon, 0, Qt::AlignHCenter);
    auto *name = named(new QLabel(tr("Orvanta")), "label_2");
    name->setStyleSheet(QStringLiteral("color:white;font:20px;"));
    aboutLayout->addWidget(name, 0, Qt::AlignHCenter);
    auto *publicNo = named(new QPushButton, "pushButton_2");
    publicNo->setMinimumSize(172, 172);
    publicNo->setStyleSheet(QStringLiteral(
        "border:none;background:transparent;image:url(:/images/setting_wechat_public_no.png);"));
    aboutLayout->addWidget(publicNo, 0, Qt::AlignHCenter);
    auto *publicLabel = named(new QLabel(tr("wechat public no")), "label_3");
    publicLabel->setStyleSheet(QStringLiteral("font:14px;"));
    aboutLayout->addWidget(publicLabel, 0, Qt::AlignHCenter);
    ui->btn_weibo = named(new QPushButton(tr("weibo link")), "btn_weibo");
    ui->btn_weibo->setStyleSheet(QString::fromLatin1(kLinkButton).arg(18));
    ui->btn_weibo->setCursor(Qt::PointingHandCursor);
    aboutLayout->addWidget(ui->btn_weibo, 0, Qt::AlignHCenter);
    auto *rights = named(new QLabel(tr("rights_notice")), "label_5");
    rights->setStyleSheet(QStringLiteral("font:12px;"));
    aboutLayout->addWidget(rights, 0, Qt::AlignHCenter);
    ui->tab_setting->addTab(tabAbout, tr("about_us"));

    // Left column under the tabs: version, update check, support link.
    auto *column = named(new QWidget(this), "widget");
    column->setGeometry(1, 316, 201, 301);
    auto *columnLayout = new QVBoxLayout(column);
    columnLayout->setAlignment(Qt::AlignHCenter | Qt::AlignBottom);
    auto *versionRow = named(new QWidget, "widget_2");
    auto *versionLayout = new QHBoxLayout(versionRow);
    versionLayout->setContentsMargins(0, 0, 0, 0);
    versionLayout->setSpacing(0);
    versionLayout->addStretch();
    versionLayout->addWidget(named(new QLabel(tr("version : V")), "label_6"));
    ui->label_version = named(new QLabel(QStringLiteral("1.0.0")), "label_version");
    versionLayout->addWidget(ui->label_version);
    versionLayout->addStretch();
    columnLayout->addWidget(versionRow);
    ui->btn_chenk_update = named(new QPushButton(tr("check update")), "btn_chenk_update");
    ui->btn_chenk_update->setMinimumSize(96, 36);
    ui->btn_chenk_update->setStyleSheet(QString::fromLatin1(kOutlineButton));
    columnLayout->addWidget(ui->btn_chenk_update, 0, Qt::AlignHCenter);
    auto *qqRow = named(new QWidget, "widget_3");
    qqRow->setMaximumHeight(16);
    auto *qqLayout = new QHBoxLayout(qqRow);
    qqLayout->setContentsMargins(0, 0, 0, 0);
    ui->btn_qq = named(new QPushButton(tr("custom qq")), "btn_qq");
    ui->btn_qq->setMaximumWidth(116);
    ui->btn_qq->setStyleSheet(QString::fromLatin1(kLinkButton).arg(14));
    ui->btn_qq->setCursor(Qt::PointingHandCursor);
    qqLayout->addWidget(ui->btn_qq);
    columnLayout->addWidget(qqRow, 0, Qt::AlignHCenter);

    // Bottom bar.
    auto *bottom = named(new QWidget(this), "bottom_widget");
    bottom->setGeometry(1, 620, 738, 59);
    bottom->setAttribute(Qt::WA_StyledBackground);
    bottom->setStyleSheet(QStringLiteral("#bottom_widget{background-color:#3d4248;}"));
    auto *bottomLayout = new QHBoxLayout(bottom);
    bottomLayout->setContentsMargins(0, 0, 30, 0);
    bottomLayout->setSpacing(38);
    bottomLayout->addStretch();
    ui->btn_reset = named(new QPushButton(tr("reset")), "btn_reset");
    ui->btn_reset->setMinimumSize(96, 36);
    ui->btn_reset->setStyleSheet(QString::fromLatin1(kOutlineButton));
    ui->btn_save = named(new QPushButton(tr("save")), "btn_save");
    ui->btn_save->setMinimumSize(96, 36);
    ui->btn_save->setStyleSheet(QString::fromLatin1(kSaveButton));
    bottomLayout->addWidget(ui->btn_reset);
    bottomLayout->addWidget(ui->btn_save);

    ui->tab_setting->setCurrentIndex(0);
    ui->tab_render->setCurrentIndex(0);
    ui->tab_dpi->setCurrentIndex(0);
}

void SettingDialog::setOptimizeRunner(std::function<void(QWidget *)> runner)
{
    optimizeRunner() = std::move(runner);
}

void SettingDialog::setMessageRunner(std::function<int(const QString &, int, QWidget *)> runner)
{
    messageRunner() = std::move(runner);
}

void SettingDialog::setUpdatePromptRunner(std::function<int(bool, QWidget *)> runner)
{
    updatePromptRunner() = std::move(runner);
}

int SettingDialog::runMessage(const QString &text, int kind)
{
    if (messageRunner())
        return messageRunner()(text, kind, this);
    CommonDialog dialog(text, kind, this);
    return dialog.exec();
}

void SettingDialog::keyPressEvent(QKeyEvent *e)
{
    // Escape may be a shortcut being recorded; it never closes the window.
    if (e->key() == Qt::Key_Escape)
        return;
    FuncBaseDialog::keyPressEvent(e);
}

void SettingDialog::showEvent(QShowEvent *e)
{
    refreshOptimizeButton();
    FuncBaseDialog::showEvent(e);
}

void SettingDialog::refreshOptimizeButton()
{
    ui->btn_optimize->setVisible(!Global::systemInfo.optionalChecksPassed);
}

void SettingDialog::loadSettings()
{
    SettingModel *model = SettingModel::instance();
    model->load(false);
    const SettingPerformanceData *performance = model->performance();
    const SettingResolutionData *resolution = model->resolution();
    const SettingShortcutsData *shortcuts = model->shortcuts();

    QSettings installKey(QSettings::NativeFormat, QSettings::SystemScope, QStringLiteral("Halvora"),
                         QStringLiteral("Orvanta"));
    const QString version = installKey.value(QStringLiteral("ProductVersion")).toString().trimmed();
    Global::installInfo.productVersion = version;
    Global::systemInfo.productVersion = version;
    ui->label_version->setText(version);

    m_shortcutKeys = model->shortcutMap().keys();

    if (!m_performanceGroup) {
        m_performanceGroup = new QButtonGroup(this);
        m_performanceGroup->setExclusive(true);
        for (QRadioButton *radio : {ui->radio_low, ui->radio_mid, ui->radio_high, ui->radio_cus})
            m_performanceGroup->addButton(radio);
        connect(m_performanceGroup, QOverload<QAbstractButton *>::of(&QButtonGroup::buttonClicked), this,
                &SettingDialog::at_performance_clicked);
    }
    switch (performance->level()) {
    case SettingPerformanceData::Low:
        ui->radio_low->setChecked(true);
        break;
    case SettingPerformanceData::High:
        ui->radio_high->setChecked(true);
        break;
    case SettingPerformanceData::Custom:
        ui->radio_cus->setChecked(true);
        break;
    default:
        ui->radio_mid->setChecked(true);
        break;
    }
    // A host count not measured yet (0) still leaves 1 as a choice.
    ui->edit_cpu->setRange(1, qMax(1, Global::systemInfo.hostCpuCount));
    ui->edit_memory->setRange(1, qMax(1, Global::systemInfo.memoryMB));
    at_performance_clicked(m_performanceGroup->checkedButton());

    ui->tab_render->setCurrentIndex(performance->renderMode() == QLatin1String("dx") ? 0 : 1);
    ui->check_fps->setChecked(performance->isShowFps());

    if (!m_resolutionGroup) {
        m_resolutionGroup = new QButtonGroup(this);
        m_resolutionGroup->setExclusive(true);
        for (QRadioButton *radio : {ui->radio_dpi_low, ui->radio_dpi_mid, ui->radio_dpi_high})
            m_resolutionGroup->addButton(radio);
    }
    ui->tab_dpi->setCurrentIndex(resolution->type() != SettingResolutionData::Phone ? 1 : 0);
    if (resolution->width() == 540)
        ui->radio_dpi_low->setChecked(true);
    else if (resolution->width() == 1080)
        ui->radio_dpi_high->setChecked(true);
    else
        ui->radio_dpi_mid->setChecked(true);

    ui->edit_width->setRange(50, 1440);
    ui->edit_height->setRange(51, 2560);
    ui->edit_dpi->setRange(120, 640);
    ui->edit_width->setText(QString::number(resolution->width()));
    ui->edit_height->setText(QString::number(resolution->height()));
    ui->edit_dpi->setText(QString::number(resolution->dpi()));

    const struct
    {
        QCheckBox *check;
        ShortLineEdit *edit;
        bool on;
        QString text;
    } rows[] = {
        {ui->check_boss_key, ui->edit_boss_key, shortcuts->bossKeyIsEnable(), shortcuts->bossKey()},
        {ui->check_return_key, ui->edit_return_key, shortcuts->returnKeyIsEnable(), shortcuts->returnKey()},
        {ui->check_menu_key, ui->edit_menu_key, shortcuts->menuKeyIsEnable(), shortcuts->menuKey()},
        {ui->check_home_key, ui->edit_home_key, shortcuts->homeKeyIsEnable(), shortcuts->homeKey()},
        {ui->check_keyboard_key, ui->edit_keyboard_key, shortcuts->keyboardKeyIsEnable(),
         shortcuts->keyboardKey()},
    };
    for (const auto &row : rows) {
        row.check->setChecked(row.on);
        row.edit->commitText(row.text);
        row.edit->setKeyList(&m_shortcutKeys);
    }
    rebuildShortcutKeys();
    ui->check_open_hot_key->setChecked(shortcuts->isEnable());
    ui->check_slient->setChecked(shortcuts->isSilent());
}

void SettingDialog::rebuildShortcutKeys()
{
    m_shortcutKeys.clear();
    for (const ShortLineEdit *edit : {ui->edit_boss_key, ui->edit_return_key, ui->edit_home_key,
                                      ui->edit_menu_key, ui->edit_keyboard_key})
        m_shortcutKeys.append(edit->text());
}

void SettingDialog::updateWidthRange()
{
    const int height = ui->edit_height->text().toInt();
    ui->edit_width->setRange(50, height <= 1440 ? height - 1 : 1440);
}

void SettingDialog::at_performance_clicked(QAbstractButton *button)
{
    if (!button)
        return;
    const SettingPerformanceData *performance = SettingModel::instance()->performance();
    const QString name = button->objectName();
    bool custom = false;
    if (name == QLatin1String("radio_low")) {
        ui->edit_cpu->setText(QStringLiteral("1"));
        ui->edit_memory->setText(QStringLiteral("1024"));
    } else if (name == QLatin1String("radio_mid")) {
        ui->edit_cpu->setText(QStringLiteral("2"));
        ui->edit_memory->setText(QStringLiteral("2048"));
    } else if (name == QLatin1String("radio_high")) {
        ui->edit_cpu->setText(QStringLiteral("4"));
        ui->edit_memory->setText(QStringLiteral("4096"));
    } else if (name == QLatin1String("radio_cus")) {
        ui->edit_cpu->setText(QString::number(performance->cpuCoresCount()));
        ui->edit_memory->setText(QString::number(performance->ramSize()));
        custom = true;
    }
    for (DigitsEdit *edit : {ui->edit_cpu, ui->edit_memory}) {
        edit->setReadOnly(!custom);
        edit->setStyleSheet(QString::fromLatin1(custom ? kEditableDigits : kReadOnlyDigits));
    }
}

void SettingDialog::clampDigitFields()
{
    // Each field in the order the width and height ranges depend on each other: a clamped width narrows
    // the height's range before the height is clamped.
    ui->edit_cpu->clampText();
    ui->edit_memory->clampText();
    ui->edit_height->setRange(ui->edit_width->clampText() + 1, 2560);
    ui->edit_height->clampText();
    ui->edit_dpi->clampText();
}

bool SettingDialog::applyControls()
{
    const SettingModel *model = SettingModel::instance();
    const SettingPerformanceData *performance = model->performance();
    const SettingResolutionData *resolution = model->resolution();

    bool changed = false;
    switch (performance->level()) {
    case SettingPerformanceData::Low:
        changed = !ui->radio_low->isChecked();
        break;
    case SettingPerformanceData::Mid:
        changed = !ui->radio_mid->isChecked();
        break;
    case SettingPerformanceData::High:
        changed = !ui->radio_high->isChecked();
        break;
    case SettingPerformanceData::Custom:
        changed = !ui->radio_cus->isChecked() || digits(ui->edit_cpu) != performance->cpuCoresCount() ||
                  digits(ui->edit_memory) != performance->ramSize();
        break;
    }
    qDebug() << " setting perform " << changed;
    if (!changed) {
        const int index = ui->tab_render->currentIndex();
        changed = (index == 0 && performance->renderMode() != QLatin1String("dx")) ||
                  (index == 1 && performance->renderMode() != QLatin1String("gl"));
    }
    qDebug() << " setting render " << changed;

    if (ui->tab_dpi->currentIndex() != 0) {
        m_pendingType = SettingResolutionData::Custom;
        m_pendingWidth = digits(ui->edit_width);
        m_pendingHeight = digits(ui->edit_height);
        m_pendingDpi = digits(ui->edit_dpi);
    } else {
        m_pendingType = SettingResolutionData::Phone;
        if (ui->radio_dpi_low->isChecked()) {
            m_pendingWidth = 540;
            m_pendingHeight = 960;
            m_pendingDpi = 240;
        } else if (ui->radio_dpi_high->isChecked()) {
            m_pendingWidth = 1080;
            m_pendingHeight = 1920;
            m_pendingDpi = 480;
        } else {
            m_pendingWidth = 720;
            m_pendingHeight = 1280;
            m_pendingDpi = 320;
        }
    }
    // The controller forgets the window's stored geometry at quit while this is set.
    const bool resolutionChanged = resolution->width() != m_pendingWidth ||
                                   resolution->height() != m_pendingHeight ||
                                   resolution->dpi() != m_pendingDpi;
    resolutionChangedFlag = resolutionChanged;
    return changed || resolutionChanged;
}

bool SettingDialog::writeSettings()
{
    int level = 3;
    if (ui->radio_low->isChecked())
        level = 0;
    else if (ui->radio_mid->isChecked())
        level = 1;
    else if (ui->radio_high->isChecked())
        level = 2;
    QVariantMap values;
    values.insert(QStringLiteral("Orvanta/Performance/Level"), level);
    values.insert(QStringLiteral("Orvanta/Performance/CPUCoresCount"), ui->edit_cpu->text());
    values.insert(QStringLiteral("Orvanta/Performance/RAMSize"), ui->edit_memory->text());
    values.insert(QStringLiteral("Orvanta/Performance/RenderMode"),
                  ui->tab_render->currentIndex() == 0 ? QStringLiteral("dx") : QStringLiteral("gl"));
    values.insert(QStringLiteral("Orvanta/Performance/IsShowFPS"), ui->check_fps->isChecked());
    values.insert(QStringLiteral("Orvanta/Resolution/Type"), m_pendingType);
    values.insert(QStringLiteral("Orvanta/Resolution/width"), m_pendingWidth);
    values.insert(QStringLiteral("Orvanta/Resolution/height"), m_pendingHeight);
    values.insert(QStringLiteral("Orvanta/Resolution/DPI"), m_pendingDpi);
    values.insert(QStringLiteral("Orvanta/Shortcuts/BossKeyIsEnable"), ui->check_boss_key->isChecked());
    values.insert(QStringLiteral("Orvanta/Shortcuts/BossKey"), ui->edit_boss_key->text());
    values.insert(QStringLiteral("Orvanta/Shortcuts/ReturnKeyIsEnable"), ui->check_return_key->isChecked());
    values.insert(QStringLiteral("Orvanta/Shortcuts/ReturnKey"), ui->edit_return_key->text());
    values.insert(QStringLiteral("Orvanta/Shortcuts/HomeKeyIsEnable"), ui->check_home_key->isChecked());
    values.insert(QStringLiteral("Orvanta/Shortcuts/HomeKey"), ui->edit_home_key->text());
    values.insert(QStringLiteral("Orvanta/Shortcuts/MenuKeyIsEnable"), ui->check_menu_key->isChecked());
    values.insert(QStringLiteral("Orvanta/Shortcuts/MenuKey"), ui->edit_menu_key->text());
    values.insert(QStringLiteral("Orvanta/Shortcuts/KeyboardKey"), ui->edit_keyboard_key->text());
    values.insert(QStringLiteral("Orvanta/Shortcuts/KeyboardKeyIsEnable"),
                  ui->check_keyboard_key->isChecked());
    values.insert(QStringLiteral("Orvanta/Shortcuts/IsEnable"), ui->check_open_hot_key->isChecked());
    values.insert(QStringLiteral("Orvanta/Shortcuts/IsSilent"), ui->check_slient->isChecked());
    return SettingModel::writeValues(values);
}

void SettingDialog::saveAndReport(const char *succeedText)
{
    clampDigitFields();
    const bool restart = applyControls();
    if (!writeSettings()) {
        // Nothing was stored: no restart would bring the change, and no success is claimed.
        qWarning() << "SettingDialog : the settings file could not be written" << SettingModel::filePath();
        runMessage(tr("setting_write_failed"), static_cast<int>(DialogType::Message));
        SettingModel::instance()->load(true);
        return;
    }
    if (restart) {
        if (runMessage(tr("setting_restart"), static_cast<int>(DialogType::Confirm)) == QDialog::Accepted) {
            close();
            emit reboot();
            return;
        }
    } else {
        runMessage(tr(succeedText), static_cast<int>(DialogType::Message));
    }
    SettingModel::instance()->load(true);
    emit update_fps_status(SettingModel::instance()->performance()->isShowFps());
}

void SettingDialog::on_btn_save_clicked()
{
    saveAndReport(QT_TR_NOOP("setting_succeed"));
}

void SettingDialog::on_btn_reset_clicked()
{
    ui->radio_mid->setChecked(true);
    ui->edit_cpu->setText(QStringLiteral("2"));
    ui->edit_memory->setText(QStringLiteral("2048"));
    ui->tab_render->setCurrentIndex(1);
    ui->check_fps->setChecked(false);
    at_performance_clicked(ui->radio_mid);

    ui->tab_dpi->setCurrentIndex(0);
    ui->radio_dpi_mid->setChecked(true);
    ui->edit_width->setRange(50, 1440);
    ui->edit_height->setRange(51, 2560);
    ui->edit_width->setText(QStringLiteral("720"));
    ui->edit_height->setText(QStringLiteral("1280"));
    ui->edit_dpi->setText(QStringLiteral("320"));

    for (QCheckBox *check : {ui->check_boss_key, ui->check_return_key, ui->check_home_key, ui->check_menu_key,
                             ui->check_keyboard_key, ui->check_open_hot_key, ui->check_slient})
        check->setChecked(true);
    // The defaults of the settings: home "Home", menu "PaUp".
    ui->edit_boss_key->commitText(QStringLiteral("Ctrl + Alt + X"));
    ui->edit_return_key->commitText(QStringLiteral("Esc"));
    ui->edit_home_key->commitText(QStringLiteral("Home"));
    ui->edit_menu_key->commitText(QStringLiteral("PaUp"));
    ui->edit_keyboard_key->commitText(QStringLiteral("Ctrl + 1"));
    rebuildShortcutKeys();

    saveAndReport(QT_TR_NOOP("setting_reset_succeed"));
}

void SettingDialog::on_tab_render_currentChanged(int index)
{
    if (index == 0)
        runMessage(tr("setting_dx_click"), static_cast<int>(DialogType::Message));
}

void SettingDialog::on_tab_setting_currentChanged(int index)
{
    static const int events[] = {ReportEvent::SettingsTab0, ReportEvent::SettingsTab1,
                                 ReportEvent::SettingsTab2};
    if (index >= 0 && index < 3)
        DataReportEngine::report(events[index]);
}

void SettingDialog::on_btn_optimize_clicked()
{
    DataReportEngine::report(ReportEvent::OptionalChecksAgain, QStringLiteral("source"), QStringLiteral("1"));
    if (optimizeRunner())
        optimizeRunner()(this);
    refreshOptimizeButton();
    emit update_optimize_btn_status();
}

void SettingDialog::on_btn_chenk_update_clicked()
{
    DataReportEngine::report(ReportEvent::SharedFolderDialog);
    Platform::ProcessRequest request;
    request.program = QCoreApplication::applicationDirPath() + QLatin1Char('/') + QLatin1String(kUpdaterName);
    request.arguments = QStringList{QStringLiteral("fromOrvantaToCheck")};
    request.timeoutMs = TimeoutScale::ms(kUpdateCheckWaitMs);
    request.killOnTimeout = true;
    qDebug() << " check update exe path " << request.program;
    const Platform::ProcessOutcome outcome = Platform::runProcess(request);
    if (outcome.result != Platform::ProcessResult::Finished) {
        // Not started, ended by a signal or no answer in time: nothing is known about a newer version.
        qWarning().noquote() << "SettingDialog : update check" << Platform::processResultName(outcome.result)
                             << outcome.errorText;
        runMessage(tr("check_update_failed"), static_cast<int>(DialogType::Message));
        return;
    }
    qDebug() << " check update return " << outcome.exitCode;
    if (outcome.exitCode & 2)
        promptUpdate(QString());
    else if (outcome.exitCode & 4)
        promptUpdate(QStringLiteral("clear"));
    else
        runMessage(tr("lasest version"), static_cast<int>(DialogType::Message));
}

void SettingDialog::promptUpdate(const QString &mode)
{
    QSettings userKey(QSettings::NativeFormat, QSettings::UserScope, QCoreApplication::organizationName(),
                      QCoreApplication::applicationName());
    const bool clearData = mode == QLatin1String("clear");
    int result;
    if (updatePromptRunner()) {
        result = updatePromptRunner()(clearData, this);
    } else {
        UpdateDialog dialog(clearData, this);
        result = dialog.exec();
    }
    if (result == QDialog::Accepted) {
        Platform::ProcessRequest request;
        request.program =
            QCoreApplication::applicationDirPath() + QLatin1Char('/') + QLatin1String(kUpdaterName);
        request.arguments = QStringList{QStringLiteral("fromOrvantaToUpdate")};
        Platform::startDetached(request);
        userKey.setValue(QStringLiteral("IsUpdateCancel"), false);
    } else {
        userKey.setValue(QStringLiteral("IsUpdateCancel"), true);
        userKey.setValue(QStringLiteral("LastCheckTime"),
                         static_cast<quint32>(QDateTime::currentDateTimeUtc().toSecsSinceEpoch()));
    }
    userKey.sync();
}

void SettingDialog::on_btn_qq_clicked()
{
    QDesktopServices::openUrl(QUrl(QString::fromLatin1(kQqUrl)));
}

void SettingDialog::on_btn_weibo_clicked()
{
    QDesktopServices::openUrl(QUrl(QString::fromLatin1(kWeiboUrl)));
}
