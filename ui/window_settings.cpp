#include "window_settings.h"

#include "operator_error.h"

#include <QLocale>
#include <QSettings>

namespace WindowSettings {

namespace {

// "port", "analyser" or "simulator"; settings from before it had only the
// analyser's keys, or none for the port.
const QString kKind = QStringLiteral("source/kind");
const QString kPortKind = QStringLiteral("port");
const QString kAnalyserKind = QStringLiteral("analyser");
const QString kSimulatorKind = QStringLiteral("simulator");
const QString kDevice = QStringLiteral("source/device");
const QString kRight = QStringLiteral("source/right");
const QString kLeft = QStringLiteral("source/left");
const QString kSampleRate = QStringLiteral("source/samplerate");
// The simulator's sweep in seconds, and its rate in hertz.
const QString kSweep = QStringLiteral("source/sweep");
const QString kSimulatorRate = QStringLiteral("source/simrate");
const QString kBaseline = QStringLiteral("geometry/baseline");
const QString kSpeed = QStringLiteral("geometry/speed");
// "baseline" or "pipe"; settings from before it knew only baselines.
const QString kGeometryKind = QStringLiteral("geometry/kind");
const QString kBaselineKind = QStringLiteral("baseline");
const QString kPipeKind = QStringLiteral("pipe");
// In seconds, as --row-period takes it.
const QString kRowPeriodKey = QStringLiteral("follow/rowperiod");
const QString kIntegrate = QStringLiteral("analysis/integrate");
const QString kWhiten = QStringLiteral("analysis/whiten");

std::string text(const QSettings& settings, const QString& key) {
    return settings.value(key).toString().toStdString();
}

// Shortest form that reads back as the same number, with '.'.
QString number(double value) {
    return QString::number(value, 'g', QLocale::FloatingPointShortest);
}

bool flag(const QString& key) {
    return QSettings().value(key).toString() == QStringLiteral("true");
}

void saveFlag(const QString& key, bool value) {
    QSettings().setValue(key, value ? QStringLiteral("true") : QStringLiteral("false"));
}

// Throws OperatorError for a value that does not pass.
CaptureOptions::Source analyserIn(const QSettings& settings) {
    CaptureOptions::Analyser analyser;
    analyser.device = CaptureOptions::parseDeviceSpec(text(settings, kDevice));
    analyser.channels =
        CaptureOptions::parseChannels(text(settings, kRight) + "," + text(settings, kLeft));
    analyser.sampleRate = CaptureOptions::parseSampleRate(text(settings, kSampleRate));
    if (analyser.sampleRate < kLowestScanRate) {
        return CaptureOptions::Port{};
    }
    return analyser;
}

// The lags are the window's, not remembered; a sweep as --simulate takes it.
CaptureOptions::Source simulationIn(const QSettings& settings) {
    CaptureOptions::Simulation simulation =
        CaptureOptions::parseSimulation("0:0:" + text(settings, kSweep));
    simulation.rate = CaptureOptions::parseSampleRate(text(settings, kSimulatorRate));
    if (simulation.rate < kLowestScanRate) {
        return CaptureOptions::Port{};
    }
    return simulation;
}

} // namespace

CaptureOptions::Source sourceChoice() {
    const QSettings settings;
    const QString kind =
        settings.value(kKind, settings.contains(kDevice) ? kAnalyserKind : kPortKind).toString();
    try {
        if (kind == kAnalyserKind) {
            return analyserIn(settings);
        }
        if (kind == kSimulatorKind) {
            return simulationIn(settings);
        }
    } catch (const OperatorError&) {
    }
    return CaptureOptions::Port{};
}

void saveSourceChoice(const CaptureOptions::Source& source) {
    QSettings settings;
    for (const QString& key : {kDevice, kRight, kLeft, kSampleRate, kSweep, kSimulatorRate}) {
        settings.remove(key);
    }
    if (const auto* analyser = std::get_if<CaptureOptions::Analyser>(&source)) {
        settings.setValue(kKind, kAnalyserKind);
        settings.setValue(kDevice, QString::fromStdString(analyser->device.text));
        settings.setValue(kRight, QString::fromStdString(analyser->channels.right));
        settings.setValue(kLeft, QString::fromStdString(analyser->channels.left));
        settings.setValue(kSampleRate, QString::number(analyser->sampleRate));
    } else if (const auto* simulation = std::get_if<CaptureOptions::Simulation>(&source)) {
        settings.setValue(kKind, kSimulatorKind);
        settings.setValue(kSweep, number(simulation->seconds));
        settings.setValue(kSimulatorRate, QString::number(simulation->rate));
    } else {
        settings.setValue(kKind, kPortKind);
    }
}

// A speed not given is air's; one given wrong, or a kind unknown, makes the
// whole geometry unknown, since it would flip or drop the bearing.
std::optional<Bearing::Geometry> geometry() {
    const QSettings settings;
    const QString kind = settings.value(kGeometryKind, kBaselineKind).toString();
    if (!settings.contains(kBaseline) || (kind != kBaselineKind && kind != kPipeKind)) {
        return std::nullopt;
    }
    try {
        Bearing::Geometry geometry;
        geometry.kind =
            kind == kPipeKind ? Bearing::Geometry::Kind::Pipe : Bearing::Geometry::Kind::Baseline;
        geometry.baseline = CaptureOptions::parsePositive(text(settings, kBaseline), "--baseline");
        if (settings.contains(kSpeed)) {
            geometry.speed = CaptureOptions::parsePositive(text(settings, kSpeed), "--speed");
        }
        return geometry;
    } catch (const OperatorError&) {
        return std::nullopt;
    }
}

void saveGeometry(const Bearing::Geometry& geometry) {
    QSettings settings;
    settings.setValue(kBaseline, number(geometry.baseline));
    settings.setValue(kSpeed, number(geometry.speed));
    settings.setValue(kGeometryKind,
                      geometry.kind == Bearing::Geometry::Kind::Pipe ? kPipeKind : kBaselineKind);
}

std::chrono::milliseconds rowPeriod() {
    try {
        return CaptureOptions::parseRowPeriod(text(QSettings(), kRowPeriodKey));
    } catch (const OperatorError&) {
        return kRowPeriod;
    }
}

void saveRowPeriod(std::chrono::milliseconds period) {
    QSettings().setValue(kRowPeriodKey, number(static_cast<double>(period.count()) / 1000.0));
}

bool integrating() {
    return flag(kIntegrate);
}

void saveIntegrating(bool whole) {
    saveFlag(kIntegrate, whole);
}

bool whitening() {
    return flag(kWhiten);
}

void saveWhitening(bool whitening) {
    saveFlag(kWhiten, whitening);
}

Session::Choices choices() {
    return {rowPeriod(), integrating(), whitening(), geometry()};
}

} // namespace WindowSettings
