#include "form3.h"

#include "caption_button.h"
#include "channel_choice_box.h"
#include "correlogram_csv.h"
#include "deferred_input.h"
#include "file_replacement.h"
#include "operator_error.h"
#include "operator_message.h"
#include "origin_text.h"
#include "plot_geometry.h"
#include "result_text.h"
#include "source_dialog.h"
#include "stepping_scroll_bar.h"
#include "twips.h"
#include "window_settings.h"

#include <QAction>
#include <QActionGroup>
#include <QApplication>
#include <QBuffer>
#include <QCloseEvent>
#include <QContextMenuEvent>
#include <QDialog>
#include <QDialogButtonBox>
#include <QDoubleSpinBox>
#include <QFile>
#include <QFileDialog>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLocale>
#include <QMenu>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPainter>
#include <QPolygonF>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <algorithm>
#include <cmath>
#include <optional>

namespace {

const QColor kRed(255, 0, 0);
const QColor kGreen(0, 255, 0);
const QColor kBlue(0, 0, 255);
const QColor kLightGrey(192, 192, 192);

const QString kFontFamily = QStringLiteral("MS Sans Serif");
const QString kCaptures = QStringLiteral("Acquisizioni sigrok (*.sr)");

// The axis, and the frame around the delay readout, in twips.
const QLineF kLine1(PlotGeometry::kAxisX, 1320, PlotGeometry::kAxisX, 7200);
const QRectF kShape1(5640, 9360, 3015, 645);
// The far corner of everything the window has always shown, in twips, and
// the result line added under it.
constexpr int kLayoutRight = 15100;
constexpr int kLayoutBottom = 10005;
constexpr int kResultTop = kLayoutBottom + 60;
constexpr int kResultHeight = 255;
// Over the peak claimed as a source, above where any bar can reach.
constexpr double kPeakMarkY = PlotGeometry::kBarsTopY - 120.0;
const QColor kPeakMarkColour(160, 0, 0);

QFont fontOf(double points, bool bold) {
    QFont font(kFontFamily);
    font.setPointSizeF(points);
    font.setWeight(bold ? QFont::Bold : QFont::Normal);
    return font;
}

QColor buttonFace() {
    return QApplication::palette().color(QPalette::Button);
}

// The window's and the labels' background is their Window colour, a push
// button's its Button colour.
void setBackground(QWidget* widget, const QColor& colour) {
    QPalette palette = widget->palette();
    palette.setColor(widget->backgroundRole(), colour);
    widget->setPalette(palette);
}

// A control's place in twips, its caption, and the name a screen reader says.
struct Control {
    const char* name;
    const char* text; // UTF-8
    int left, top, width, height;
    const char* accessibleName;
};

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

} // namespace

Form3::Form3(std::shared_ptr<CaptureSource> source, CaptureFiles& files)
    : source_(std::move(source)), files_(files),
      // A frame of the window's shows every row that waits.
      rows_([this] { QMetaObject::invokeMethod(this, &Form3::showRows, Qt::QueuedConnection); }),
      rowPeriod_(WindowSettings::rowPeriod()) {
    // Where the instrument's font is missing, a sans-serif of like metrics.
    QFont::insertSubstitution(kFontFamily, QStringLiteral("Liberation Sans"));
    setWindowTitle(QStringLiteral(
        "Sistema sperimentale per la ricerca della correlazione tra due segnali di rumore"));
    setFont(fontOf(8.25, false));
    setBackground(this, buttonFace());
    setAutoFillBackground(true);
    setMouseTracking(true);
    createControls();
    resize(Twips::toPixels(kLayoutRight) + 8, Twips::toPixels(kResultTop + kResultHeight) + 8);
}

// The stream's threads hand rows to the queue until the follower lets go.
Form3::~Form3() {
    follower_.reset();
}

