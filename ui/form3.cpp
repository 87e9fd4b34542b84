#include "form3.h"

#include "caption_button.h"
#include "channel_choice_box.h"
#include "correlogram_csv.h"
#include "deferred_input.h"
#include "file_replacement.h"
#include "geometry_dialog.h"
#include "operator_error_box.h"
#include "origin_text.h"
#include "plot_geometry.h"
#include "result_csv.h"
#include "result_text.h"
#include "source_dialog.h"
#include "stepping_scroll_bar.h"
#include "twips.h"
#include "window_controls.h"
#include "window_settings.h"

#include <QAction>
#include <QActionGroup>
#include <QApplication>
#include <QBuffer>
#include <QCloseEvent>
#include <QContextMenuEvent>
#include <QFile>
#include <QLabel>
#include <QLocale>
#include <QMenu>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QPolygonF>
#include <QScreen>
#include <QScrollBar>
#include <algorithm>
#include <cmath>
#include <optional>

namespace {

using namespace WindowControls;

const QColor kRed(255, 0, 0);
const QColor kGreen(0, 255, 0);
const QColor kLightGrey(192, 192, 192);

const QString kCaptures = QStringLiteral("Acquisizioni sigrok (*.sr)");

// The axis, and the frame around the delay readout, in twips.
const QLineF kLine1(PlotGeometry::kAxisX, 1320, PlotGeometry::kAxisX, 7200);
const QRectF kShape1(5640, 9360, 3015, 645);
// The far corner of everything the window has always shown, in twips, and
// the result line added under it.
constexpr int kLayoutRight = 15100;
constexpr int kLayoutBottom = 10005;
// Room for three lines: a result with its interval and the sector's note,
// and a row's notes, wrap onto them.
constexpr int kResultTop = kLayoutBottom + 60;
constexpr int kResultHeight = 3 * 255;
// Over the peak claimed as a source, above where any bar can reach.
constexpr double kPeakMarkY = PlotGeometry::kBarsTopY - 120.0;
const QColor kPeakMarkColour(160, 0, 0);
// The mark's half width and height, in pixels.
constexpr double kPeakMarkHalf = 4;
constexpr double kPeakMarkHeight = 7;

std::string decimalPoint() {
    return QLocale().decimalPoint().toStdString();
}

} // namespace

Form3::Form3(std::shared_ptr<CaptureSource> source, CaptureFiles& files)
    // A recording's lines are --follow's.
    : session_(std::move(source), files, {ResultCsv::kRowHeader, ResultCsv::row}, true),
      files_(files) {
    session_.choose(WindowSettings::choices());
    setWindowTitle(QStringLiteral(
        "Sistema sperimentale per la ricerca della correlazione tra due segnali di rumore"));
    setFont(fontOf(8.25, false));
    setBackground(this, QApplication::palette().color(QPalette::Button));
    // The plot's band is painted opaque by the plot; the rest by paintEvent.
    setAttribute(Qt::WA_OpaquePaintEvent);
    setMouseTracking(true);
    createControls();
    resize(Twips::toPixels(kLayoutRight) + 8, Twips::toPixels(kResultTop + kResultHeight) + 8);
}

// The follow controls go before the session, and let go of it as they go.
Form3::~Form3() = default;

void Form3::createControls() {
    createCaptions(this);
    createReadouts();
    createCommands();
    createSlider();
    createFileCommands();
    createAnalysisCommands();
    createFollowCommands();
    createResultLine();
    showMarks();

    setTabOrder(Command1, Command2);
    setTabOrder(Command2, Command3);
    setTabOrder(Command3, Command4);
    setTabOrder(Command4, HScroll1);
    Command1->setFocus();
}

void Form3::createReadouts() {
    // A grey box of fixed width whose height follows its text.
    Label1 = createLabel(this, {"Label1", "", 6600, 9600, 825, 300, "Ritardo sotto il puntatore"});
    Label1->setFont(fontOf(12, true));
    Label1->setWordWrap(true);
    setBackground(Label1, kLightGrey);

    Label16 =
        createLabel(this, {"Label16", "", 13080, 8760, 1335, 495, "Ritardo simulato impostato"});
    Label16->setFont(fontOf(12, true));
}

