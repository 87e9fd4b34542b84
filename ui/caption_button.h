#pragma once

#include <QColor>
#include <QPushButton>

class QStyleOptionButton;

// A push button whose caption wraps onto a second line when it is wider than
// the button, as the instrument's narrow buttons need, and which the window
// can mark with a colour that says what the channels hold.
class CaptionButton final : public QPushButton {
public:
    CaptionButton(const QString& caption, QWidget* parent);

    // Fills the face with exactly this colour; an invalid colour clears the
    // mark and gives the button back the style's own face.
    void setMark(const QColor& colour);
    QColor mark() const { return mark_; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void paintMarkedFace(QPainter& painter, const QStyleOptionButton& option);

    QColor mark_;
};