void Form3::createControls() {
    createBanner();
    for (const Caption& caption : kCaptions) {
        QLabel* label = createLabel(this, caption.control);
        if (caption.points > 0) {
            label->setFont(fontOf(caption.points, caption.bold));
        }
        if (caption.textSized) {
            label->adjustSize();
        }
    }
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

// Blue, in the colour of highlighted text, sunken, as large as its text.
void Form3::createBanner() {
    QLabel* banner =
        createLabel(this, {"Label24", " CORRELATORE  PANORAMICO  SETTORIALE  2 X 120  PUNTI ", 360,
                           0, 14340, 615, "Titolo"});
    banner->setFont(fontOf(24, false));
    banner->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    banner->setLineWidth(2);
    QPalette colours = banner->palette();
    colours.setColor(QPalette::Window, kBlue);
    colours.setColor(QPalette::WindowText, palette().color(QPalette::HighlightedText));
    banner->setPalette(colours);
    banner->adjustSize();
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
void Form3::createAnalysisCommands() {
    fileMenu_->addSeparator();
    integrate_ = fileMenu_->addAction(QStringLiteral("Integra tutta l'acquisizione"));
    integrate_->setCheckable(true);
    integrate_->setChecked(WindowSettings::integrating());
    connect(integrate_, &QAction::toggled, this, &WindowSettings::saveIntegrating);
    fileMenu_->addAction(QStringLiteral("Geometria\u2026"), this, &Form3::chooseGeometry);
    geometry_ = WindowSettings::geometry();
}

// Continuous scanning's entries: on and off, the row period, recording.
void Form3::createFollowCommands() {
    fileMenu_->addSeparator();
    follow_ = fileMenu_->addAction(QStringLiteral("Scansione continua"));
    follow_->setCheckable(true);
    follow_->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_R));
    follow_->setEnabled(false);
    addAction(follow_);
    connect(follow_, &QAction::toggled, this, &Form3::setFollowing);
    auto* stop = new QAction(this);
    stop->setShortcut(Qt::Key_Escape);
    connect(stop, &QAction::triggered, this, [this] { setFollowing(false); });
    addAction(stop);

    QMenu* periods = fileMenu_->addMenu(QStringLiteral("Periodo delle righe"));
    periods_ = new QActionGroup(periods);
    for (const int millis : {50, 100, 200, 500, 1000, 2000}) {
        const std::chrono::milliseconds period(millis);
        const QString text = QLocale().toString(millis / 1000.0, 'g', 3) + QStringLiteral(" s");
        QAction* choice = periods->addAction(text);
        choice->setCheckable(true);
        choice->setData(millis);
        periods_->addAction(choice);
        connect(choice, &QAction::triggered, this, [this, period] {
            setRowPeriod(period);
            WindowSettings::saveRowPeriod(period);
        });
    }
    setRowPeriod(rowPeriod_);
    record_ = fileMenu_->addAction(QStringLiteral("Registra\u2026"));
    record_->setCheckable(true);
    record_->setEnabled(false);
    connect(record_, &QAction::triggered, this, &Form3::chooseRecording);
}

void Form3::createResultLine() {
    result_ = createLabel(
        this, {"Risultato", "", 360, kResultTop, 14340, kResultHeight, "Risultato dell'analisi"});
    result_->setAutoFillBackground(false);
}

// The menu entry remembers the choice.
void Form3::setIntegrating(bool whole) {
    integrate_->setChecked(whole);
}

void Form3::setGeometry(const Bearing::Geometry& geometry) {
    geometry_ = geometry;
    WindowSettings::saveGeometry(geometry);
    if (instrument_.analysed()) {
        showResult();
    }
}

