#include "orvwindow.h"

#include "settingmodel.h"

#include <QCloseEvent>
#include <QDebug>
#include <QMessageBox>
#include <QPointer>

namespace {

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
    QPointer<OrvWindow> self(this);
    const int answer = question.ask(this);
    if (!self) {
        // The window went away while the question was open (the program is ending anyway).
        qWarning() << "OrvWindow  : window destroyed while the close question was open";
        return;
    }
    if (answer == 0) {
        closing = false;
        return;
    }
    emit quitApp(false);
}
