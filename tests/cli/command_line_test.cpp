#include "command_line.h"
#include "command_option.h"
#include "operator_error.h"

#include <algorithm>
#include <gtest/gtest.h>
#include <optional>

namespace {

using Kind = OperatorError::Kind;
using Action = CommandLine::Action;

struct Case {
    QStringList arguments; // after the program's name
    std::optional<Kind> refused = {};
    std::string subject = {}; // of the refusal, or the driver given
    Action action = Action::OpenWindow;
    std::string right = "D0";
    std::string left = "D1";
    std::uint64_t rate = kPortRate;
    std::string file = {};
    bool csv = false;
    std::string output = {};
    CaptureOptions::Config config = {};
};

TEST(CommandLine, ParsesWhatTheOperatorWrote) {
    const Case cases[] = {
        {{}, {}, ""},
        {{"-d", "demo"}, {}, "demo"},
        {{"--driver=fx2lafw:conn=1.5"}, {}, "fx2lafw"},
        {{"-d", "demo", "-C", "D3,D2", "--samplerate", "1.5M"},
         {},
         "demo",
         Action::OpenWindow,
         "D3",
         "D2",
         1'500'000},
        // A scan may take a minute at most.
        {{"-d", "demo", "--samplerate", std::to_string(kLowestScanRate - 1).c_str()},
         Kind::SampleRateTooLow,
         std::to_string(kLowestScanRate - 1)},
        {{"-d", "demo", "--samplerate", std::to_string(kLowestScanRate).c_str()},
         {},
         "demo",
         Action::OpenWindow,
         "D0",
         "D1",
         kLowestScanRate},
        {{"--channels", "D1,D0"}, {}, "", Action::OpenWindow, "D1", "D0"},
        {{"-h"}, {}, "", Action::ShowHelp},
        {{"--version"}, {}, "", Action::ShowVersion},
        // Qt's own options are left for QApplication.
        {{"-platform", "offscreen", "-reverse"}, {}, ""},
        {{"--foo"}, Kind::OptionUnknown, "--foo"},
        {{"-x"}, Kind::OptionUnknown, "-x"},
        {{"a.sr", "b.sr"}, Kind::ArgumentExtra, "b.sr"},
        {{"-d"}, Kind::OptionValueMissing, "-d"},
        {{"-d", ""}, Kind::DriverUnknown, ""},
        {{"-d", "demo:conn"}, Kind::ScanOptionInvalid, "conn"},
        // The values' own forms are tabled with their parsers.
        {{"-d", "demo", "--samplerate", "-5"}, Kind::SampleRateInvalid, "-5"},
        {{"--samplerate", "50k"}, Kind::SampleRateWithoutDevice, "--samplerate 50k"},
        {{"-C", "D0,D0"}, Kind::ChannelsInvalid, "D0,D0"},
        // sigrok-cli's forms: --config, whose samplerate --samplerate overrides.
        {.arguments = {"-d", "demo", "--config", "samplerate=100k"},
         .subject = "demo",
         .rate = 100'000},
        {.arguments = {"-d", "demo", "--config", "samplerate=50 kHz:averaging=on"},
         .subject = "demo",
         .rate = 50'000,
         .config = {{"averaging", "on"}}},
        {.arguments = {"-d", "demo", "--config", "samplerate=1M", "--samplerate", "1m"},
         .subject = "demo",
         .rate = 1'000'000},
        {{"-d", "demo", "--config", "samplerate=2k"}, Kind::SampleRateTooLow, "2k"},
        {{"-d", "demo", "--config", "limit_samples=5"}, Kind::ConfigKeyReserved, "limit_samples"},
        {{"-d", "demo", "--config", "limit_time=5"}, Kind::ConfigKeyReserved, "limit_time"},
        {{"-d", "demo", "--config", "samplerate"}, Kind::ConfigInvalid, "samplerate"},
        {{"-d", "demo", "--config", "averaging=on::"}, Kind::ConfigInvalid, ""},
        {{"--config", "averaging=on"}, Kind::SampleRateWithoutDevice, "--config averaging=on"},
        {{"--scan"}, {}, "", Action::ListAnalysers},
        {{"--scan", "-d", "demo"}, {}, "demo", Action::ListAnalysers},
        // A file opens in the window, or is the scan without it.
        {.arguments = {"a.sr"}, .file = "a.sr"},
        {.arguments = {"-d", "demo", "a.sr"}, .subject = "demo", .file = "a.sr"},
        {.arguments = {"--csv", "a.sr"},
         .action = Action::RunWithoutWindow,
         .file = "a.sr",
         .csv = true},
        {.arguments = {"--csv"}, .action = Action::RunWithoutWindow, .csv = true},
        {.arguments = {"-d", "demo", "-o", "b.sr"},
         .subject = "demo",
         .action = Action::RunWithoutWindow,
         .output = "b.sr"},
        {.arguments = {"--output=b.sr", "--csv"},
         .action = Action::RunWithoutWindow,
         .csv = true,
         .output = "b.sr"},
        {.arguments = {"--csv", "--help"}, .action = Action::ShowHelp, .csv = true},
        {{"-o", ""}, Kind::OptionValueMissing, "-o"},
        {{"-o"}, Kind::OptionValueMissing, "-o"},
        {{"--csv", "-d", "demo", "a.sr"}, Kind::FileWithOption, "-d"},
        {{"-o", "b.sr", "a.sr"}, Kind::FileWithOption, "-o"},
    };
    for (const Case& c : cases) {
        const QStringList arguments = QStringList{"correlatore"} + c.arguments;
        const std::string shown = arguments.join(' ').toStdString();
        try {
            const CommandLine line = CommandLine::parse(arguments);
            EXPECT_FALSE(c.refused) << shown;
            EXPECT_EQ(line.action, c.action) << shown;
            EXPECT_EQ(line.device ? line.device->driver : "", c.subject) << shown;
            EXPECT_EQ(line.channels.right, c.right) << shown;
            EXPECT_EQ(line.channels.left, c.left) << shown;
            EXPECT_EQ(line.sampleRate, c.rate) << shown;
            EXPECT_EQ(line.file.value_or(""), c.file) << shown;
            EXPECT_EQ(line.csv, c.csv) << shown;
            EXPECT_EQ(line.output.value_or(""), c.output) << shown;
            EXPECT_EQ(line.config, c.config) << shown;
        } catch (const OperatorError& error) {
            ASSERT_TRUE(c.refused) << shown << ": " << error.what();
            EXPECT_EQ(error.kind(), *c.refused) << shown;
            EXPECT_EQ(error.subject(), c.subject) << shown;
        }
    }
}

// The results' options: many files with --summary alone, and the geometry
// as finite positive numbers with '.', whatever the locale.
TEST(CommandLine, SummaryAndGeometry) {
    const CommandLine summary =
        CommandLine::parse({"correlatore", "--summary", "--integrate", "--baseline", "0.5",
                            "--speed", "1480", "a.sr", "b.sr"});
    EXPECT_EQ(summary.action, Action::Summarize);
    EXPECT_EQ(summary.files, (std::vector<std::string>{"a.sr", "b.sr"}));
    EXPECT_TRUE(summary.integrate);
    EXPECT_EQ(summary.baseline, 0.5);
    EXPECT_EQ(summary.speed, 1480.0);
    EXPECT_EQ(CommandLine::parse({"correlatore", "--summary"}).speed, Bearing::kSpeedOfSoundInAir);

    for (const char* value : {"0", "-1", "nan", "inf", "1e999", "abc", "1,5", ""}) {
        try {
            CommandLine::parse({"correlatore", "--summary", "--baseline", value});
            ADD_FAILURE() << "accepted " << value;
        } catch (const OperatorError& error) {
            EXPECT_EQ(error.kind(), Kind::GeometryInvalid) << value;
            EXPECT_EQ(error.subject(), value);
            EXPECT_EQ(error.detail(), "--baseline");
        }
    }
}

// Every option given is honoured by the run chosen, or refused: none is
// dropped. The detail names what chose the run ("" for the window).
TEST(CommandLine, RefusesWhatTheRunChosenWouldDrop) {
    struct Refusal {
        QStringList arguments;
        Kind kind;
        std::string subject;
        std::string detail = {};
    };
    const Refusal cases[] = {
        {{"--follow", "--csv"}, Kind::RunsExclusive, "--csv", "--follow"},
        {{"--follow", "-o", "b.sr"}, Kind::RunsExclusive, "-o/--output", "--follow"},
        {{"--summary", "--follow"}, Kind::RunsExclusive, "--summary", "--follow"},
        {{"--summary", "--csv"}, Kind::RunsExclusive, "--csv", "--summary"},
        {{"--summary", "-o", "b.sr"}, Kind::RunsExclusive, "-o/--output", "--summary"},
        {{"--scan", "--csv"}, Kind::RunsExclusive, "--csv", "--scan"},
        {{"--scan", "a.sr"}, Kind::FileWithOption, "--scan", "a.sr"},
        {{"--summary", "-d", "demo", "a.sr"}, Kind::FileWithOption, "-d", "a.sr"},
        {{"--scan", "--integrate"}, Kind::OptionNotHonoured, "--integrate", "--scan"},
        {{"--scan", "-d", "demo", "--samplerate", "1M"},
         Kind::OptionNotHonoured,
         "--samplerate",
         "--scan"},
        {{"--scan", "-C", "D1,D0"}, Kind::OptionNotHonoured, "-C/--channels", "--scan"},
        {{"-d", "demo", "-o", "b.sr", "--baseline", "1"},
         Kind::OptionNotHonoured,
         "--baseline",
         "-o/--output"},
        {{"--csv", "--row-period", "0.5"}, Kind::OptionNotHonoured, "--row-period", "--csv"},
        {{"--integrate"}, Kind::OptionNotHonoured, "--integrate", ""},
        {{"--baseline", "1"}, Kind::OptionNotHonoured, "--baseline", ""},
        {{"--count", "5", "-d", "demo"}, Kind::OptionNotHonoured, "--count", ""},
        {{"-d", "demo", "-o", "b.sr", "--integrate"}, Kind::OptionNeedsOther, "--integrate"},
        {{"--summary", "--speed", "1480"}, Kind::OptionNeedsOther, "--speed"},
        {{"--csv", "-C", "D1,D0"}, Kind::OptionNeedsOther, "-C/--channels"},
        {{"--follow", "-C", "D1,D0"}, Kind::OptionNeedsOther, "-C/--channels"},
        {{"-d", "demo", "--config", "limit_frames=2"}, Kind::ConfigKeyReserved, "limit_frames"},
        {{"-d", "demo", "--config", "continuous=1"}, Kind::ConfigKeyReserved, "continuous"},
        {{"-d", "demo", "--config", "limit_msec=5"}, Kind::ConfigKeyReserved, "limit_msec"},
    };
    for (const Refusal& c : cases) {
        const QStringList arguments = QStringList{"correlatore"} + c.arguments;
        try {
            CommandLine::parse(arguments);
            ADD_FAILURE() << "accepted " << arguments.join(' ').toStdString();
        } catch (const OperatorError& error) {
            EXPECT_EQ(error.kind(), c.kind) << error.what();
            EXPECT_EQ(error.subject(), c.subject) << error.what();
            EXPECT_EQ(error.detail(), c.detail) << error.what();
        }
    }
    // What each run honours goes through.
    for (const QStringList& honoured : std::initializer_list<QStringList>{
             {"--follow", "--integrate", "--baseline", "1", "--speed", "1480", "-d", "demo"},
             {"--row-period", "0.5", "-d", "demo", "-C", "D1,D0", "--samplerate", "1M", "a.sr"},
             {"--summary", "--integrate", "-C", "D1,D0", "a.sr", "b.sr"},
             {"--csv", "--integrate", "-o", "b.sr", "-d", "demo", "--config", "samplerate=1M"},
             {"--scan", "-d", "demo", "--help"},
             {"-V", "--follow", "a.sr", "--speed", "3"}}) {
        EXPECT_NO_THROW(CommandLine::parse(QStringList{"correlatore"} + honoured))
            << honoured.join(' ').toStdString();
    }
}

// The list of accepted options is the table's, all of it.
TEST(CommandLine, AnUnknownOptionListsEveryOption) {
    try {
        CommandLine::parse({"correlatore", "--folow"});
        ADD_FAILURE() << "accepted --folow";
    } catch (const OperatorError& error) {
        std::vector<std::string> every;
        for (const CommandOption& option : commandOptions()) {
            every.push_back(option.names().toStdString());
        }
        EXPECT_EQ(error.choices(), every);
        for (const char* name : {"--follow", "--count", "--row-period", "-o/--output"}) {
            EXPECT_NE(std::find(every.begin(), every.end(), name), every.end()) << name;
        }
    }
    EXPECT_FALSE(CommandLine::helpText().contains('%')) << "a value left unfilled in --help";
}

} // namespace