void Form3::createCommands() {
    const auto button = [this](const Control& control, void (Form3::*handler)()) {
        auto* created = new CaptionButton(QString::fromUtf8(control.text), this);
        place(created, control);
        // The window's menu opens on its surface, not on the controls.
        created->setContextMenuPolicy(Qt::PreventContextMenu);
        connect(created, &QPushButton::clicked, this, handler);
        return created;
    };
    Command1 = button({"Command1", "SCANSIONE SETTORE", 8880, 9360, 1095, 615, "Scansione settore"},
                      &Form3::Command1_Click);
    Command3 =
        button({"Command3", "Sorgente SN", 10400, 9360, 1095, 615, "Sorgente simulata a sinistra"},
               &Form3::Command3_Click);
    Command4 =
        button({"Command4", "Sorgente DX", 11920, 9360, 1095, 615, "Sorgente simulata a destra"},
               &Form3::Command4_Click);
    Command2 = button({"Command2", "   ANALISI     ", 13440, 9360, 1095, 615, "Analisi"},
                      &Form3::command2_click);
}

void Form3::createSlider() {
    HScroll1 = new SteppingScrollBar(this);
    place(HScroll1, {"HScroll1", "", 10440, 8760, 2535, 375, "Ritardo simulato"});
    HScroll1->setRange(0, kMaxLag);
    HScroll1->setSingleStep(1);
    HScroll1->setPageStep(1);
    HScroll1->setValue(kMaxLag);
    // A drag reports its value only where the thumb is let go.
    HScroll1->setTracking(false);
    HScroll1->setFocusPolicy(Qt::StrongFocus);
    // Qt's scroll-bar menu (in English) scrolls views; this slider has none.
    HScroll1->setContextMenuPolicy(Qt::PreventContextMenu);
    connect(HScroll1, &QScrollBar::valueChanged, this, &Form3::HScroll1_Change);
}

// Open, save and export: in the menu of the window's surface, the first two
// also on the keyboard. Saving waits for a capture, exports for an analysis.
void Form3::createFileCommands() {
    fileMenu_ = new QMenu(this);
    const auto command = [this](const QString& text, void (Form3::*handler)(),
                                const QKeySequence& keys = {}) {
        QAction* action = fileMenu_->addAction(text, this, handler);
        action->setShortcut(keys);
        addAction(action);
        return action;
    };
    openCapture_ = command(QStringLiteral("Apri acquisizione\u2026"), &Form3::chooseCaptureToOpen,
                           QKeySequence::Open);
    saveCapture_ = command(QStringLiteral("Salva acquisizione\u2026"), &Form3::chooseCaptureToSave,
                           QKeySequence::Save);
    fileMenu_->addSeparator();
    exportCorrelogram_ = command(QStringLiteral("Esporta correlogramma (CSV)\u2026"),
                                 &Form3::chooseCorrelogramExport);
    saveImage_ = command(QStringLiteral("Salva immagine (PNG)\u2026"), &Form3::chooseImageToSave);
}

// The analysis's own choices, in the same menu, remembered between runs.
// Whitening reads every sample, so integrating has nothing to add meanwhile.
void Form3::createAnalysisCommands() {
    fileMenu_->addSeparator();
    integrate_ = fileMenu_->addAction(QStringLiteral("Integra tutta l'acquisizione"));
    integrate_->setCheckable(true);
    integrate_->setChecked(session_.choices().integrating);
    connect(integrate_, &QAction::toggled, this, [this](bool whole) {
        session_.setIntegrating(whole);
        WindowSettings::saveIntegrating(whole);
    });
    whiten_ = fileMenu_->addAction(QStringLiteral("Correlazione sbiancata"));
    whiten_->setCheckable(true);
    whiten_->setChecked(session_.choices().whitening);
    integrate_->setEnabled(!session_.choices().whitening);
    connect(whiten_, &QAction::toggled, this, [this](bool whitened) {
        session_.setWhitening(whitened);
        WindowSettings::saveWhitening(whitened);
        integrate_->setEnabled(!whitened);
    });
    fileMenu_->addAction(QStringLiteral("Geometria\u2026"), this, &Form3::chooseGeometry);
}

void Form3::createResultLine() {
    result_ = createLabel(
        this, {"Risultato", "", 360, kResultTop, 14340, kResultHeight, "Risultato dell'analisi"});
    result_->setAutoFillBackground(false);
    result_->setWordWrap(true);
    result_->setAlignment(Qt::AlignLeft | Qt::AlignTop);
}

