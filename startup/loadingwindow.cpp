#include "loadingwindow.h"

#include "commandline.h"
#include "progressbar.h"
#include "titlebarbase.h"
#include "ui_loadingwindow.h"

#include <QBitmap>
#include <QDataStream>
#include <QImage>
#include <QPainter>
#include <QPen>
#include <QResizeEvent>
#include <QTimer>

int LoadingWindow::landscapeWindowHeight = 0;
int LoadingWindow::portraitWindowHeight = 0;
QPoint LoadingWindow::savedWindowPos;

namespace {
constexpr int kPictureCount = 5;
constexpr int kPictureIntervalMs = 5000;
constexpr int kBarHeight = 43;
constexpr double kScreenShare = 0.94;
} // namespace

LoadingWindow::LoadingWindow(QWidget *parent)
    : OrvWindow(parent), ui(std::make_unique<Ui::LoadingWindow>()), m_pictureTimer(new QTimer(this))
{
    ui->setupUi(this);
    // The form's place holder gives way to the program's title bar, in the same place of the layout.
    m_titleBar = TitleBarBase::create(this);
    m_titleBar->setMinimumSize(ui->titlebar->minimumSize());
    m_titleBar->setMaximumHeight(36);
    delete ui->verticalLayout->replaceWidget(ui->titlebar, m_titleBar);
    delete ui->titlebar;
    ui->titlebar = nullptr;
    m_titleBar->setObjectName(QStringLiteral("titlebar"));
    m_titleBar->setWindowKind(0);

    // The window paints all of itself: Qt's fill of the whole window with the palette colour before
    // each paint (a picture change repaints the whole window, each step of the bar its strip) was
    // wasted work.
    setAttribute(Qt::WA_OpaquePaintEvent);
    loadPicture(m_pictureIndex);
    connect(m_pictureTimer, &QTimer::timeout, this, &LoadingWindow::changePicture);
    m_pictureTimer->start(kPictureIntervalMs);

    connect(m_titleBar, &TitleBarBase::showDialogFree, this, &LoadingWindow::showDialogFree);
    connect(m_titleBar, &TitleBarBase::title_setting_click, this, &LoadingWindow::at_title_setting_click);
    connect(m_titleBar, &TitleBarBase::title_systemInfo_click, this,
            &LoadingWindow::at_title_systemInfo_click);

    if (CommandLine::title.isEmpty())
        CommandLine::title = tr("Orvanta");
    setWindowTitle(CommandLine::title);
    m_titleBar->setTitle();
}

LoadingWindow::~LoadingWindow() = default;

void LoadingWindow::loadPicture(int index)
{
    // Made from an image rather than loaded by name: a pixmap loaded by name stays in the process-wide
    // pixmap cache after the window has gone, and the pictures are the size of the window. This way the
    // window holds one picture at a time and its memory goes with the window at the hand-over.
    m_background = QPixmap::fromImage(QImage(QStringLiteral(":/images/init_bg_%1.png").arg(index)),
                                      Qt::ThresholdDither | Qt::AvoidDither);
    if (!m_background.isNull())
        setMask(m_background.mask());
}

void LoadingWindow::changePicture()
{
    ++m_pictureIndex;
    if (m_pictureIndex > kPictureCount)
        m_pictureIndex = 2;
    loadPicture(m_pictureIndex);
    repaint();
}

void LoadingWindow::at_title_setting_click()
{
    emit showDialogFree(tr("starting"), DialogType::Message, nullptr, QStringLiteral("0"));
}

void LoadingWindow::at_title_systemInfo_click()
{
    emit showDialogFree(QString(), DialogType::SystemInfo, nullptr, QStringLiteral("0"));
}

void LoadingWindow::resizeEvent(QResizeEvent *event)
{
    OrvWindow::resizeEvent(event);
    const int h = height();
    m_barTop = static_cast<int>(h - h / 7.5);
    // One bar for the window's life: it holds the progress and says 100 % once, so a later resize
    // only moves and resizes it.
    if (!m_bar) {
        m_bar = new ProgressBar(this);
        connect(this, &LoadingWindow::scheduleChanged, m_bar, &ProgressBar::setProgress);
        connect(m_bar, &ProgressBar::process_100, this, &LoadingWindow::process_100);
        m_bar->show();
    }
    m_bar->setBarSize(width() - 4, kBarHeight);
    m_bar->move(2, m_barTop - 38);
}

void LoadingWindow::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    // Only a picture that lets something through (or none at all) needs the colour underneath.
    if (m_background.isNull() || m_background.hasAlphaChannel())
        painter.fillRect(rect(), palette().window());
    painter.drawPixmap(QRect(0, 0, width(), height()), m_background);
    painter.fillRect(QRect(QPoint(0, m_barTop), QPoint(width() - 1, height())), QColor(0, 0, 0, 175));
    QPen pen(QColor(21, 21, 24, 255), 2.0, Qt::SolidLine, Qt::SquareCap, Qt::BevelJoin);
    painter.setPen(pen);
    painter.drawRect(QRect(QPoint(1, 1), QPoint(width() - 2, height() - 2)));
}

StartupGeometry LoadingWindow::computeGeometry(const OrvWindow &frame, const SavedWindowSettings &saved,
                                               const QSize &available)
{
    int width = saved.width;
    int height = saved.height;
    if (!(height >= width && height <= 2560 && width >= 50 && width <= 1440)) {
        height = 1280;
        width = 720;
    }
    const double ratio = static_cast<double>(width) / height;
    const int defaultHeight = frame.addFrameHeight(width);
    const int aw = available.width();
    const int ah = available.height();

    StartupGeometry g;
    if (!saved.pos.isEmpty()) {
        QByteArray bytes = saved.pos;
        QDataStream stream(&bytes, QIODevice::ReadOnly);
        stream >> g.savedPos;
        if (stream.status() != QDataStream::Ok)
            g.savedPos = QPoint();
    }

    // The same capping for both orientations: the height first, then the width, each at 94 % of the
    // available area.
    auto fit = [&](int h, bool landscape, int *outWidth) {
        int w = frame.widthForHeight(h, ratio, landscape);
        if (h > kScreenShare * ah) {
            h = static_cast<int>(kScreenShare * ah);
            w = frame.widthForHeight(h, ratio, landscape);
        }
        if (w > kScreenShare * aw) {
            w = static_cast<int>(kScreenShare * aw);
            h = frame.heightForWidth(w, ratio, landscape);
        }
        *outWidth = w;
        return h;
    };
    int landscapeWidth = 0;
    g.landscapeHeight =
        fit(saved.horizontalHeight >= 0 ? saved.horizontalHeight : defaultHeight, true, &landscapeWidth);
    int portraitWidth = 0;
    g.portraitHeight =
        fit(saved.verticalHeight >= 0 ? saved.verticalHeight : defaultHeight, false, &portraitWidth);
    g.windowSize = QSize(landscapeWidth, g.landscapeHeight);

    if (!saved.pos.isEmpty() && !g.savedPos.isNull())
        g.position = g.savedPos;
    else
        g.position = QPoint((aw - frame.widthForHeight(g.landscapeHeight, ratio, true)) / 2,
                            (ah - g.landscapeHeight) / 2);
    return g;
}
