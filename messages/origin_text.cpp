#include "origin_text.h"

#include "instrument_constants.h"
#include "result_text.h"

namespace {

std::string channelsText(const CaptureOptions::Channels& channels) {
    return channels.right + " (destro) e " + channels.left + " (sinistro)";
}

std::string firstTwo(const CaptureOptions::Channels& channels) {
    const CaptureOptions::Channels defaults;
    return channels.choice == CaptureOptions::Channels::Choice::FirstTwo
               ? "Canali " + channelsText(channels) + ", i primi due: mancano " + defaults.right +
                     " e " + defaults.left + "."
               : std::string();
}

} // namespace

std::string channelsNote(const std::optional<CaptureOrigin>& origin) {
    if (!origin) {
        return {};
    }
    if (const auto* device = std::get_if<DeviceOrigin>(&*origin)) {
        return firstTwo(device->channels);
    }
    if (const auto* file = std::get_if<FileOrigin>(&*origin)) {
        return firstTwo(file->channels);
    }
    return {};
}

std::string memoryNote(const std::optional<CaptureOrigin>& origin) {
    const auto* device = origin ? std::get_if<DeviceOrigin>(&*origin) : nullptr;
    if (!device || !device->memory) {
        return {};
    }
    const std::string held = std::to_string(*device->memory);
    return "L'analizzatore tiene in memoria solo " + held + " campioni: la scansione ne ha " +
           held + " invece di " + std::to_string(kSamples) + ".";
}

std::string originNotes(const std::optional<CaptureOrigin>& origin) {
    const std::string channels = channelsNote(origin);
    const std::string memory = memoryNote(origin);
    return channels.empty() || memory.empty() ? channels + memory : channels + " " + memory;
}

std::string sourceText(const CaptureOptions::Source& source) {
    if (const auto* analyser = std::get_if<CaptureOptions::Analyser>(&source)) {
        return "Sorgente delle scansioni: analizzatore logico " + analyser->device.text +
               ", canali " + channelsText(analyser->channels) + ", " +
               CaptureOptions::formatSampleRate(analyser->sampleRate);
    }
    if (const auto* simulation = std::get_if<CaptureOptions::Simulation>(&source)) {
        return "Sorgente delle scansioni: simulatore, una sorgente che si sposta in " +
               fixedNumber(simulation->seconds, 0, ",") + " s, " +
               CaptureOptions::formatSampleRate(simulation->rate);
    }
    return std::string("Sorgente delle scansioni: porta parallela (") + kPortDevice + ", " +
           CaptureOptions::formatSampleRate(kPortRate) + ")";
}
