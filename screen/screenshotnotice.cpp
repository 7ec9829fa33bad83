#include "screenshotnotice.h"

#include "guestfiles.h"

#include "datareportengine.h"
#include "global.h"
#include "reportevents.h"

#include <QDebug>
#include <QDesktopServices>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QSpacerItem>
#include <QUrl>

namespace {
const char *const kButtonStyle = "color: white; font: 16px \"微软雅黑\"; background: rgb(1, 144, 255); "
                                 "border: none; border-radius: 2px;";
} // namespace

ScreenshotNotice::ScreenshotNotice(QWidget *parent) : QWidget(parent)
{
    m_timer.setSingleShot(false);
    // Three seconds as the user counts them (a coarse timer may end up to 5 % early).
    m_timer.setTimerType(Qt::PreciseTimer);
    connect(&m_timer, &QTimer::timeout, this, &QWidget::close);
}

void ScreenshotNotice::buildCommon()
{
    setAttribute(Qt::WA_TranslucentBackground);
    // A small frameless window of its own over the picture: the render library's child window lies
    // above every widget drawn into the Android window, so a child widget would stay hidden beneath
    // it. It takes no focus away from the touch layer.
    setWindowFlags(Qt::Tool | Qt::FramelessWindowHint | Qt::WindowDoesNotAcceptFocus);
    setAttribute(Qt::WA_ShowWithoutActivating);
    setStyleSheet(QStringLiteral("background: transparent;"));
    setWindowTitle(tr("Form"));
    m_name->setObjectName(QStringLiteral("label_image_name"));
    // The name comes from the guest: shown as plain text.
    m_name->setTextFormat(Qt::PlainText);
    m_openImage->setObjectName(QStringLiteral("pushButton_open_image"));
    m_openFolder->setObjectName(QStringLiteral("pushButton_open_folder"));
    m_openImage->setFocusPolicy(Qt::NoFocus);
    m_openFolder->setFocusPolicy(Qt::NoFocus);
    connect(m_openImage, &QPushButton::clicked, this, &ScreenshotNotice::openImage);
    connect(m_openFolder, &QPushButton::clicked, this, &ScreenshotNotice::openFolder);
}

void ScreenshotNotice::setText(QString name)
{
    m_fullName = name;
    fitName();
}

QString ScreenshotNotice::text() const
{
    return m_fullName;
}

void ScreenshotNotice::fitName()
{
    if (auto *layout = this->layout())
        layout->activate();
    m_name->ensurePolished();
    const int room = m_name->contentsRect().width();
    const QFontMetrics metrics = m_name->fontMetrics();
    if (metrics.horizontalAdvance(m_fullName) <= room) {
        m_name->setText(m_fullName);
        m_name->setToolTip(QString());
    } else {
        m_name->setText(metrics.elidedText(m_fullName, Qt::ElideMiddle, room));
        m_name->setToolTip(m_fullName);
    }
}

void ScreenshotNotice::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    fitName();
}

QString ScreenshotNotice::imageToOpen(const QString &name)
{
    // The name comes from the guest: one picture file name, nothing that climbs out of the share.
    if (name.isEmpty() || name == QLatin1String(".") || name == QLatin1String("..") ||
        name.contains(QLatin1Char('/')) || name.contains(QChar(0)) || !GuestFiles::isPictureName(name))
        return QString();
    const QString path = Global::imagePath + QLatin1Char('/') + name;
    const QFileInfo info(path);
    // A regular file of the share itself, not a link to somewhere else.
    if (info.isSymLink() || !info.isFile())
        return QString();
    const QString share = QFileInfo(Global::imagePath).canonicalFilePath();
    if (share.isEmpty() || QFileInfo(info.canonicalPath()).canonicalFilePath() != share)
        return QString();
    return path;
}

