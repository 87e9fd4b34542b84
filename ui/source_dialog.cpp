#include "source_dialog.h"

#include "instrument_constants.h"
#include "operator_error.h"
#include "operator_message.h"
#include "result_text.h"

#include <QApplication>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>

namespace {

QString text(const std::string& value) {
    return QString::fromStdString(value);
}

QString rateText(std::uint64_t rate) {
    return text(CaptureOptions::formatSampleRate(rate));
}

// Each name as an entry, with selected chosen where it is one of them.
void fill(QComboBox* box, const std::vector<std::string>& names, const std::string& selected) {
    box->clear();
    for (const std::string& name : names) {
        box->addItem(text(name));
    }
    box->setCurrentText(text(selected));
}

} // namespace

SourceDialog::SourceDialog(CaptureSources& sources, const CaptureOptions::Source& current,
                           QWidget* parent)
    : QDialog(parent), sources_(sources) {
    setWindowTitle(QStringLiteral("Sorgente di acquisizione"));
    createControls();
    if (const auto* analyser = std::get_if<CaptureOptions::Analyser>(&current)) {
        showAnalyser(*analyser);
    } else if (const auto* simulation = std::get_if<CaptureOptions::Simulation>(&current)) {
        showSimulation(*simulation);
    } else {
        port_->setChecked(true);
    }
    check();
}

void SourceDialog::showAnalyser(const CaptureOptions::Analyser& current) {
    analyser_->setChecked(true);
    const auto& request = current.device;
    driver_->setCurrentText(text(request.driver));
    for (const auto& [key, value] : request.scanOptions) {
        if (key == "conn") {
            connection_->setText(text(value));
        }
    }
    // Until a search, the current choice stands for its device.
    FoundAnalyser chosen{request.text, {}, {}, "scelta attuale", {}, {}};
    chosen.logicChannels = {current.channels.right, current.channels.left};
    showAnalysers({chosen});
    rate_->setCurrentText(rateText(current.sampleRate));
}

// A sweep or rate the dialog does not offer shows the nearest it does.
void SourceDialog::showSimulation(const CaptureOptions::Simulation& current) {
    simulator_->setChecked(true);
    sweep_->setValue(static_cast<int>(
        std::lround(std::clamp(current.seconds, double{kShortestSweep}, double{kLongestSweep}))));
    simulatorRate_->setCurrentText(rateText(current.rate));
}

void SourceDialog::createControls() {
    port_ = new QRadioButton(QStringLiteral("Porta parallela (%1, %2)")
                                 .arg(QString::fromLatin1(kPortDevice), rateText(kPortRate)),
                             this);
    analyser_ = new QRadioButton(QStringLiteral("Analizzatore logico"), this);
    simulator_ = new QRadioButton(QStringLiteral("Simulatore"), this);
    simulator_->setObjectName(QStringLiteral("simulator"));
    QWidget* analyserFields = createAnalyserFields();
    QWidget* simulatorFields = createSimulatorFields();

    status_ = new QLabel(this);
    status_->setObjectName(QStringLiteral("status"));
    status_->setWordWrap(true);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    ok_ = buttons->button(QDialogButtonBox::Ok);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(port_);
    layout->addWidget(analyser_);
    layout->addWidget(analyserFields);
    layout->addWidget(simulator_);
    layout->addWidget(simulatorFields);
    layout->addWidget(status_);
    layout->addWidget(buttons);

    connect(analyser_, &QRadioButton::toggled, analyserFields, &QWidget::setEnabled);
    connect(simulator_, &QRadioButton::toggled, simulatorFields, &QWidget::setEnabled);
    for (QRadioButton* kind : {analyser_, simulator_}) {
        connect(kind, &QRadioButton::toggled, this, &SourceDialog::check);
    }
    connect(search_, &QPushButton::clicked, this, &SourceDialog::search);
    connect(device_, &QComboBox::currentIndexChanged, this, &SourceDialog::showDevice);
    for (QComboBox* box : {right_, left_, rate_, simulatorRate_}) {
        connect(box, &QComboBox::currentTextChanged, this, &SourceDialog::check);
    }
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    analyserFields->setEnabled(false);
    simulatorFields->setEnabled(false);
}

