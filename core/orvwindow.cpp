#include "orvwindow.h"

#include "funcbasedialog.h"
#include "settingmodel.h"
#include "x11windowstate.h"

#include <QCloseEvent>
#include <QDebug>
#include <QMessageBox>
#include <QPointer>
#include <QWindow>

namespace {

// Set on a native window once the window manager has been told to keep it above, for its mapping.
const char *const kToldAbove = "orvToldAbove";

// Used until the program installs its own question: ask with a plain message box, so that a close
// never quits unasked.
int askWithMessageBox(QWidget *parent)
{
    const auto answer =
        QMessageBox::question(parent, QObject::tr("Dialog"), QObject::tr("Are you sure close orv?"),
                              QMessageBox::Yes | QMessageBox::No, QMessageBox::No);
    return answer == QMessageBox::Yes ? 1 : 0;
}

// The close-question switch of the instance settings (Global/isShowCloseDialog).
bool closeQuestionSwitch()
{
    return SettingModel::instance()->isShowCloseDialog();
}

OrvWindow::CloseQuestion &closeQuestion()
{
    static OrvWindow::CloseQuestion question{closeQuestionSwitch, askWithMessageBox};
    return question;
}

} // namespace

void OrvWindow::setCloseQuestion(const CloseQuestion &question)
{
    CloseQuestion &current = closeQuestion();
    current.isEnabled = question.isEnabled ? question.isEnabled : closeQuestionSwitch;
    current.ask = question.ask ? question.ask : askWithMessageBox;
}

OrvWindow::OrvWindow(QWidget *parent)
    : QWidget(parent, Qt::FramelessWindowHint | Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint),
      borderWidth(2), titleHeight(34), menuBarWidth(40), closing(false)
{
    followStayOnTop(this);
}

int OrvWindow::widthForHeight(int height, double ratio, bool divide) const
{
    const double content = removeFrameHeight(height);
    const double width = divide ? content / ratio : content * ratio;
    return static_cast<int>(width) + 2 * borderWidth;
}

int OrvWindow::heightForWidth(int width, double ratio, bool multiply) const
{
    const double content = removeFrameWidth(width);
    const double height = multiply ? content * ratio : content / ratio;
    return static_cast<int>(height) + titleHeight + borderWidth;
}

QSize OrvWindow::contentSize(int width, int height) const
{
    return QSize(removeFrameWidth(width), removeFrameHeight(height));
}

void OrvWindow::closeEvent(QCloseEvent *event)
{
    // Qt never closes the window: closing always runs through the controller's quit sequence.
    event->ignore();

    const CloseQuestion question = closeQuestion();
    if (!question.isEnabled()) {
        emit quitApp(false);
        return;
    }
    if (closing)
        return;

    closing = true;
    m_asking = true;
    QPointer<OrvWindow> self(this);
    const int answer = question.ask(this);
    if (!self) {
        // The window went away while the question was open (the program is ending anyway).
        qWarning() << "OrvWindow  : window destroyed while the close question was open";
        return;
    }
    m_asking = false;
    if (answer == 0) {
        closing = false;
        emit closeQuestionEnded();
        return;
    }
    emit quitApp(false);
    emit closeQuestionEnded();
}

void OrvWindow::followStayOnTop(QWidget *window)
{
    if (!window || m_onTopWindows.contains(window))
        return;
    m_onTopWindows.append(window);
    // The native window may be made anew (a window's is, when its parent's is): watch the widget for
    // that, and the native window for its mappings.
    window->installEventFilter(this);
    watchNativeWindow(window);
}

void OrvWindow::watchNativeWindow(QWidget *window)
{
    if (QWindow *handle = window->windowHandle()) {
        handle->removeEventFilter(this);
        handle->installEventFilter(this);
    }
}

void OrvWindow::applyStayOnTop()
{
    for (const QPointer<QWidget> &window : qAsConst(m_onTopWindows))
        if (window && window->isVisible() && window->windowHandle()) {
            X11WindowState::setKeptAbove(window->winId(), stayOnTopFlag);
            window->windowHandle()->setProperty(kToldAbove, stayOnTopFlag);
        }
}

bool OrvWindow::eventFilter(QObject *watched, QEvent *event)
{
    switch (event->type()) {
    case QEvent::Show:
    case QEvent::WinIdChange:
        for (const QPointer<QWidget> &window : qAsConst(m_onTopWindows))
            if (window == watched)
                watchNativeWindow(window);
        break;
    case QEvent::Expose: {
        // Mapped (again): the window manager forgot the state when the window was withdrawn, and the
        // toolkit wrote its own states without it on the mapping. Told once per mapping.
        auto *handle = qobject_cast<QWindow *>(watched);
        if (stayOnTopFlag && handle && handle->isExposed() && !handle->property(kToldAbove).toBool()) {
            handle->setProperty(kToldAbove, true);
            X11WindowState::setKeptAbove(handle->winId(), true);
        }
        break;
    }
    case QEvent::Hide:
        if (auto *handle = qobject_cast<QWindow *>(watched))
            handle->setProperty(kToldAbove, false);
        else if (auto *widget = qobject_cast<QWidget *>(watched); widget && widget->windowHandle())
            widget->windowHandle()->setProperty(kToldAbove, false);
        break;
    default:
        break;
    }
    return QWidget::eventFilter(watched, event);
}
