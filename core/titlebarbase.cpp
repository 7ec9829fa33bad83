#include "titlebarbase.h"

bool windowMaximizedFlag = false;
bool fullScreenFlag = false;

namespace {
TitleBarBase::Factory titleBarFactory = nullptr;
} // namespace

void TitleBarBase::setFactory(Factory factory)
{
    titleBarFactory = factory;
}

TitleBarBase *TitleBarBase::create(QWidget *host)
{
    if (titleBarFactory)
        return titleBarFactory(host);
    return new TitleBarBase(host);
}

TitleBarBase::TitleBarBase(QWidget *host) : QWidget(host) {}
