#include "form3.h"

#include "caption_button.h"
#include "parallel_port_scan.h"
#include "plot_geometry.h"
#include "port_error.h"
#include "sector_correlator.h"
#include "stepping_scroll_bar.h"
#include "twips.h"

#include <QApplication>
#include <QLabel>
#include <QLocale>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>

namespace {

const QColor kRed(255, 0, 0);
const QColor kGreen(0, 255, 0);
const QColor kBlue(0, 0, 255);
const QColor kLightGrey(192, 192, 192);

const QString kFontFamily = QStringLiteral("MS Sans Serif");

// The axis, and the frame around the delay readout, in twips.
const QLineF kLine1(7600, 1320, 7600, 7200);
const QRectF kShape1(5640, 9360, 3015, 645);
// The far corner of everything the window shows, in twips.
constexpr int kLayoutRight = 15100;
constexpr int kLayoutBottom = 10005;

QFont fontOf(double points, bool bold) {
    QFont font(kFontFamily);
    font.setPointSizeF(points);
    font.setWeight(bold ? QFont::Bold : QFont::Normal);
    return font;
}

QColor buttonFace() {
    return QApplication::palette().color(QPalette::Button);
}

void setBackground(QWidget* widget, const QColor& colour) {
    QPalette palette = widget->palette();
    palette.setColor(widget->backgroundRole(), colour);
    palette.setColor(QPalette::Button, colour);
    widget->setPalette(palette);
}

// Controls take their own mouse moves: none of them reaches the readout.
void keepMouseMoves(QWidget* control) {
    control->setAttribute(Qt::WA_NoMousePropagation);
}

} // namespace

Form3::Form3(std::unique_ptr<PortIo> port, std::chrono::nanoseconds samplePeriod)
    : store_(std::make_unique<SampleStore>()), port_(std::move(port)), samplePeriod_(samplePeriod) {
    // Where the instrument's font is missing, a sans-serif of like metrics.
    QFont::insertSubstitution(kFontFamily, QStringLiteral("Liberation Sans"));
    setWindowTitle(QStringLiteral(
        "Sistema sperimentale per la ricerca della correlazione tra due segnali di rumore"));
    setFont(fontOf(8.25, false));
    setBackground(this, buttonFace());
    setAutoFillBackground(true);
    setMouseTracking(true);
    createControls();
    resize(Twips::toPixels(kLayoutRight) + 8, Twips::toPixels(kLayoutBottom) + 8);
}

Form3::~Form3() = default;

void Form3::createControls() {
    const auto label = [this](const char* name, const QString& text, QRect twips,
                              const QString& accessibleName) {
        auto* control = new QLabel(text, this);
        control->setObjectName(QString::fromLatin1(name));
        control->setTextFormat(Qt::PlainText);
        control->setGeometry(twips);
        control->setAutoFillBackground(true);
        control->setAccessibleName(accessibleName);
        keepMouseMoves(control);
        return control;
    };
    const auto button = [this](const char* name, const QString& caption, QRect twips,
                               const QString& accessibleName) {
        auto* control = new CaptionButton(caption, this);
        control->setObjectName(QString::fromLatin1(name));
        control->setGeometry(twips);
        control->setAccessibleName(accessibleName);
        keepMouseMoves(control);
        return control;
    };
    using Twips::toPixels;

    Label24 =
        label("Label24", QStringLiteral(" CORRELATORE  PANORAMICO  SETTORIALE  2 X 120  PUNTI "),
              toPixels(360, 0, 14340, 615), QStringLiteral("Titolo"));
    Label24->setFont(fontOf(24, false));
    Label24->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    Label24->setLineWidth(2);
    setBackground(Label24, kBlue);
    QPalette banner = Label24->palette();
    banner.setColor(QPalette::WindowText, palette().color(QPalette::HighlightedText));
    Label24->setPalette(banner);
    Label24->adjustSize();

    Label14 = label("Label14", QStringLiteral("Asse base ricevente"),
                    toPixels(6720, 720, 1695, 255), QStringLiteral("Asse base ricevente"));
    Label6 = label("Label6", QStringLiteral("SETTORE DI SINISTRA"), toPixels(4080, 960, 2070, 195),
                   QStringLiteral("Settore di sinistra"));
    Label13 = label("Label13", QStringLiteral("SETTORE DI DESTRA"), toPixels(9000, 960, 1950, 195),
                    QStringLiteral("Settore di destra"));
    for (QLabel* title : {Label6, Label13}) {
        title->setFont(fontOf(8.25, true));
        title->adjustSize();
    }

    Label7 = label("Label7", QStringLiteral(" n\u00B0 UNITA' DI RITARDO "),
                   toPixels(5760, 9360, 2505, 240), QStringLiteral("Unità di ritardo"));
    Label7->setFont(fontOf(9.75, true));
    Label7->adjustSize();

    Label1 = label("Label1", QString(), toPixels(6600, 9600, 825, 300),
                   QStringLiteral("Ritardo sotto il puntatore"));
    Label1->setFont(fontOf(12, true));
    Label1->setWordWrap(true);
    setBackground(Label1, kLightGrey);

    Command1 = button("Command1", QStringLiteral("SCANSIONE SETTORE"),
                      toPixels(8880, 9360, 1095, 615), QStringLiteral("Scansione settore"));
    Command3 = button("Command3", QStringLiteral("Sorgente SN"), toPixels(10400, 9360, 1095, 615),
                      QStringLiteral("Sorgente simulata a sinistra"));
    Command4 = button("Command4", QStringLiteral("Sorgente DX"), toPixels(11920, 9360, 1095, 615),
                      QStringLiteral("Sorgente simulata a destra"));
    Command2 = button("Command2", QStringLiteral("   ANALISI     "),
                      toPixels(13440, 9360, 1095, 615), QStringLiteral("Analisi"));
    connect(Command1, &QPushButton::clicked, this, &Form3::Command1_Click);
    connect(Command2, &QPushButton::clicked, this, &Form3::command2_click);
    connect(Command3, &QPushButton::clicked, this, &Form3::Command3_Click);
    connect(Command4, &QPushButton::clicked, this, &Form3::Command4_Click);

    Label15 =
        label("Label15", QStringLiteral("Impostazione ritardo simulato"),
              toPixels(10440, 8280, 2655, 255), QStringLiteral("Impostazione ritardo simulato"));
    Label15->setFont(fontOf(8.25, true));

    HScroll1 = new SteppingScrollBar(this);
    HScroll1->setObjectName(QStringLiteral("HScroll1"));
    HScroll1->setGeometry(toPixels(10440, 8760, 2535, 375));
    HScroll1->setRange(0, SampleStore::kMaxLag);
    HScroll1->setSingleStep(1);
    HScroll1->setPageStep(1);
    HScroll1->setValue(SampleStore::kMaxLag);
    // A drag reports its value only where the thumb is let go.
    HScroll1->setTracking(false);
    HScroll1->setFocusPolicy(Qt::StrongFocus);
    HScroll1->setAccessibleName(QStringLiteral("Ritardo simulato"));
    keepMouseMoves(HScroll1);
    connect(HScroll1, &QScrollBar::valueChanged, this, &Form3::HScroll1_Change);

    Label16 = label("Label16", QString(), toPixels(13080, 8760, 1335, 495),
                    QStringLiteral("Ritardo simulato impostato"));
    Label16->setFont(fontOf(12, true));

    setTabOrder(Command1, Command2);
    setTabOrder(Command2, Command3);
    setTabOrder(Command3, Command4);
    setTabOrder(Command4, HScroll1);
    Command1->setFocus();
}

