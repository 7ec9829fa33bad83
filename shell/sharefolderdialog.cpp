#include "sharefolderdialog.h"

#include "datareportengine.h"
#include "global.h"
#include "reportevents.h"

#include <QDesktopServices>
#include <QLabel>
#include <QPushButton>
#include <QUrl>

namespace {

const char *const kOpenButtonStyle =
    "QPushButton{background-color:#0190ff;border:none;color:white;font:16px \"微软雅黑\";}";
const char *const kReturnButtonStyle =
    "QPushButton{background:transparent;border:none;image:url(:/images/fun_dialog_return.png);}"
    "QPushButton:hover,QPushButton:pressed{image:url(:/images/fun_dialog_return_hover.png);}";

QWidget *pictureWidget(const char *name, const char *picture, QWidget *parent, const QRect &geometry)
{
    auto *widget = new QWidget(parent);
    widget->setObjectName(QLatin1String(name));
    widget->setGeometry(geometry);
    widget->setAttribute(Qt::WA_StyledBackground);
    widget->setStyleSheet(
        QStringLiteral("#%1{border-image:url(%2);}").arg(QLatin1String(name), QLatin1String(picture)));
    return widget;
}

QWidget *rowWidget(const char *name, QWidget *parent, const QRect &geometry)
{
    auto *widget = new QWidget(parent);
    widget->setObjectName(QLatin1String(name));
    widget->setGeometry(geometry);
    widget->setAttribute(Qt::WA_StyledBackground);
    widget->setStyleSheet(QStringLiteral("#%1{background-color:#3d424d;}").arg(QLatin1String(name)));
    return widget;
}

QPushButton *openButton(const char *name, const QString &text, QWidget *parent, const QRect &geometry)
{
    auto *button = new QPushButton(text, parent);
    button->setObjectName(QLatin1String(name));
    button->setGeometry(geometry);
    button->setStyleSheet(QString::fromUtf8(kOpenButtonStyle));
    return button;
}

} // namespace

ShareFolderDialog::ShareFolderDialog(QWidget *parent) : FuncBaseDialog(parent, 30, 43, 20, 44)
{
    setObjectName(QStringLiteral("ShareFolderDialog"));
    setWindowTitle(tr("Dialog"));
    resize(740, 680);
    setStyleSheet(QStringLiteral("#ShareFolderDialog{background-color:#343841;border:1px solid #111518;}"
                                 "QPushButton{border:none;border-radius:2px;}"));

    title = new QLabel(tr("share_folder"), this);
    title->setObjectName(QStringLiteral("title"));
    title->setGeometry(60, 20, 620, 20);
    title->setAlignment(Qt::AlignCenter);
    title->setStyleSheet(QString::fromUtf8("color:white;font:20px \"黑体\";border:none;"));

    line = new QWidget(this);
    line->setObjectName(QStringLiteral("line"));
    line->setGeometry(1, 60, 738, 1);
    line->setAttribute(Qt::WA_StyledBackground);
    line->setStyleSheet(QStringLiteral("background-color:#3d4248;"));

    btn_close = new QPushButton(this);
    btn_close->setObjectName(QStringLiteral("btn_close"));
    btn_close->setGeometry(30, 20, 13, 22);
    btn_close->setStyleSheet(QString::fromLatin1(kReturnButtonStyle));

    widget_tip = pictureWidget("widget_tip", ":/images/share_folder_tip.png", this, QRect(20, 81, 700, 250));

    widget_bkg_imgae = rowWidget("widget_bkg_imgae", this, QRect(20, 351, 700, 88));
    widget_fodler_image = pictureWidget("widget_fodler_image", ":/images/share_folder_image.png",
                                        widget_bkg_imgae, QRect(50, 11, 74, 66));
    pushButton_open_image = openButton("pushButton_open_image", tr("open image folder"), widget_bkg_imgae,
                                       QRect(252, 26, 184, 36));
    pushButton_open_orvvm_image = openButton("pushButton_open_orvvm_image", tr("open orvvm image folder"),
                                             widget_bkg_imgae, QRect(466, 26, 184, 36));

    widget_bkg_other = rowWidget("widget_bkg_other", this, QRect(20, 459, 700, 88));
    widget_fodler_other = pictureWidget("widget_fodler_other", ":/images/share_folder_other.png",
                                        widget_bkg_other, QRect(50, 11, 74, 66));
    pushButton_open_other = openButton("pushButton_open_other", tr("open other folder"), widget_bkg_other,
                                       QRect(252, 26, 184, 36));
    pushButton_open_orvvm_other = openButton("pushButton_open_orvvm_other", tr("open orvvm other folder"),
                                             widget_bkg_other, QRect(466, 26, 184, 36));

    connect(pushButton_open_image, &QPushButton::clicked, this, &ShareFolderDialog::openImageFolder);
    connect(pushButton_open_orvvm_image, &QPushButton::clicked, this,
            &ShareFolderDialog::openOrvvmImageFolder);
    connect(pushButton_open_other, &QPushButton::clicked, this, &ShareFolderDialog::openOtherFolder);
    connect(btn_close, &QPushButton::clicked, this, &QDialog::reject);
    connect(pushButton_open_orvvm_other, &QPushButton::clicked, this,
            &ShareFolderDialog::openOrvvmOtherFolder);
}

QString ShareFolderDialog::hostFolder(const QString &leaf)
{
    return Global::installInfo.installDir + QStringLiteral("/share/") + Global::vmName + QLatin1Char('/') +
           leaf;
}

QString ShareFolderDialog::androidOpenCommand(const QString &guestPath)
{
    return QStringLiteral("am start -a action.com.corvle.quickOpenShareFile --es PATH \"%1\"").arg(guestPath);
}

void ShareFolderDialog::openImageFolder()
{
    accept();
    // A file URL made from the path itself: blanks, "#" and "?" in folder names stay part of the path.
    QDesktopServices::openUrl(QUrl::fromLocalFile(hostFolder(QStringLiteral("image"))));
    DataReportEngine::report(ReportEvent::HostPictureFolder);
}

void ShareFolderDialog::openOrvvmImageFolder()
{
    accept();
    emit sendShellCmd(androidOpenCommand(QStringLiteral("/mnt/shared/picture")));
    DataReportEngine::report(ReportEvent::AndroidPictureFolder);
}

void ShareFolderDialog::openOtherFolder()
{
    accept();
    QDesktopServices::openUrl(QUrl::fromLocalFile(hostFolder(QStringLiteral("other"))));
    DataReportEngine::report(ReportEvent::HostOtherFolder);
}

void ShareFolderDialog::openOrvvmOtherFolder()
{
    accept();
    emit sendShellCmd(androidOpenCommand(QStringLiteral("/mnt/shared/other")));
    DataReportEngine::report(ReportEvent::AndroidOtherFolder);
}