void Form3::chooseGeometry() {
    QDialog dialog(this);
    dialog.setWindowTitle(QStringLiteral("Geometria dei ricevitori"));
    auto* baseline = new QDoubleSpinBox(&dialog);
    baseline->setRange(0.001, 10'000.0);
    baseline->setDecimals(3);
    baseline->setSuffix(QStringLiteral(" m"));
    baseline->setValue(geometry_ ? geometry_->baseline : 1.0);
    auto* speed = new QDoubleSpinBox(&dialog);
    speed->setRange(1.0, 100'000.0);
    speed->setDecimals(1);
    speed->setSuffix(QStringLiteral(" m/s"));
    speed->setValue(geometry_ ? geometry_->speed : Bearing::kSpeedOfSoundInAir);
    auto* air = new QPushButton(QStringLiteral("Aria a 20 \u00B0C"), &dialog);
    auto* water = new QPushButton(QStringLiteral("Acqua"), &dialog);
    connect(air, &QPushButton::clicked, speed,
            [speed] { speed->setValue(Bearing::kSpeedOfSoundInAir); });
    connect(water, &QPushButton::clicked, speed,
            [speed] { speed->setValue(Bearing::kSpeedOfSoundInWater); });
    auto* presets = new QHBoxLayout;
    presets->addWidget(air);
    presets->addWidget(water);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &dialog);
    connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    auto* form = new QFormLayout(&dialog);
    form->addRow(QStringLiteral("Distanza tra i ricevitori:"), baseline);
    form->addRow(QStringLiteral("Velocit\u00E0 di propagazione:"), speed);
    form->addRow(presets);
    form->addRow(buttons);
    if (dialog.exec() == QDialog::Accepted) {
        setGeometry({baseline->value(), speed->value()});
    }
}

void Form3::offerSources(CaptureSources& sources,
                         const std::optional<CaptureOptions::Analyser>& current) {
    sources_ = &sources;
    analyser_ = current;
    QAction* action = fileMenu_->addAction(QStringLiteral("Sorgente di acquisizione\u2026"), this,
                                           &Form3::chooseSource);
    action->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_D));
    addAction(action);
    result_->setToolTip(QString::fromStdString(sourceText(analyser_)));
    follow_->setEnabled(true);
}

void Form3::chooseSource() {
    SourceDialog dialog(
        *sources_, analyser_ ? CaptureOptions::Source(*analyser_) : CaptureOptions::Port{}, this);
    if (dialog.exec() == QDialog::Accepted) {
        const CaptureOptions::Source choice = dialog.choice();
        const auto* analyser = std::get_if<CaptureOptions::Analyser>(&choice);
        useSource(analyser ? std::optional(*analyser) : std::nullopt);
    }
}

void Form3::useSource(const std::optional<CaptureOptions::Analyser>& choice) {
    try {
        source_ = choice ? sources_->analyser(*choice) : sources_->port();
    } catch (const OperatorError& error) {
        QMessageBox::warning(this, QStringLiteral("Sorgente non valida"),
                             QString::fromStdString(operatorMessage(error)));
        return;
    }
    analyser_ = choice;
    WindowSettings::saveSourceChoice(choice ? CaptureOptions::Source(*choice)
                                            : CaptureOptions::Port{});
    result_->setToolTip(QString::fromStdString(sourceText(analyser_)));
}

void Form3::showResult() {
    showResult(instrument_.assess(geometry_), channelsNote(instrument_.marks().origin));
}

void Form3::showResult(const Bearing::Result& result, const std::string& note) {
    const std::string point = QLocale().decimalPoint().toStdString();
    result_->setText(
        QString::fromStdString(resultText(result, point) + (note.empty() ? "" : " " + note)));
    peakMark_.reset();
    if (result.verdict == Bearing::Verdict::Source) {
        const int lag = static_cast<int>(std::lround(result.lag));
        peakMark_ = QPointF(PlotGeometry::barX(lag < 0 ? Side::Left : Side::Right, std::abs(lag)),
                            kPeakMarkY);
    }
    update();
}

// The bars then belong to data no longer held.
void Form3::clearResult() {
    result_->clear();
    peakMark_.reset();
    update();
}

