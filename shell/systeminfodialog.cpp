#include "systeminfodialog.h"

#include "global.h"
#include "settingmodel.h"
#include "traynotice.h"

#include <QApplication>
#include <QClipboard>
#include <QLabel>
#include <QPushButton>

namespace {
const char *const kDialogStyle = "QDialog{ background: #343841; border: 1px solid #111518; }";
const char *const kReturnStyle =
    "QPushButton{ background: transparent url(:/images/fun_dialog_return.png); border: none; }"
    "QPushButton:hover{ background: transparent url(:/images/fun_dialog_return_hover.png); }";
const char *const kTitleStyle = "color: white; font: 20px \"黑体\"; background: transparent;";
const char *const kInfoStyle = "border: none; color: #8c8c8c; font: 20px \"黑体\"; background: transparent;";
const char *const kCopyStyle =
    "QPushButton{ border: 1px solid #7a7d8e; border-radius: 2px; color: white; font: 18px \"黑体\"; "
    "background: transparent; }"
    "QPushButton:hover{ border-color: #44aeff; color: #44aeff; }"
    "QPushButton:pressed{ border-color: #007ae5; color: #007ae5; }";
} // namespace

SystemInfoDialog::SystemInfoDialog(QWidget *parent) : FuncBaseDialog(parent, 30, 43, 20, 44)
{
    setObjectName(QStringLiteral("SystemInfoDialog"));
    resize(740, 680);
    setStyleSheet(QLatin1String(kDialogStyle));
    setWindowTitle(QStringLiteral("Dialog"));
    m_close = new QPushButton(this);
    m_close->setObjectName(QStringLiteral("btn_close"));
    m_close->setGeometry(30, 20, 13, 22);
    m_close->setStyleSheet(QLatin1String(kReturnStyle));
    m_title = new QLabel(tr("system_info"), this);
    m_title->setObjectName(QStringLiteral("title"));
    m_title->setGeometry(60, 20, 620, 20);
    m_title->setAlignment(Qt::AlignCenter);
    m_title->setStyleSheet(QLatin1String(kTitleStyle));
    auto *line = new QWidget(this);
    line->setObjectName(QStringLiteral("line"));
    line->setGeometry(1, 60, 738, 1);
    line->setStyleSheet(QStringLiteral("background: #3d4248;"));
    m_info = new QLabel(this);
    m_info->setObjectName(QStringLiteral("label_info"));
    m_info->setGeometry(20, 80, 700, 500);
    m_info->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    m_info->setWordWrap(true);
    m_info->setMargin(0);
    m_info->setOpenExternalLinks(false);
    m_info->setTextFormat(Qt::RichText);
    m_info->setStyleSheet(QLatin1String(kInfoStyle));
    m_copy = new QPushButton(tr("systeminfo_copy"), this);
    m_copy->setObjectName(QStringLiteral("btn_copy"));
    m_copy->setGeometry(100, 588, 540, 62);
    m_copy->setStyleSheet(QLatin1String(kCopyStyle));

    const QList<Row> rows = currentRows();
    m_info->setText(richText(rows));
    m_copyText = copyText(rows);
    QMetaObject::connectSlotsByName(this);
}

QList<SystemInfoDialog::Row> SystemInfoDialog::currentRows()
{
    const QString checking = tr("Info_Checking");
    const auto orChecking = [&checking](bool missing, const QString &value) {
        return missing ? checking : value;
    };
    const SystemInfo &info = Global::systemInfo;
    const SettingPerformanceData *performance = SettingModel::instance()->performance();
    const QString version = Global::installInfo.productVersion;
    QList<Row> rows;
    rows << Row(tr("Info_Orvanta_Version"), orChecking(version.isEmpty(), version));
    rows << Row(
        tr("Info_System_Version"),
        orChecking(info.windowsName.isEmpty(), info.windowsName + QLatin1Char(' ') + info.windowsBuild));
    rows << Row(tr("Info_System_Type"), QLatin1String(info.is64Bit ? "64" : "32"));
    rows << Row(tr("CPU"), orChecking(info.cpuName.isEmpty(), info.cpuName));
    rows << Row(tr("Info_CPU_NUM"), orChecking(info.hostCpuCount == 0, QString::number(info.hostCpuCount)));
    rows << Row(tr("Info_CPU_VT"), info.vtSupported ? tr("Info_VT_Open") : tr("Info_VT_UnOpen"));
    rows << Row(tr("Info_StartUp_VT"), info.startWithVt ? tr("Info_VT_YES") : tr("Info_VT_NO"));
    rows << Row(tr("Info_Memory"),
                orChecking(info.memoryMB == 0, QString::number(info.memoryMB) + QLatin1String("MB")));
    rows << Row(tr("Info_Render_Mode"), performance->renderMode() == QLatin1String("dx")
                                            ? QStringLiteral("DirectX")
                                            : QStringLiteral("OpenGL"));
    rows << Row(tr("Info_Render"), orChecking(info.renderer.isEmpty(), info.renderer));
    rows << Row(tr("Info_Opengl_Version"), orChecking(info.openglVersion.isEmpty(), info.openglVersion));
    const QString card = tr("Info_Graphics_Card");
    for (int i = 0; i < info.adapters.size(); ++i) {
        const QString label = info.adapters.size() == 1 ? card : card + QString::number(i + 1);
        rows << Row(label, orChecking(info.adapters.at(i).isEmpty(), info.adapters.at(i)));
    }
    rows << Row(tr("Info_Orvanta_memory"),
                orChecking(performance->ramSize() == 0,
                           QString::number(performance->ramSize()) + QLatin1String("MB")));
    rows << Row(tr("Info_Orvanta_cpuNum"),
                orChecking(performance->cpuCoresCount() == 0, QString::number(performance->cpuCoresCount())));
    return rows;
}

QString SystemInfoDialog::copyText(const QList<Row> &rows)
{
    QString text;
    for (const Row &row : rows)
        text += row.first + QLatin1Char(':') + row.second + QLatin1String("\r\n");
    return text;
}

QString SystemInfoDialog::richText(const QList<Row> &rows)
{
    QString text;
    bool first = true;
    for (const Row &row : rows) {
        text += QLatin1String(" <p style='line-height:50%'> ");
        text += QLatin1String(first ? "<font color='white'>" : "<br/><font color='white'>");
        text += row.first.toHtmlEscaped() + QLatin1String(":</font>") + row.second.toHtmlEscaped() +
                QLatin1String(" </p> ");
        first = false;
    }
    return text;
}

void SystemInfoDialog::on_btn_close_clicked()
{
    close();
}

void SystemInfoDialog::on_btn_copy_clicked()
{
    QApplication::clipboard()->setText(m_copyText, QClipboard::Clipboard);
    TrayNotice::message(tr("Info_Copy_Success"));
}
