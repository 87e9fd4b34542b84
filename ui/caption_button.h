#pragma once

#include <QPushButton>

// A push button whose caption wraps onto a second line when it is wider than
// the button, as the instrument's narrow buttons need. Its background follows
// the palette's Button colour, which the window sets to mark what the
// channels hold.
class CaptionButton final : public QPushButton {
public:
    CaptionButton(const QString& caption, QWidget* parent);

protected:
    void paintEvent(QPaintEvent* event) override;
};