// The menu entry remembers the choice.
void Form3::setIntegrating(bool whole) {
    integrate_->setChecked(whole);
}

void Form3::setWhitening(bool whitened) {
    whiten_->setChecked(whitened);
}

void Form3::setGeometry(const Bearing::Geometry& geometry) {
    session_.setGeometry(geometry);
    WindowSettings::saveGeometry(geometry);
    if (instrument().analysed()) {
        showResult();
    }
}

void Form3::chooseGeometry() {
    if (const auto geometry = GeometryDialog::ask(this, session_.choices().geometry,
                                                  instrument().marks().sampleRate)) {
        setGeometry(*geometry);
    }
}

void Form3::offerSources(CaptureSources& sources, const CaptureOptions::Source& current) {
    session_.offer(sources, current);
    // A simulator remembered, or chosen, moves from the slider's delay; one
    // given its lags on the command line keeps them until the slider moves.
    const auto* simulation = std::get_if<CaptureOptions::Simulation>(&current);
    if (simulation && simulation->lag == 0 && simulation->lagEnd == 0) {
        session_.setSimulatedLag(HScroll1->value());
    }
    QAction* action = fileMenu_->addAction(QStringLiteral("Sorgente di acquisizione\u2026"), this,
                                           &Form3::chooseSource);
    action->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_D));
    addAction(action);
    result_->setToolTip(QString::fromStdString(sourceText(session_.source())));
    follow_->enable();
}

void Form3::chooseSource() {
    SourceDialog dialog(*session_.sources(), session_.source(), this);
    if (dialog.exec() == QDialog::Accepted) {
        useSource(dialog.choice());
    }
}

void Form3::useSource(const CaptureOptions::Source& choice) {
    try {
        session_.useSource(choice);
        session_.setSimulatedLag(HScroll1->value());
    } catch (const OperatorError& error) {
        showOperatorError(this, QStringLiteral("Sorgente non valida"), error);
        return;
    }
    WindowSettings::saveSourceChoice(choice);
    result_->setToolTip(QString::fromStdString(sourceText(choice)));
}

void Form3::showResult() {
    showResult(session_.assess(), originNotes(instrument().marks().origin));
}

void Form3::showResult(const Bearing::Result& result, const std::string& note) {
    result_->setText(QString::fromStdString(resultText(result, decimalPoint()) +
                                            (note.empty() ? "" : " " + note)));
    std::optional<QPointF> mark;
    if (result.verdict == Bearing::Verdict::Source) {
        const int lag = static_cast<int>(std::lround(result.lag));
        mark = QPointF(PlotGeometry::barX(lag < 0 ? Side::Left : Side::Right, std::abs(lag)),
                       kPeakMarkY);
    }
    movePeakMark(mark);
}

// Only where the mark was and where it goes are painted again.
void Form3::movePeakMark(const std::optional<QPointF>& mark) {
    for (const auto& place : {peakMark_, mark}) {
        if (place) {
            const QPointF tip = *place / Twips::kPerPixel;
            update(QRectF(tip + QPointF(-kPeakMarkHalf, -kPeakMarkHeight),
                          QSizeF(2 * kPeakMarkHalf, kPeakMarkHeight))
                       .toAlignedRect()
                       .adjusted(-1, -1, 1, 1));
        }
    }
    peakMark_ = mark;
}

// The bars then belong to data no longer held.
void Form3::clearResult() {
    result_->clear();
    movePeakMark(std::nullopt);
}

void Form3::Command1_Click() {
    scanFrom({}, QStringLiteral("Scansione non riuscita"));
}

