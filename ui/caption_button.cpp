#include "caption_button.h"

#include <QStyleOptionButton>
#include <QStylePainter>
#include <qdrawutil.h>

CaptionButton::CaptionButton(const QString& caption, QWidget* parent)
    : QPushButton(caption, parent) {}

void CaptionButton::setMark(const QColor& colour) {
    if (colour != mark_) {
        mark_ = colour;
        update();
    }
}

void CaptionButton::paintEvent(QPaintEvent*) {
    QStylePainter painter(this);
    QStyleOptionButton option;
    initStyleOption(&option);
    const QString caption = option.text;
    option.text.clear();
    QPalette colours = palette();
    if (mark_.isValid()) {
        paintMarkedFace(painter, option);
        colours.setColor(QPalette::ButtonText, Qt::black);
    } else {
        painter.drawControl(QStyle::CE_PushButton, option);
    }

    const int margin = style()->pixelMetric(QStyle::PM_ButtonMargin, &option, this) / 2;
    painter.drawItemText(rect().adjusted(margin, margin, -margin, -margin),
                         Qt::AlignCenter | Qt::TextWordWrap, colours, isEnabled(), caption,
                         QPalette::ButtonText);
}

// The style's gradient would lighten the mark into a pink or a pale green,
// which reads as a hovered or pressed button: the mark fills the face solid
// inside a classic border, raised, or sunken while the button is down. The
// focus shows as a classic dotted frame, since the style's own tints the face;
// like the style's, it shows once the keyboard has moved the focus.
void CaptionButton::paintMarkedFace(QPainter& painter, const QStyleOptionButton& option) {
    const QBrush fill(mark_);
    qDrawWinButton(&painter, rect(), palette(), isDown(), &fill);
    if (option.state.testFlags(QStyle::State_HasFocus | QStyle::State_KeyboardFocusChange)) {
        painter.setPen(QPen(Qt::black, 1, Qt::DotLine));
        painter.setBrush(Qt::NoBrush);
        painter.drawRect(rect().adjusted(4, 4, -5, -5));
    }
}