void ScreenshotNotice::openImage()
{
    close();
    const QString path = imageToOpen(m_fullName);
    if (path.isEmpty()) {
        qWarning().noquote() << QStringLiteral("Android    : no picture to open: ") + m_fullName;
        return;
    }
    const QUrl url = QUrl::fromLocalFile(path);
    qInfo().noquote() << QStringLiteral("Android    : open image ") + url.toString();
    QDesktopServices::openUrl(url);
    DataReportEngine::report(ReportEvent::NoticeOpenImage);
}

void ScreenshotNotice::openFolder()
{
    close();
    const QUrl url = QUrl::fromLocalFile(Global::imagePath);
    qInfo().noquote() << QStringLiteral("Android    : open folder ") + url.toString();
    QDesktopServices::openUrl(url);
    DataReportEngine::report(ReportEvent::NoticeOpenFolder);
}

void ScreenshotNotice::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    fitName();
    if (m_timer.isActive())
        m_timer.stop();
    m_timer.start(kShowMs);
    raise();
}

void ScreenshotNotice::enterEvent(QEvent *event)
{
    QWidget::enterEvent(event);
    if (m_timer.isActive())
        m_timer.stop();
}

void ScreenshotNotice::leaveEvent(QEvent *event)
{
    QWidget::leaveEvent(event);
    if (!m_timer.isActive())
        m_timer.start(kShowMs);
}

void ScreenshotNotice::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.fillRect(rect(), QColor(0, 0, 0, 178));
}

ScreenshotHandleWidget::ScreenshotHandleWidget(QWidget *parent) : ScreenshotNotice(parent)
{
    setObjectName(QStringLiteral("ScreenshotHandleWidget"));
    resize(550, 80);
    auto *layout = new QHBoxLayout(this);
    layout->setObjectName(QStringLiteral("horizontalLayout"));
    layout->setSpacing(0);
    layout->setContentsMargins(0, 0, 0, 0);
    m_name = new QLabel(this);
    m_name->setMinimumSize(130, 80);
    m_name->setStyleSheet(QStringLiteral("color: white; font: 16px \"微软雅黑\"; margin-left: 50px;"));
    layout->addWidget(m_name);
    layout->addItem(new QSpacerItem(116, 66, QSizePolicy::Expanding, QSizePolicy::Minimum));
    m_openImage = new QPushButton(tr("open image"), this);
    m_openImage->setMinimumSize(130, 30);
    m_openImage->setStyleSheet(QLatin1String(kButtonStyle) + QStringLiteral("margin-right: 32px;"));
    layout->addWidget(m_openImage);
    m_openFolder = new QPushButton(tr("open folder"), this);
    m_openFolder->setMinimumSize(150, 30);
    m_openFolder->setStyleSheet(QLatin1String(kButtonStyle) + QStringLiteral("margin-right: 50px;"));
    layout->addWidget(m_openFolder);
    buildCommon();
}

VerticalScreenshotHandleWidget::VerticalScreenshotHandleWidget(QWidget *parent) : ScreenshotNotice(parent)
{
    setObjectName(QStringLiteral("VerticalScreenshotHandleWidget"));
    resize(550, 80);
    m_name = new QLabel(this);
    m_name->setGeometry(0, 0, 250, 35);
    m_name->setMinimumSize(250, 35);
    m_name->setMaximumHeight(35);
    m_name->setStyleSheet(QStringLiteral("color: white; font: 16px \"微软雅黑\"; margin-left: 20px;"));
    m_openImage = new QPushButton(tr("open image"), this);
    m_openImage->setGeometry(0, 35, 120, 30);
    m_openImage->setFixedSize(120, 30);
    m_openImage->setStyleSheet(QLatin1String(kButtonStyle) + QStringLiteral("margin-left: 20px;"));
    m_openFolder = new QPushButton(tr("open folder"), this);
    m_openFolder->setGeometry(120, 35, 115, 30);
    m_openFolder->setFixedSize(115, 30);
    m_openFolder->setStyleSheet(QLatin1String(kButtonStyle));
    buildCommon();
}
