#pragma once

#include "bearing.h"
#include "capture_options.h"
#include "instrument_constants.h"

#include <QString>
#include <QStringList>
#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// What the operator asked for when starting the program. Without options the
// window scans the parallel port, as it always has.
struct CommandLine {
    // Without the window: one scan, kept with --output, analysed with --csv;
    // or the results of many files, or of one scan, with --summary.
    // Or list the analysers found, with --scan; or follow a source, row by
    // row, with --follow.
    enum class Action {
        OpenWindow,
        RunWithoutWindow,
        Summarize,
        ListAnalysers,
        Follow,
        ShowHelp,
        ShowVersion
    };

    // Takes each argument's bytes as Latin-1 characters (arguments()), so
    // that names that are not UTF-8 reach the files as they were typed.
    // Throws OperatorError, with the value as written, for an unknown option,
    // a missing value or a value not of its form. Qt's own options, such as
    // -platform or -display, are let through for QApplication to take.
    static CommandLine parse(const QStringList& arguments);
    static QStringList arguments(int argc, const char* const argv[]);
    static QString helpText();
    static QString versionText();

    // The analyser -d names, with the channels, rate and options given.
    CaptureOptions::Analyser analyser() const { return {*device, channels, sampleRate, config}; }

    Action action = Action::OpenWindow;
    // The option whose run writes to standard output, when it does.
    std::optional<std::string> outputWriter;
    std::optional<CaptureOptions::DeviceSpec> device;
    // A simulated source instead of the port, at sampleRate when given.
    std::optional<CaptureOptions::Simulation> simulation;
    CaptureOptions::Channels channels;
    std::uint64_t sampleRate = kPortRate;
    CaptureOptions::Config config;
    // A capture to open: in the window at start, or as the scan without it.
    std::optional<std::string> file;
    bool csv = false;
    std::optional<std::string> output;
    // Every file given, for --summary.
    std::vector<std::string> files;
    // Analyse every whole window the data hold, not the first alone.
    bool integrate = false;
    // Continuous scanning: rows of this period (when given), and with
    // --count only so many.
    std::optional<std::chrono::milliseconds> rowPeriod;
    std::optional<std::uint64_t> count;
    // The whitened correlation of every sample instead.
    bool whiten = false;
    // Metres between the receivers, or along the pipe between two sensors,
    // and the speed of the waves in m/s.
    std::optional<double> baseline;
    std::optional<double> pipe;
    double speed = Bearing::kSpeedOfSoundInAir;
    // The geometry the options give, if any.
    std::optional<Bearing::Geometry> geometry() const;
};
