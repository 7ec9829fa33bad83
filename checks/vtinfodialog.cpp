#include "vtinfodialog.h"

#include "settingmodel.h"

#include <QBitmap>
#include <QCheckBox>
#include <QDesktopServices>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QUrl>
#include <QVBoxLayout>

QString VTInfoDialog::tutorialPage()
{
    return QStringLiteral("http://forum.halvora.example/thread-88891791-1-1.html");
}

VTInfoDialog::VTInfoDialog(QWidget *parent) : QDialog(parent, Qt::Tool | Qt::FramelessWindowHint)
{
    setObjectName(QStringLiteral("VTInfoDialog"));
    setAttribute(Qt::WA_TranslucentBackground);
    setFixedSize(380, 580);

    m_background.load(QStringLiteral(":/images/vt_info_bg.png"));
    if (!m_background.isNull())
        setMask(m_background.scaled(size()).mask());

    auto *header = new QWidget(this);
    header->setObjectName(QStringLiteral("header"));
    auto *icon = new QLabel(header);
    icon->setObjectName(QStringLiteral("icon"));
    icon->setStyleSheet(QStringLiteral("border-image: url(:/images/vt_exclamation.png);"));
    auto *title = new QLabel(tr("vt_not_open"), header);
    title->setObjectName(QStringLiteral("title"));
    title->setStyleSheet(QStringLiteral("color: #ffffff; font: 26px ;"));
    title->setMargin(0);
    title->adjustSize();
    icon->setGeometry(0, (title->height() - 20) / 2, 21, 21);
    // The row is the title's width plus 37: the icon and the gap before the title.
    title->move(37, 0);
    header->setFixedSize(title->width() + 37, title->height() + 1);

    auto makeLabel = [this](const QString &text, const QString &style, const char *name) {
        auto *label = new QLabel(text, this);
        label->setObjectName(QLatin1String(name));
        label->setStyleSheet(style);
        return label;
    };
    QLabel *label1 =
        makeLabel(tr("vt_info_label_1"), QStringLiteral("color: #ddf0ff; font: 22px ;"), "label_1");
    QLabel *label2 =
        makeLabel(tr("vt_info_label_2"), QStringLiteral("color: #a6d7ff; font: 16px ;"), "label_2");
    QLabel *label3 =
        makeLabel(tr("vt_info_label_3"), QStringLiteral("color: #a6d7ff; font: 16px ;"), "label_3");

    auto *badge = new QPushButton(tr("vt_info_label_4"), this);
    badge->setObjectName(QStringLiteral("badge"));
    badge->setFixedSize(110, 26);
    badge->setStyleSheet(QStringLiteral(
        "border: none; background: #018bd6; color: #ffffff; font: 14px; border-radius: 12px;"));

    auto *tutorial = new QPushButton(tr("vt_tutorial"), this);
    tutorial->setObjectName(QStringLiteral("tutorial"));
    tutorial->setFixedSize(126, 36);
    tutorial->setCursor(Qt::PointingHandCursor);
    tutorial->setStyleSheet(QStringLiteral("QPushButton { background: #fffffa; color: #00a8ff; font: 16px; "
                                           "border-radius: 18px; }QPushButton:hover { "
                                           "background-color: rgba( 255, 255, 250, 60% ); "
                                           "}QPushButton:pressed { background-color: rgba( 255, 255, "
                                           "250, 40% ); }"));

    auto *container = new QWidget(this);
    container->setObjectName(QStringLiteral("container"));
    container->setGeometry(0, 290, 380, 290);
    auto *layout = new QVBoxLayout(container);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addSpacing(20);
    layout->addWidget(header, 0, Qt::AlignHCenter);
    layout->addSpacing(15);
    layout->addWidget(label1, 0, Qt::AlignHCenter);
    layout->addSpacing(16);
    layout->addWidget(label2, 0, Qt::AlignHCenter);
    layout->addWidget(label3, 0, Qt::AlignHCenter);
    layout->addSpacing(16);
    layout->addWidget(badge, 0, Qt::AlignHCenter);
    layout->addSpacing(26);
    layout->addWidget(tutorial, 0, Qt::AlignHCenter);
    layout->addStretch();

    m_showAgain = new QCheckBox(tr("vt_show_again"), this);
    m_showAgain->setObjectName(QStringLiteral("show_again"));
    m_showAgain->setStyleSheet(
        QStringLiteral("QCheckBox { color: #ffffff; font: 16px; }QCheckBox::indicator:unchecked { "
                       "image:url(:/images/white_check_off.png); }QCheckBox::indicator:checked { "
                       "image:url(:/images/white_check_on.png); }"));
    m_showAgain->adjustSize();
    m_showAgain->move(width() - 5 - m_showAgain->width(), height() - m_showAgain->height());

    auto *close = new QPushButton(this);
    close->setObjectName(QStringLiteral("close"));
    close->setIcon(QIcon(QStringLiteral(":/images/vt_close.png")));
    close->setFixedSize(18, 18);
    close->setStyleSheet(QStringLiteral("border : none;"));
    close->move(width() - 28, 10);

    connect(close, &QPushButton::clicked, this, &VTInfoDialog::on_close_clicked);
    connect(tutorial, &QPushButton::clicked, this, &VTInfoDialog::on_tutorial_clicked);
}

void VTInfoDialog::storeShowAgain()
{
    if (m_showAgain->isChecked())
        SettingModel::instance()->setShowVTCheckDialog(false);
}

void VTInfoDialog::on_close_clicked()
{
    storeShowAgain();
    close();
}

void VTInfoDialog::on_tutorial_clicked()
{
    storeShowAgain();
    QDesktopServices::openUrl(QUrl(tutorialPage()));
    close();
}

void VTInfoDialog::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    if (!m_background.isNull())
        painter.drawPixmap(rect(), m_background);
    else
        painter.fillRect(rect(), QColor(0x01, 0x6f, 0xc4));
}
