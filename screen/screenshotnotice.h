#pragma once

#include <QTimer>
#include <QWidget>

class QLabel;
class QPushButton;

// The strip over the top of the Android screen when a new screenshot arrived: the picture's file name
// and two buttons that open the picture and its folder (the host side of the shared folder "picture")
// in the host's default programs. It closes 3000 ms after it was shown; the pointer over it holds it.
// Two layouts: one row (ScreenshotHandleWidget) for screens wider than 450 pixels, two rows
// (VerticalScreenshotHandleWidget) for narrower ones. Each is a frameless tool window placed over the
// top of the picture (the render library's window covers any widget inside the Android window).
class ScreenshotNotice : public QWidget
{
    Q_OBJECT

public:
    static constexpr int kShowMs = 3000;

    void setText(QString name);
    QString text() const;
    QLabel *nameLabel() const { return m_name; }
    QPushButton *openImageButton() const { return m_openImage; }
    QPushButton *openFolderButton() const { return m_openFolder; }
    bool isTimerRunning() const { return m_timer.isActive(); }

    // The picture "Open image" opens for a name the guest gave: an existing regular file (not a link)
    // with a picture suffix directly in the picture share; empty for anything else.
    static QString imageToOpen(const QString &name);

public slots:
    void openImage();
    void openFolder();

protected:
    explicit ScreenshotNotice(QWidget *parent);
    void buildCommon();

    void showEvent(QShowEvent *event) override;
    void enterEvent(QEvent *event) override;
    void leaveEvent(QEvent *event) override;
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

    QLabel *m_name = nullptr;
    QPushButton *m_openImage = nullptr;
    QPushButton *m_openFolder = nullptr;
    QTimer m_timer;

private:
    // The label shows the name whole where it fits, else cut short with "..." and the whole name as
    // its tip.
    void fitName();

    QString m_fullName;
};

class ScreenshotHandleWidget : public ScreenshotNotice
{
    Q_OBJECT

public:
    explicit ScreenshotHandleWidget(QWidget *parent = nullptr);
};

class VerticalScreenshotHandleWidget : public ScreenshotNotice
{
    Q_OBJECT

public:
    explicit VerticalScreenshotHandleWidget(QWidget *parent = nullptr);
};