void Form3::Command1_Click() {
    scanFrom(source_, QStringLiteral("Scansione non riuscita"));
}

// The window's thread waits for the capture, with the busy pointer, and
// keeps the window painted meanwhile; clicks and keys wait until the scan is
// over, and its message if it failed.
void Form3::scanFrom(const std::shared_ptr<CaptureSource>& source, const QString& failureTitle) {
    DeferredInput input(*this);
    QApplication::setOverrideCursor(Qt::WaitCursor);
    std::optional<OperatorError> failure;
    scanning_ = true;
    try {
        // input holds the clicks and keys; the window system's other events,
        // a close among them, come through.
        instrument_.scan(source, [this] {
            showMarks();
            QApplication::processEvents();
        });
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
        QMessageBox::warning(this, failureTitle, QString::fromStdString(operatorMessage(*failure)));
    }
    input.deliver();
    if (channels) {
        scanFrom(files_.openWith(failure->subject(), *channels), failureTitle);
    }
}

void Form3::command2_click() {
    const auto started = [this] {
        showMarks();
        plot_.clear();
        clearResult();
    };
    if (integrate_->isChecked()) {
        // The means are ready at once: the bars are drawn together.
        instrument_.integrate();
        started();
        for (const Side sector : {Side::Left, Side::Right}) {
            const auto& values =
                sector == Side::Left ? store().correlationLeft : store().correlationRight;
            for (int lag = 0; lag <= kMaxLag; ++lag) {
                plot_.drawBar(sector, lag, values[static_cast<std::size_t>(lag)]);
            }
        }
    } else {
        instrument_.analyse(
            [this](Side sector, int lag, double value) { plot_.drawBar(sector, lag, value); },
            started);
    }
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
    instrument_.simulate(side, HScroll1->value());
    showMarks();
    clearResult();
}

void Form3::showMarks() {
    const Instrument::Marks& marks = instrument_.marks();
    Command3->setMark(marks.simulatedSource == Side::Left ? kRed : QColor());
    Command4->setMark(marks.simulatedSource == Side::Right ? kRed : QColor());
    Command2->setMark(marks.scanNotAnalysed ? kGreen : QColor());
    const std::string point = QLocale().decimalPoint().toStdString();
    Label1->setToolTip(
        QStringLiteral("Un'unit\u00E0 di ritardo dura %1 (campioni a %2)")
            .arg(QString::fromStdString(PlotGeometry::lagDurationText(marks.sampleRate, point)),
                 QString::fromStdString(CaptureOptions::formatSampleRate(marks.sampleRate))));
    saveCapture_->setEnabled(marks.holdsCapture);
    exportCorrelogram_->setEnabled(instrument_.analysed());
    saveImage_->setEnabled(instrument_.analysed());
}

void Form3::HScroll1_Change() {
    Label16->setText(QString::number(HScroll1->value()));
}

void Form3::form_MouseMove(Qt::MouseButtons, Qt::KeyboardModifiers, float x, float) {
    const std::string point = QLocale().decimalPoint().toStdString();
    Label1->setText(QString::fromStdString(PlotGeometry::lagText(PlotGeometry::lagAt(x), point)));
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

// Qt's own dialog, which Qt's Italian texts reach on every desktop.
QString Form3::chooseFile(bool saving, const QString& title, const QString& filter,
                          const QString& suffix, bool appending) {
    QFileDialog dialog(this, title, folder_, filter);
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setOption(QFileDialog::DontConfirmOverwrite, appending);
    if (saving) {
        // Asks before it overwrites a file.
        dialog.setAcceptMode(QFileDialog::AcceptSave);
        dialog.setDefaultSuffix(suffix);
    } else {
        dialog.setFileMode(QFileDialog::ExistingFile);
    }
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) {
        return {};
    }
    folder_ = dialog.directory().absolutePath();
    return dialog.selectedFiles().front();
}