void Form3::Command1_Click() {
    const QColor before3 = Command3->palette().color(QPalette::Button);
    const QColor before4 = Command4->palette().color(QPalette::Button);
    setBackground(Command3, buttonFace());
    setBackground(Command4, buttonFace());

    QApplication::setOverrideCursor(Qt::WaitCursor);
    try {
        ParallelPortScan(*port_, samplePeriod_).scan(*store_);
    } catch (const PortError& error) {
        QApplication::restoreOverrideCursor();
        // The channels still hold what they held, and so do the colours that
        // record it; only a scan that took its samples turns analysis green.
        setBackground(Command3, before3);
        setBackground(Command4, before4);
        QMessageBox::warning(this, QStringLiteral("Scansione non riuscita"),
                             QString::fromStdString(error.what()));
        return;
    }
    QApplication::restoreOverrideCursor();
    setBackground(Command2, kGreen);
}

void Form3::command2_click() {
    setBackground(Command2, buttonFace());
    plot_.clear();
    SectorCorrelator::analyse(
        *store_, [this](Side sector, int lag, double value) { plot_.drawBar(sector, lag, value); });
}

void Form3::Command3_Click() {
    simulate(Side::Left, Command3, Command4);
}

void Form3::Command4_Click() {
    simulate(Side::Right, Command4, Command3);
}

void Form3::simulate(Side side, QPushButton* sourceButton, QPushButton* otherButton) {
    setBackground(sourceButton, kRed);
    setBackground(otherButton, buttonFace());
    simulator_.simulate(*store_, side, HScroll1->value());
}

void Form3::HScroll1_Change() {
    Label16->setText(QString::number(HScroll1->value()));
}

void Form3::form_MouseMove(Qt::MouseButtons, Qt::KeyboardModifiers, float x, float) {
    QLocale locale;
    locale.setNumberOptions(QLocale::OmitGroupSeparator);
    Label1->setText(locale.toString(PlotGeometry::lagAt(x), 'g', 15));
    Label1->resize(Label1->width(), Label1->heightForWidth(Label1->width()));
}

void Form3::mouseMoveEvent(QMouseEvent* event) {
    const QPointF twips = event->position() * Twips::kPerPixel;
    form_MouseMove(event->buttons(), event->modifiers(), static_cast<float>(twips.x()),
                   static_cast<float>(twips.y()));
}

void Form3::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    paintDecorations(painter);
    plot_.paint(painter);
}

void Form3::paintDecorations(QPainter& painter) const {
    painter.save();
    painter.scale(1.0 / Twips::kPerPixel, 1.0 / Twips::kPerPixel);
    QPen pen(palette().color(QPalette::WindowText), 2);
    pen.setCosmetic(true);
    painter.setPen(pen);
    painter.drawLine(kLine1);
    pen.setWidth(1);
    painter.setPen(pen);
    painter.drawRect(kShape1);
    painter.restore();
}
