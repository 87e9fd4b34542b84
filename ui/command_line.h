#pragma once

#include "capture_options.h"

#include <QString>
#include <QStringList>
#include <cstdint>
#include <optional>

// What the operator asked for when starting the program. Without options the
// window scans the parallel port, as it always has.
struct CommandLine {
    enum class Action { OpenWindow, ShowHelp, ShowVersion };

    // Throws OperatorError, with the value as written, for an unknown option,
    // a missing value or a value not of its form. Qt's own options, such as
    // -platform or -display, are let through for QApplication to take.
    static CommandLine parse(const QStringList& arguments);
    static QString helpText();
    static QString versionText();

    Action action = Action::OpenWindow;
    std::optional<CaptureOptions::DeviceSpec> device;
    CaptureOptions::Channels channels;
    std::uint64_t sampleRate = CaptureOptions::kDefaultSampleRate;
};
