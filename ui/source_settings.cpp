#include "source_settings.h"

#include "operator_error.h"

#include <QSettings>

namespace SourceSettings {

namespace {

const QString kDevice = QStringLiteral("source/device");
const QString kRight = QStringLiteral("source/right");
const QString kLeft = QStringLiteral("source/left");
const QString kSampleRate = QStringLiteral("source/samplerate");

std::string text(const QSettings& settings, const QString& key) {
    return settings.value(key).toString().toStdString();
}

} // namespace

// A choice that no longer parses, edited by hand or from another version,
// falls back to the port rather than stopping the program.
std::optional<CaptureOptions::Analyser> load() {
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

void save(const std::optional<CaptureOptions::Analyser>& analyser) {
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

} // namespace SourceSettings