// The window's thread waits for the capture, with the busy pointer, and
// keeps the window painted meanwhile; clicks and keys wait until the scan is
// over, and its message if it failed. Without a source, from the one in use.
void Form3::scanFrom(const std::shared_ptr<CaptureSource>& source, const QString& failureTitle) {
    DeferredInput input(*this);
    QApplication::setOverrideCursor(Qt::WaitCursor);
    std::optional<OperatorError> failure;
    scanning_ = true;
    // input holds the clicks and keys; the window system's other events, a
    // close among them, come through.
    const auto idle = [this] {
        showMarks();
        QApplication::processEvents();
    };
    try {
        source ? session_.scanFrom(source, idle) : session_.scan(idle);
    } catch (const OperatorError& error) {
        failure = error;
    }
    QApplication::restoreOverrideCursor();
    // A refused scan leaves the channels as they were, and so the colours
    // that record them; only one that took its samples turns analysis green.
    showMarks();
    if (!failure) {
        clearResult();
    }
    input.collect();
    scanning_ = false;
    if (closeAsked_) {
        close();
        return;
    }
    std::optional<CaptureOptions::Channels> channels;
    if (failure && ChannelChoiceBox::offers(*failure)) {
        channels = ChannelChoiceBox::ask(this, failureTitle, *failure);
    } else if (failure) {
        showOperatorError(this, failureTitle, *failure);
    }
    input.deliver();
    if (channels) {
        scanFrom(files_.openWith(failure->subject(), *channels), failureTitle);
    }
}

void Form3::command2_click() {
    session_.analyse(
        [this](Side sector, int lag, double value) { plot_.drawBar(sector, lag, value); },
        [this] {
            showMarks();
            plot_.clear();
            movePeakMark(std::nullopt);
        });
    showMarks();
    showResult();
}

void Form3::Command3_Click() {
    simulate(Side::Left);
}

void Form3::Command4_Click() {
    simulate(Side::Right);
}

void Form3::simulate(Side side) {
    session_.instrument().simulate(side, HScroll1->value());
    showMarks();
    clearResult();
}

void Form3::showMarks() {
    const Instrument::Marks& marks = instrument().marks();
    Command3->setMark(marks.simulatedSource == Side::Left ? kRed : QColor());
    Command4->setMark(marks.simulatedSource == Side::Right ? kRed : QColor());
    Command2->setMark(marks.scanNotAnalysed ? kGreen : QColor());
    Label1->setToolTip(
        QStringLiteral("Un'unit\u00E0 di ritardo dura %1 (campioni a %2)")
            .arg(QString::fromStdString(
                     PlotGeometry::lagDurationText(marks.sampleRate, decimalPoint())),
                 QString::fromStdString(CaptureOptions::formatSampleRate(marks.sampleRate))));
    saveCapture_->setEnabled(marks.holdsCapture);
    exportCorrelogram_->setEnabled(instrument().analysed());
    saveImage_->setEnabled(instrument().analysed());
}

void Form3::HScroll1_Change() {
    Label16->setText(QString::number(HScroll1->value()));
    session_.setSimulatedLag(HScroll1->value());
}

void Form3::form_MouseMove(Qt::MouseButtons, Qt::KeyboardModifiers, float x, float) {
    Label1->setText(
        QString::fromStdString(PlotGeometry::lagText(PlotGeometry::lagAt(x), decimalPoint())));
    Label1->resize(Label1->width(), Label1->heightForWidth(Label1->width()));
}

void Form3::mouseMoveEvent(QMouseEvent* event) {
    const QPointF twips = event->position() * Twips::kPerPixel;
    form_MouseMove(event->buttons(), event->modifiers(), static_cast<float>(twips.x()),
                   static_cast<float>(twips.y()));
}

void Form3::contextMenuEvent(QContextMenuEvent* event) {
    fileMenu_->exec(event->globalPos());
}

// The scan's worker has a deadline, so a close asked for meanwhile waits
// only that long.
void Form3::closeEvent(QCloseEvent* event) {
    closeAsked_ = scanning_;
    event->setAccepted(!scanning_);
}

void Form3::chooseCaptureToOpen() {
    const QString path = chooser_.toOpen(this, QStringLiteral("Apri acquisizione"), kCaptures);
    if (!path.isEmpty()) {
        openCapture(path);
    }
}

void Form3::chooseCaptureToSave() {
    const QString path = chooser_.toSave(this, QStringLiteral("Salva acquisizione"), kCaptures,
                                         QStringLiteral("sr"));
    if (!path.isEmpty()) {
        saveCapture(path);
    }
}

void Form3::chooseCorrelogramExport() {
    const QString path = chooser_.toSave(this, QStringLiteral("Esporta correlogramma"),
                                         FileChooser::kCsv, QStringLiteral("csv"));
    if (!path.isEmpty()) {
        exportCorrelogram(path);
    }
}

