#include "window_controls.h"

#include "twips.h"

#include <QLabel>
#include <QPalette>

namespace WindowControls {

namespace {

const QString kFontFamily = QStringLiteral("MS Sans Serif");
const QColor kBlue(0, 0, 255);

// Opaque captions in the window's colours; points 0 keeps the window's font.
struct Caption {
    Control control;
    double points;
    bool bold;
    bool textSized; // takes the size of its text instead of the one given
};

const Caption kCaptions[] = {
    {{"Label14", "Asse base ricevente", 6720, 720, 1695, 255, "Asse base ricevente"},
     0,
     false,
     false},
    {{"Label6", "SETTORE DI SINISTRA", 4080, 960, 2070, 195, "Settore di sinistra"},
     8.25,
     true,
     true},
    {{"Label13", "SETTORE DI DESTRA", 9000, 960, 1950, 195, "Settore di destra"}, 8.25, true, true},
    // Stands on the top edge of the frame, like the title of a group box.
    {{"Label7", " n\u00B0 UNITA' DI RITARDO ", 5760, 9360, 2505, 240, "Unit\u00E0 di ritardo"},
     9.75,
     true,
     true},
    {{"Label15", "Impostazione ritardo simulato", 10440, 8280, 2655, 255,
      "Impostazione ritardo simulato"},
     8.25,
     true,
     false},
};

// Blue, in the colour of highlighted text, sunken, as large as its text.
void createBanner(QWidget* window) {
    QLabel* banner =
        createLabel(window, {"Label24", " CORRELATORE  PANORAMICO  SETTORIALE  2 X 120  PUNTI ",
                             360, 0, 14340, 615, "Titolo"});
    banner->setFont(fontOf(24, false));
    banner->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    banner->setLineWidth(2);
    QPalette colours = banner->palette();
    colours.setColor(QPalette::Window, kBlue);
    colours.setColor(QPalette::WindowText, window->palette().color(QPalette::HighlightedText));
    banner->setPalette(colours);
    banner->adjustSize();
}

} // namespace

QFont fontOf(double points, bool bold) {
    // Where the instrument's font is missing, a sans-serif of like metrics.
    QFont::insertSubstitution(kFontFamily, QStringLiteral("Liberation Sans"));
    QFont font(kFontFamily);
    font.setPointSizeF(points);
    font.setWeight(bold ? QFont::Bold : QFont::Normal);
    return font;
}

void setBackground(QWidget* widget, const QColor& colour) {
    QPalette palette = widget->palette();
    palette.setColor(widget->backgroundRole(), colour);
    widget->setPalette(palette);
}

void place(QWidget* widget, const Control& control) {
    widget->setObjectName(QString::fromLatin1(control.name));
    widget->setGeometry(Twips::toPixels(control.left, control.top, control.width, control.height));
    widget->setAccessibleName(QString::fromUtf8(control.accessibleName));
    // Controls take their own mouse moves: none of them reaches the readout.
    widget->setAttribute(Qt::WA_NoMousePropagation);
}

QLabel* createLabel(QWidget* window, const Control& control) {
    auto* label = new QLabel(QString::fromUtf8(control.text), window);
    label->setTextFormat(Qt::PlainText);
    label->setAutoFillBackground(true);
    place(label, control);
    return label;
}

void createCaptions(QWidget* window) {
    createBanner(window);
    for (const Caption& caption : kCaptions) {
        QLabel* label = createLabel(window, caption.control);
        if (caption.points > 0) {
            label->setFont(fontOf(caption.points, caption.bold));
        }
        if (caption.textSized) {
            label->adjustSize();
        }
    }
}

} // namespace WindowControls