QWidget* SourceDialog::createAnalyserFields() {
    auto* fields = new QWidget(this);
    driver_ = new QComboBox(fields);
    driver_->setObjectName(QStringLiteral("driver"));
    auto drivers = sources_.analyserDrivers();
    std::sort(drivers.begin(), drivers.end());
    fill(driver_, drivers, "fx2lafw");
    connection_ = new QLineEdit(fields);
    connection_->setObjectName(QStringLiteral("connection"));
    connection_->setPlaceholderText(QStringLiteral("facoltativa, per esempio 1.5 o /dev/ttyUSB0"));
    search_ = new QPushButton(QStringLiteral("Cerca"), fields);
    device_ = new QComboBox(fields);
    device_->setObjectName(QStringLiteral("device"));
    right_ = new QComboBox(fields);
    right_->setObjectName(QStringLiteral("right"));
    left_ = new QComboBox(fields);
    left_->setObjectName(QStringLiteral("left"));
    rate_ = new QComboBox(fields);
    rate_->setObjectName(QStringLiteral("rate"));
    rate_->setEditable(true);
    auto* form = new QFormLayout(fields);
    form->addRow(QStringLiteral("Driver:"), driver_);
    form->addRow(QStringLiteral("Connessione:"), connection_);
    form->addRow(QString(), search_);
    form->addRow(QStringLiteral("Dispositivo:"), device_);
    form->addRow(QStringLiteral("Ricevitore destro:"), right_);
    form->addRow(QStringLiteral("Ricevitore sinistro:"), left_);
    form->addRow(QStringLiteral("Frequenza di campionamento:"), rate_);
    return fields;
}

// The lags come from the window: here only how fast the source goes from
// one to the other, and the rate.
QWidget* SourceDialog::createSimulatorFields() {
    auto* fields = new QWidget(this);
    sweep_ = new QSpinBox(fields);
    sweep_->setObjectName(QStringLiteral("sweep"));
    sweep_->setRange(kShortestSweep, kLongestSweep);
    sweep_->setValue(kSweep);
    sweep_->setSuffix(QStringLiteral(" s"));
    simulatorRate_ = new QComboBox(fields);
    simulatorRate_->setObjectName(QStringLiteral("simrate"));
    for (const std::uint64_t rate : kSimulatorRates) {
        simulatorRate_->addItem(rateText(rate), QVariant::fromValue(rate));
    }
    auto* form = new QFormLayout(fields);
    form->addRow(QStringLiteral("Durata di un passaggio:"), sweep_);
    form->addRow(QStringLiteral("Frequenza di campionamento:"), simulatorRate_);
    return fields;
}

CaptureOptions::DeviceSpec SourceDialog::where() const {
    const std::string connection = connection_->text().trimmed().toStdString();
    return CaptureOptions::parseDeviceSpec(driver_->currentText().toStdString() +
                                           (connection.empty() ? "" : ":conn=" + connection));
}

// The window's thread waits, with the busy pointer, painting meanwhile.
void SourceDialog::search() {
    status_->setText(QStringLiteral("Ricerca in corso\u2026"));
    setEnabled(false);
    QApplication::setOverrideCursor(Qt::WaitCursor);
    try {
        const CaptureOptions::DeviceSpec request = where();
        CaptureSources* sources = &sources_;
        showAnalysers(CaptureWorker::perform<std::vector<FoundAnalyser>>(
            [sources, request](CaptureWorker::Progress& progress) {
                return sources->find(request, progress);
            },
            request.text, [] { QApplication::processEvents(QEventLoop::ExcludeUserInputEvents); }));
        if (found_.empty()) {
            throw OperatorError(OperatorError::Kind::DeviceNotFound, request.text);
        }
    } catch (const OperatorError& error) {
        showAnalysers({});
        status_->setText(text(operatorMessage(error)));
    }
    QApplication::restoreOverrideCursor();
    setEnabled(true);
}

void SourceDialog::showAnalysers(const std::vector<FoundAnalyser>& found) {
    found_ = found;
    const QSignalBlocker quiet(device_);
    device_->clear();
    for (const FoundAnalyser& analyser : found_) {
        device_->addItem(
            QStringLiteral("%1 (%2)").arg(text(analyser.name()), text(analyser.address)));
    }
    showDevice();
}