void Form3::chooseImageToSave() {
    const QString path =
        chooser_.toSave(this, QStringLiteral("Salva immagine"),
                        QStringLiteral("Immagini PNG (*.png)"), QStringLiteral("png"));
    if (!path.isEmpty()) {
        saveImage(path);
    }
}

void Form3::openCapture(const std::string& path) {
    scanFrom(files_.open(path), QStringLiteral("Apertura non riuscita"));
}

void Form3::openCapture(const QString& path) {
    openCapture(QFile::encodeName(path).toStdString());
}

void Form3::saveCapture(const QString& path) {
    try {
        instrument().save(files_, QFile::encodeName(path).toStdString());
    } catch (const OperatorError& error) {
        showOperatorError(this, QStringLiteral("Salvataggio non riuscito"), error);
    }
}

void Form3::exportCorrelogram(const QString& path) {
    const auto [left, right] = session_.instrument().correlograms();
    writeFile(path, QByteArray::fromStdString(correlogramCsv(left, right)));
}

void Form3::saveImage(const QString& path) {
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    grab().save(&buffer, "PNG");
    writeFile(path, png);
}

void Form3::writeFile(const QString& path, const QByteArray& contents) {
    try {
        FileReplacement::write(
            QFile::encodeName(path).toStdString(),
            std::string_view(contents.constData(), static_cast<std::size_t>(contents.size())));
    } catch (const OperatorError& error) {
        showOperatorError(this, QStringLiteral("Salvataggio non riuscito"), error);
    }
}

void Form3::setRowPeriod(std::chrono::milliseconds period) {
    follow_->setRowPeriod(period);
}

void Form3::setFollowing(bool on) {
    follow_->setFollowing(on);
}

void Form3::recordRows(const QString& path) {
    follow_->record(path);
}

const BearingTimePlot* Form3::bearingTime() const {
    return follow_->bearingTime();
}

void Form3::showRows() {
    follow_->showRows();
}

// Continuous scanning's entries, after the analysis's in the same menu.
void Form3::createFollowCommands() {
    follow_ = std::make_unique<FollowControls>(
        *this, *fileMenu_, session_, chooser_,
        FollowControls::Window{
            [this](bool enabled) { enableCommands(enabled); },
            [this](Follower::Row row, const std::string& note) { showRow(std::move(row), note); },
            [this](const std::string& note) {
                result_->setText(result_->text() + ' ' + QString::fromStdString(note));
            },
            [this](QPointF pixels) {
                const QPointF twips = pixels * Twips::kPerPixel;
                form_MouseMove(Qt::NoButton, Qt::NoModifier, static_cast<float>(twips.x()),
                               static_cast<float>(twips.y()));
            }});
}

// The commands wait while continuous scanning runs.
void Form3::enableCommands(bool enabled) {
    for (QWidget* command :
         std::initializer_list<QWidget*>{Command1, Command2, Command3, Command4, HScroll1}) {
        command->setEnabled(enabled);
    }
    openCapture_->setEnabled(enabled);
    showMarks();
}

// A row of continuous scanning, as an analysis of its samples would show it.
void Form3::showRow(Follower::Row row, const std::string& note) {
    plot_.clear();
    for (int d = 0; d <= kMaxLag; ++d) {
        plot_.drawBar(Side::Left, d, row.axis[static_cast<std::size_t>(kMaxLag - d)]);
        plot_.drawBar(Side::Right, d, row.axis[static_cast<std::size_t>(kMaxLag + d)]);
    }
    showResult(row.result, note);
    session_.show(std::move(row));
    showMarks();
}

void Form3::paintEvent(QPaintEvent* event) {
    QPainter painter(this);
    for (const QRect& rect : event->region() - plot_.band()) {
        painter.fillRect(rect, palette().color(backgroundRole()));
    }
    plot_.paint(painter);
    paintDecorations(painter);
    paintPeakMark(painter);
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

// A small triangle pointing down at the peak's bar, not blue and clear of
// every bar.
void Form3::paintPeakMark(QPainter& painter) const {
    if (!peakMark_) {
        return;
    }
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(kPeakMarkColour);
    const QPointF tip = *peakMark_ / Twips::kPerPixel;
    painter.drawPolygon(QPolygonF{tip, tip + QPointF(-kPeakMarkHalf, -kPeakMarkHeight),
                                  tip + QPointF(kPeakMarkHalf, -kPeakMarkHeight)});
    painter.restore();
}
