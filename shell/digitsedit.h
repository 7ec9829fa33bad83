#pragma once

#include <QLineEdit>

// A one-line field for a non-negative whole number within a range. Only digits can be typed; while the
// user types, the allowed range shows as a tooltip; when the field loses focus it brings its text into
// the range and reports the value.
class DigitsEdit : public QLineEdit
{
    Q_OBJECT

public:
    explicit DigitsEdit(QWidget *parent = nullptr);

    // Stores the bounds and makes an integer validator for them the field's validator (in place of the
    // previous one). May be called again at any time.
    void setRange(int min, int max);
    int minimum() const { return m_min; }
    int maximum() const { return m_max; }

    // Brings the text into the range (empty or not a number reads 0, leading zeros go) and returns the
    // value. What losing the focus does, also for callers that read the field without a focus change.
    int clampText();

signals:
    // The value after the field lost focus and corrected its text; on every loss of focus.
    void text_changed(int value);

protected:
    bool event(QEvent *e) override;

private:
    // The bounds stay 0 to INT_MAX until the owner sets a range.
    int m_min = 0;
    int m_max = 2147483647;
};
