#include "menubarbase.h"

namespace {
MenuBarBase::Factory menuBarFactory = nullptr;
constexpr int kPlainBarWidth = 40;
} // namespace

void MenuBarBase::setFactory(Factory factory)
{
    menuBarFactory = factory;
}

MenuBarBase *MenuBarBase::create(QWidget *host)
{
    if (menuBarFactory)
        return menuBarFactory(host);
    auto *bar = new MenuBarBase(host);
    bar->setWindowFlags(Qt::Tool | Qt::FramelessWindowHint);
    bar->setAttribute(Qt::WA_StyledBackground);
    bar->setStyleSheet(QStringLiteral("background: #2e323b;"));
    bar->resize(kPlainBarWidth, 720);
    return bar;
}

MenuBarBase::MenuBarBase(QWidget *host) : QWidget(host) {}

void MenuBarBase::setBarHeight(int height)
{
    resize(width(), height);
}