void Form3::chooseCaptureToOpen() {
    const QString path = chooseFile(false, QStringLiteral("Apri acquisizione"), kCaptures, {});
    if (!path.isEmpty()) {
        openCapture(path);
    }
}

void Form3::chooseCaptureToSave() {
    const QString path =
        chooseFile(true, QStringLiteral("Salva acquisizione"), kCaptures, QStringLiteral("sr"));
    if (!path.isEmpty()) {
        saveCapture(path);
    }
}

void Form3::chooseCorrelogramExport() {
    const QString path =
        chooseFile(true, QStringLiteral("Esporta correlogramma"),
                   QStringLiteral("Valori separati da virgole (*.csv)"), QStringLiteral("csv"));
    if (!path.isEmpty()) {
        exportCorrelogram(path);
    }
}

void Form3::chooseImageToSave() {
    const QString path = chooseFile(true, QStringLiteral("Salva immagine"),
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
        instrument_.save(files_, QFile::encodeName(path).toStdString());
    } catch (const OperatorError& error) {
        QMessageBox::warning(this, QStringLiteral("Salvataggio non riuscito"),
                             QString::fromStdString(operatorMessage(error)));
    }
}

void Form3::exportCorrelogram(const QString& path) {
    writeFile(path, QByteArray::fromStdString(correlogramCsv(store())));
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
        QMessageBox::warning(this, QStringLiteral("Salvataggio non riuscito"),
                             QString::fromStdString(operatorMessage(error)));
    }
}

void Form3::setRowPeriod(std::chrono::milliseconds period) {
    rowPeriod_ = period;
    for (QAction* choice : periods_->actions()) {
        choice->setChecked(choice->data().toInt() == period.count());
    }
}

void Form3::setFollowing(bool on) {
    if (on && !following_) {
        startFollowing();
    } else if (!on && following_) {
        stopFollowing();
    }
    const QSignalBlocker quiet(follow_);
    follow_->setChecked(following_);
}

// The stream of the source chosen, and the rows it gives, until stopped.
void Form3::startFollowing() {
    if (sources_ == nullptr) {
        return;
    }
    if (follower_ && !follower_->waitForEnd(CaptureWorker::kGrace)) {
        return; // the last stream still holds its device
    }
    follower_.reset();
    std::shared_ptr<SampleStream> stream;
    try {
        stream = sources_->stream(analyser_);
    } catch (const OperatorError& error) {
        QMessageBox::warning(this, QStringLiteral("Scansione continua non riuscita"),
                             QString::fromStdString(operatorMessage(error)));
        return;
    }
    followRate_ = stream->streamRate();
    followOrigin_ = analyser_
                        ? CaptureOrigin(DeviceOrigin{analyser_->device.text, analyser_->channels})
                        : CaptureOrigin(PortOrigin{});
    rows_.take();
    follower_ = std::make_unique<Follower>(
        stream, rowPeriod_, geometry_,
        Follower::Handlers{[this](Follower::Row row) { rows_.push(std::move(row)); },
                           [this](const std::optional<OperatorError>& fault) {
                               QMetaObject::invokeMethod(
                                   this, [this, fault] { followEnded(fault); },
                                   Qt::QueuedConnection);
                           }});
    following_ = true;
    enableCommands(false);
    showBearingTime();
    bearingTime_->setPeriod(follower_->period());
    record_->setEnabled(true);
}

// The window is the operator's again at once; the stream ends on its own
// threads, and its device is let go shortly after.
void Form3::stopFollowing() {
    following_ = false;
    follower_->stop();
    rows_.stopRecording();
    record_->setChecked(false);
    record_->setEnabled(false);
    enableCommands(true);
    showMarks();
}

void Form3::followEnded(const std::optional<OperatorError>& fault) {
    if (following_) {
        stopFollowing();
        const QSignalBlocker quiet(follow_);
        follow_->setChecked(false);
    }
    if (fault) {
        QMessageBox::warning(this, QStringLiteral("Scansione continua interrotta"),
                             QString::fromStdString(operatorMessage(*fault)));
    }
}

