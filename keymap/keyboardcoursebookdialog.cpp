#include "keyboardcoursebookdialog.h"

#include <QApplication>
#include <QFrame>
#include <QLabel>
#include <QPainter>
#include <QPointer>
#include <QPushButton>
#include <QStyleOptionTab>
#include <QTabBar>
#include <QTabWidget>

namespace {

struct Page
{
    const char *name;
    const char *tabKey;
    const char *picture;
};

// The pages in their order: object name, tab text (tr key), picture.
const Page kPages[] = {
    {"tab_1", QT_TRANSLATE_NOOP("KeyBoardCoursebookDialog", "position"),
     ":/images/KeyBoardCoursebook/directionControlHandle.png"},
    {"tab_2", QT_TRANSLATE_NOOP("KeyBoardCoursebookDialog", "key"), ":/images/KeyBoardCoursebook/click.png"},
    {"tab_3", QT_TRANSLATE_NOOP("KeyBoardCoursebookDialog", "slide"),
     ":/images/KeyBoardCoursebook/slide.png"},
    {"tab_4", QT_TRANSLATE_NOOP("KeyBoardCoursebookDialog", "sensor"),
     ":/images/KeyBoardCoursebook/gravitySensor.png"},
    {"tab_5", QT_TRANSLATE_NOOP("KeyBoardCoursebookDialog", "fire"),
     ":/images/KeyBoardCoursebook/aboutShootingGame.png"},
    {"tab_6", QT_TRANSLATE_NOOP("KeyBoardCoursebookDialog", "setting"),
     ":/images/KeyBoardCoursebook/coursebookSetting.png"},
};

} // namespace

KeyBoardCoursebookDialog::KeyBoardCoursebookDialog(QWidget *parent) : FuncBaseDialog(parent, 30, 43, 20, 44)
{
    setObjectName(QStringLiteral("KeyBoardCoursebookDialog"));
    resize(950, 578);
    setStyleSheet(QStringLiteral(
        "QDialog#KeyBoardCoursebookDialog { background: #343841; border: 1px solid #111518; }"));

    auto *close = new QPushButton(this);
    close->setObjectName(QStringLiteral("btn_close"));
    close->setGeometry(30, 20, 13, 22);
    close->setStyleSheet(QStringLiteral("QPushButton { background: transparent; border: none;"
                                        " border-image: url(:/images/fun_dialog_return.png); }"
                                        "QPushButton:hover, QPushButton:pressed { border-image: "
                                        "url(:/images/fun_dialog_return_hover.png); }"));

    auto *line = new QFrame(this);
    line->setObjectName(QStringLiteral("line"));
    line->setGeometry(1, 60, 948, 1);
    line->setFrameShape(QFrame::HLine);
    line->setFrameShadow(QFrame::Sunken);
    line->setStyleSheet(QStringLiteral("background: #3d4248;"));

    auto *title = new QLabel(this);
    title->setObjectName(QStringLiteral("title"));
    title->setGeometry(60, 20, 821, 21);
    title->setStyleSheet(
        QStringLiteral("color: white; font-size: 20px; font-family: \"黑体\"; border: none;"));
    title->setAlignment(Qt::AlignCenter);
    title->setText(tr("how to use keyboard control?"));

    m_tabs = new QTabWidget(this);
    m_tabs->setObjectName(QStringLiteral("tab_picture"));
    m_tabs->setGeometry(1, 60, 948, 518);
    // The tabs' rules give colours and font only: a rule with a border, a box or a size would make the
    // style-sheet style draw the tabs itself and bypass the tab style's size and horizontal labels.
    m_tabs->setStyleSheet(QStringLiteral(
        "QTabWidget::pane { border: none; border-left: 1px solid #3d4248; background: transparent; }"
        "QTabBar::tab { background: transparent; color: #7a7d8d; font-size: 16px; font-family: \"黑体\";"
        " }"
        "QTabBar::tab:selected { background: #0190ff; color: white; }"
        "QTabBar::tab:hover { background: #44aeff; color: white; }"));
    for (const Page &page : kPages) {
        auto *widget = new QWidget;
        widget->setObjectName(QLatin1String(page.name));
        widget->setAttribute(Qt::WA_StyledBackground);
        widget->setStyleSheet(QStringLiteral("QWidget#%1 { background-image: url(%2);"
                                             " background-repeat: no-repeat; background-position: center; }")
                                  .arg(QLatin1String(page.name), QLatin1String(page.picture)));
        m_tabs->addTab(widget, tr(page.tabKey));
    }
    m_tabs->setCurrentIndex(0);
    m_tabs->setTabPosition(QTabWidget::West);
    m_tabs->tabBar()->setStyle(KeyboardTabStyle::instance());

    connect(close, &QPushButton::clicked, this, &QDialog::reject);
}

KeyBoardCoursebookDialog::~KeyBoardCoursebookDialog() = default;

KeyboardTabStyle::KeyboardTabStyle() = default;

KeyboardTabStyle *KeyboardTabStyle::instance()
{
    // Made on first use, after the application exists, and owned by it; a second application of the
    // same process (tests) gets a new one.
    static QPointer<KeyboardTabStyle> style;
    if (!style) {
        style = new KeyboardTabStyle;
        style->setParent(qApp);
    }
    return style;
}

QSize KeyboardTabStyle::sizeFromContents(ContentsType type, const QStyleOption *option, const QSize &size,
                                         const QWidget *widget) const
{
    const QSize proposed = QProxyStyle::sizeFromContents(type, option, size, widget);
    if (type == QStyle::CT_TabBarTab)
        return QSize(kTabWidth, kTabHeight);
    return proposed;
}

void KeyboardTabStyle::drawControl(ControlElement element, const QStyleOption *option, QPainter *painter,
                                   const QWidget *widget) const
{
    const auto *tab = qstyleoption_cast<const QStyleOptionTab *>(option);
    if (element != QStyle::CE_TabBarTabLabel || !tab) {
        QProxyStyle::drawControl(element, option, painter, widget);
        return;
    }
    QStyleOptionTab horizontal(*tab);
    horizontal.shape = QTabBar::RoundedNorth;
    painter->setPen(QPen(QBrush(QColor(61, 66, 72)), 1.0, Qt::SolidLine, Qt::SquareCap, Qt::BevelJoin));
    painter->drawLine(horizontal.rect.bottomLeft(), horizontal.rect.bottomRight());
    QProxyStyle::drawControl(element, &horizontal, painter, widget);
}
