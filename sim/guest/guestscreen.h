#pragma once

#include <QImage>
#include <QPoint>
#include <QString>
#include <QVector>

// The simulated guest's screen: what Android would show, drawn from what the guest received, and
// published for the render stand-in as one file rewritten atomically.
class GuestScreen
{
public:
    // Colours a screenshot test can look for.
    static constexpr unsigned kLauncherBackground = 0xff1e88e5;
    static constexpr unsigned kStatusBar = 0xff202124;
    static constexpr unsigned kBootBackground = 0xff000000;
    static constexpr unsigned kTouchMark = 0xffe53935;

    void setSize(int width, int height);
    void setBooted(bool booted) { m_booted = booted; }
    void setRotation(int rotation) { m_rotation = rotation; }
    void setPackage(const QString &package) { m_package = package; }
    void setLocation(const QString &location) { m_location = location; }
    void setText(const QString &text) { m_text = text; }
    void setTouches(const QVector<QPoint> &points) { m_touches = points; }

    QImage render() const;
    // Writes the picture to `path` (through a dot-prefixed temporary file); false on failure.
    bool publish(const QString &path);

private:
    int m_width = 720;
    int m_height = 1280;
    bool m_booted = false;
    int m_rotation = 0;
    long m_sequence = 0;
    QString m_package;
    QString m_location;
    QString m_text;
    QVector<QPoint> m_touches;
};