void Form3::enableCommands(bool enabled) {
    for (QWidget* command :
         std::initializer_list<QWidget*>{Command1, Command2, Command3, Command4, HScroll1}) {
        command->setEnabled(enabled);
    }
    openCapture_->setEnabled(enabled);
}

// Below the window's layout, once the mode has run, as tall as the screen
// allows up to a pixel a row.
void Form3::showBearingTime() {
    if (bearingTime_ != nullptr) {
        return;
    }
    const auto columnEdge = [](Side side) {
        const double half =
            (PlotGeometry::barX(Side::Right, 1) - PlotGeometry::barX(Side::Right, 0)) / 2.0;
        return (PlotGeometry::barX(side, kMaxLag) + (side == Side::Left ? -half : half)) /
               Twips::kPerPixel;
    };
    bearingTime_ = new BearingTimePlot(this, columnEdge(Side::Left), columnEdge(Side::Right));
    bearingTime_->pointerMoved = [this](QPointF pixels) {
        const QPointF twips = pixels * Twips::kPerPixel;
        form_MouseMove(Qt::NoButton, Qt::NoModifier, static_cast<float>(twips.x()),
                       static_cast<float>(twips.y()));
    };
    const int top = height();
    const QRect screenArea = screen()->availableGeometry();
    const int frame = frameGeometry().height() - geometry().height();
    const int room = screenArea.height() - frame - top - 8;
    const int panel = std::clamp(room, 60, BearingTimePlot::kRows);
    bearingTime_->setGeometry(0, top, width(), panel);
    bearingTime_->show();
    resize(width(), top + panel + 8);
}

void Form3::showRows() {
    std::vector<RowQueue::Shown> rows = rows_.take();
    if (rows.empty() || !following_) {
        return;
    }
    for (const RowQueue::Shown& shown : rows) {
        bearingTime_->addLine(shown.line);
    }
    Follower::Row& last = rows.back().row;
    plot_.clear();
    for (int d = 0; d <= kMaxLag; ++d) {
        plot_.drawBar(Side::Left, d, last.axis[static_cast<std::size_t>(kMaxLag - d)]);
        plot_.drawBar(Side::Right, d, last.axis[static_cast<std::size_t>(kMaxLag + d)]);
    }
    std::string note = lostWindowsText(last.lost);
    if (follower_->periodRaised()) {
        note += (note.empty() ? "" : " ") + raisedPeriodText(follower_->period());
    }
    showResult(last.result, note);
    instrument_.follow(std::move(last), followRate_, followOrigin_);
    showMarks();
    if (const auto failure = rows_.recordingFailure()) {
        record_->setChecked(false);
        QMessageBox::warning(this, QStringLiteral("Registrazione interrotta"),
                             QString::fromStdString(operatorMessage(*failure)));
    }
}

void Form3::chooseRecording(bool on) {
    rows_.stopRecording();
    if (!on) {
        return;
    }
    const QString path = chooseFile(true, QStringLiteral("Registra le righe"),
                                    QStringLiteral("Valori separati da virgole (*.csv)"),
                                    QStringLiteral("csv"), true);
    if (path.isEmpty()) {
        record_->setChecked(false);
        return;
    }
    recordRows(path);
}

void Form3::recordRows(const QString& path) {
    try {
        rows_.record(QFile::encodeName(path).toStdString());
        record_->setChecked(true);
    } catch (const OperatorError& error) {
        record_->setChecked(false);
        QMessageBox::warning(this, QStringLiteral("Registrazione non riuscita"),
                             QString::fromStdString(operatorMessage(error)));
    }
}

void Form3::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    paintDecorations(painter);
    plot_.paint(painter);
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
    painter.drawPolygon(QPolygonF{tip, tip + QPointF(-4, -7), tip + QPointF(4, -7)});
    painter.restore();
}
