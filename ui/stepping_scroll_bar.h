#pragma once

#include <QScrollBar>

// A horizontal scroll bar that also steps with the arrow keys. Qt's scroll
// bar leaves them to the view it scrolls; the delay slider scrolls no view,
// and the operator expects them to move it.
class SteppingScrollBar final : public QScrollBar {
public:
    explicit SteppingScrollBar(QWidget* parent) : QScrollBar(Qt::Horizontal, parent) {}

protected:
    void keyPressEvent(QKeyEvent* event) override;
};
