#pragma once

#include <QFont>

class QColor;
class QLabel;
class QWidget;

// The window's controls as the instrument has always laid them out: places
// in twips, fonts in points, opaque captions in the window's colours.
namespace WindowControls {

// A control's place in twips, its caption, and the name a screen reader says.
struct Control {
    const char* name;
    const char* text; // UTF-8
    int left, top, width, height;
    const char* accessibleName;
};

QFont fontOf(double points, bool bold);
// The window's and the labels' background is their Window colour, a push
// button's its Button colour.
void setBackground(QWidget* widget, const QColor& colour);
void place(QWidget* widget, const Control& control);
QLabel* createLabel(QWidget* window, const Control& control);
// The title banner and the captions that never change.
void createCaptions(QWidget* window);

} // namespace WindowControls
