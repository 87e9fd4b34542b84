#include "window_settings.h"

#include "operator_error.h"

#include <QLocale>
#include <QSettings>

namespace WindowSettings {

namespace {

const QString kDevice = QStringLiteral("source/device");
const QString kRight = QStringLiteral("source/right");
const QString kLeft = QStringLiteral("source/left");
const QString kSampleRate = QStringLiteral("source/samplerate");
const QString kBaseline = QStringLiteral("geometry/baseline");
const QString kSpeed = QStringLiteral("geometry/speed");
// In seconds, as --row-period takes it.
const QString kRowPeriodKey = QStringLiteral("follow/rowperiod");
const QString kIntegrate = QStringLiteral("analysis/integrate");

std::string text(const QSettings& settings, const QString& key) {
    return settings.value(key).toString().toStdString();
}

// Shortest form that reads back as the same number, with '.'.
QString number(double value) {
    return QString::number(value, 'g', QLocale::FloatingPointShortest);
}

} // namespace

std::optional<CaptureOptions::Analyser> source() {
    const QSettings settings;
    if (!settings.contains(kDevice)) {
        return std::nullopt;
    }
    try {
        CaptureOptions::Analyser analyser;
        analyser.device = CaptureOptions::parseDeviceSpec(text(settings, kDevice));
        analyser.channels =
            CaptureOptions::parseChannels(text(settings, kRight) + "," + text(settings, kLeft));
        analyser.sampleRate = CaptureOptions::parseSampleRate(text(settings, kSampleRate));
        if (analyser.sampleRate < kLowestScanRate) {
            return std::nullopt;
        }
        return analyser;
    } catch (const OperatorError&) {
        return std::nullopt;
    }
}

void saveSource(const CaptureOptions::Source& source) {
    const auto* analyser = std::get_if<CaptureOptions::Analyser>(&source);
    QSettings settings;
    if (!analyser) {
        for (const QString& key : {kDevice, kRight, kLeft, kSampleRate}) {
            settings.remove(key);
        }
        return;
    }
    settings.setValue(kDevice, QString::fromStdString(analyser->device.text));
    settings.setValue(kRight, QString::fromStdString(analyser->channels.right));
    settings.setValue(kLeft, QString::fromStdString(analyser->channels.left));
    settings.setValue(kSampleRate, QString::number(analyser->sampleRate));
}

// A speed not given is air's; one given wrong makes the whole geometry
// unknown, since it would flip or drop the bearing.
std::optional<Bearing::Geometry> geometry() {
    const QSettings settings;
    if (!settings.contains(kBaseline)) {
        return std::nullopt;
    }
    try {
        Bearing::Geometry geometry;
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
    return QSettings().value(kIntegrate).toString() == QStringLiteral("true");
}

void saveIntegrating(bool whole) {
    QSettings().setValue(kIntegrate, whole ? QStringLiteral("true") : QStringLiteral("false"));
}

Session::Choices choices() {
    return {rowPeriod(), integrating(), geometry()};
}

} // namespace WindowSettings
