#pragma once

#include <QList>
#include <QPointer>
#include <QSize>
#include <QWidget>

#include <functional>

// The base of the two main windows (the start-up window and the Android window): a frameless
// top-level widget that draws its own frame, converts between window and content sizes, and turns a
// close request into the program-wide quit request, after asking the user when the settings say so.
class OrvWindow : public QWidget
{
    Q_OBJECT

public:
    // How a close request asks the user. `isEnabled` says whether to ask at all; by default it is the
    // close-question switch of the settings (Global/isShowCloseDialog, default true). `ask` runs the
    // question modally with the window as parent and returns non-zero when the user confirms; the core
    // cannot show the shell's quit dialog itself, so the program's wiring installs it here (until
    // then a plain message box asks). An empty member keeps its default.
    struct CloseQuestion
    {
        std::function<bool()> isEnabled;
        std::function<int(QWidget *parent)> ask;
    };
    static void setCloseQuestion(const CloseQuestion &question);

    explicit OrvWindow(QWidget *parent = nullptr);

    int addFrameHeight(int height) const { return height + titleHeight + borderWidth; }
    int addFrameWidth(int width) const { return width + 2 * borderWidth; }
    int removeFrameHeight(int height) const { return height - titleHeight - borderWidth; }
    int removeFrameWidth(int width) const { return width - 2 * borderWidth; }
    // The window width whose content has the given aspect: content height times ratio (or divided by
    // it), truncated toward zero, plus the side borders.
    int widthForHeight(int height, double ratio, bool divide) const;
    // The window height whose content has the given aspect: content width divided by ratio (or
    // multiplied by it), truncated toward zero, plus title bar and bottom border.
    int heightForWidth(int width, double ratio, bool multiply) const;
    QSize contentSize(int width, int height) const;

    bool isClosing() const { return closing; }
    // The close question is open over this window right now.
    bool isAskingToClose() const { return m_asking; }

    // Puts `window` (this window, or one that goes with it such as the side bar) under the keep-on-top
    // mode (stayOnTopFlag): the window manager is asked to keep it above the others whenever it is
    // mapped while the mode is on. The native window is never made anew for it.
    void followStayOnTop(QWidget *window);

public slots:
    // Tells the window manager the current keep-on-top mode for every mapped window that follows it.
    void applyStayOnTop();

signals:
    void quitApp(bool isNeedReboot = false);
    // The close question has been answered (quitApp, when confirmed, went out before).
    void closeQuestionEnded();

protected:
    void closeEvent(QCloseEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

    int borderWidth;  // drawn frame on the left, right and bottom edges
    int titleHeight;  // drawn title bar at the top
    int menuBarWidth; // room left for the side menu bar when maximized
    bool closing;     // a close question is open, or the user has confirmed

private:
    void watchNativeWindow(QWidget *window);

    bool m_asking = false;
    QList<QPointer<QWidget>> m_onTopWindows;
};
