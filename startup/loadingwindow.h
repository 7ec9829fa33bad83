#pragma once

#include "dialogtype.h"
#include "orvwindow.h"

#include <QByteArray>
#include <QPixmap>
#include <QPoint>
#include <QSize>
#include <QString>

#include <memory>

class ProgressBar;
class QTimer;
class TitleBarBase;

namespace Ui {
class LoadingWindow;
}

// Size and place of the start-up window, worked out from the saved resolution and window heights and
// the screen's available area. The Android window later starts from the same heights.
struct StartupGeometry
{
    QSize windowSize; // landscape window size
    QPoint position;  // where the window goes
    int landscapeHeight = 0;
    int portraitHeight = 0;
    QPoint savedPos; // the saved position, (0, 0) when none
};

// What the instance settings file says about the window, as read by LoadingControl.
struct SavedWindowSettings
{
    int width = 720;
    int height = 1280;
    QByteArray pos;
    int horizontalHeight = -1; // -1: not saved (the default applies)
    int verticalHeight = -1;
};

// The start-up window: frameless, of the size and place the Android window will have, with the title
// bar, a background picture that changes every five seconds and the progress bar in a dark band at the
// bottom. It relays the bar's 100 % as process_100().
class LoadingWindow : public OrvWindow
{
    Q_OBJECT

public:
    explicit LoadingWindow(QWidget *parent = nullptr);
    ~LoadingWindow() override;

    // The sizing rule; `frame` gives the frame arithmetic of the main windows.
    static StartupGeometry computeGeometry(const OrvWindow &frame, const SavedWindowSettings &saved,
                                           const QSize &available);

    ProgressBar *progressBar() const { return m_bar; }
    int pictureIndex() const { return m_pictureIndex; }
    int barTop() const { return m_barTop; }
    TitleBarBase *titleBar() const { return m_titleBar; }

    // Window heights for a landscape and a portrait Android screen, and the saved window position;
    // written when the start-up window is sized, read by the Android window.
    static int landscapeWindowHeight;
    static int portraitWindowHeight;
    static QPoint savedWindowPos;

signals:
    void scheduleChanged(int start, int end);
    void process_100();
    void title_setting_click();
    void showDialog(QString msg, DialogType type, QWidget *parent = nullptr,
                    QString from = QStringLiteral("0"));
    void showDialogFree(QString msg, DialogType type, QWidget *parent = nullptr,
                        QString from = QStringLiteral("0"));

public slots:
    void changePicture();
    void at_title_setting_click();
    void at_title_systemInfo_click();

protected:
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    void loadPicture(int index);

    std::unique_ptr<Ui::LoadingWindow> ui;
    QPixmap m_background;
    int m_pictureIndex = 1;
    QTimer *m_pictureTimer;
    int m_barTop = 0;
    ProgressBar *m_bar = nullptr;
    TitleBarBase *m_titleBar = nullptr;
};