const FoundAnalyser* SourceDialog::device() const {
    const int index = device_->currentIndex();
    return index >= 0 && index < static_cast<int>(found_.size())
               ? &found_[static_cast<std::size_t>(index)]
               : nullptr;
}

// The channels and rates of the device chosen, keeping what was picked
// where the device has it too.
void SourceDialog::showDevice() {
    const FoundAnalyser* analyser = device();
    const std::vector<std::string> names =
        analyser ? analyser->logicChannels : std::vector<std::string>{};
    const auto defaults = CaptureOptions::channelsAmong({}, names);
    const std::string right = right_->currentText().toStdString();
    const std::string left = left_->currentText().toStdString();
    const auto has = [&](const std::string& name) {
        return std::find(names.begin(), names.end(), name) != names.end();
    };
    const bool kept = has(right) && has(left) && right != left;
    fill(right_, names, kept ? right : defaults.right);
    fill(left_, names, kept ? left : defaults.left);

    const QString rate = rate_->currentText();
    rate_->clear();
    if (analyser) {
        for (const std::uint64_t offered : analyser->rates.choices()) {
            rate_->addItem(rateText(offered));
        }
    }
    rate_->setCurrentText(rate.isEmpty() ? rateText(kPortRate) : rate);
    check();
}

std::optional<std::uint64_t> SourceDialog::rate() const {
    return CaptureOptions::sampleRateIn(rate_->currentText().trimmed().toStdString());
}

// OK only for a choice a scan can take, saying why not, or how long a scan
// will take.
void SourceDialog::check() {
    QString problem;
    const auto hertz = rate();
    const FoundAnalyser* analyser = device();
    if (port_->isChecked() || simulator_->isChecked()) {
        // The port and the simulator offer only rates a scan can take.
    } else if (!analyser) {
        problem = QStringLiteral("Cercare l'analizzatore con \"Cerca\".");
    } else if (right_->currentText() == left_->currentText()) {
        problem = QStringLiteral("Scegliere due canali diversi per i ricevitori.");
    } else if (!hertz || *hertz == 0) {
        problem = QStringLiteral("Frequenza non valida: indicare un numero intero di hertz, per "
                                 "esempio 50k o 1M.");
    } else if (*hertz < kLowestScanRate) {
        problem = QStringLiteral("Frequenza troppo bassa: una scansione durerebbe pi\u00F9 di %1 "
                                 "s. Indicare almeno %2 Hz.")
                      .arg(kLongestScan.count())
                      .arg(kLowestScanRate);
    } else if (!analyser->rates.offers(*hertz)) {
        problem = QStringLiteral("L'analizzatore non offre questa frequenza.");
    }
    ok_->setEnabled(problem.isEmpty());
    if (!problem.isEmpty()) {
        status_->setText(problem);
        return;
    }
    const double seconds = static_cast<double>(kSamples) / static_cast<double>(scanRate());
    status_->setText(QStringLiteral("Una scansione di %1 campioni dura %2 s.")
                         .arg(kSamples)
                         .arg(text(fixedNumber(seconds, seconds < 1.0 ? 3 : 1,
                                               QLocale().decimalPoint().toStdString()))));
}

std::uint64_t SourceDialog::scanRate() const {
    if (simulator_->isChecked()) {
        return simulatorRate_->currentData().toULongLong();
    }
    return port_->isChecked() ? kPortRate : rate().value_or(kPortRate);
}

CaptureOptions::Source SourceDialog::choice() const {
    const FoundAnalyser* analyser = device();
    if (simulator_->isChecked()) {
        return CaptureOptions::Simulation{0, 0, static_cast<double>(sweep_->value()), scanRate()};
    }
    if (port_->isChecked() || !analyser) {
        return CaptureOptions::Port{};
    }
    return CaptureOptions::Analyser{CaptureOptions::parseDeviceSpec(analyser->address),
                                    {right_->currentText().toStdString(),
                                     left_->currentText().toStdString(),
                                     CaptureOptions::Channels::Choice::Named},
                                    scanRate(),
                                    {}};
}
