#include "command_line.h"

#include "command_option.h"
#include "operator_error.h"
#include "plot_geometry.h"

#include <QCommandLineParser>
#include <QRegularExpression>
#include <algorithm>
#include <cstring>

namespace {

using Kind = OperatorError::Kind;

// Options that QApplication takes out of the arguments itself.
const char* const kQtValueOptions[] = {"platform",    "platformpluginpath", "platformtheme",
                                       "plugin",      "qmljsdebugger",      "qwindowgeometry",
                                       "qwindowicon", "qwindowtitle",       "session",
                                       "display",     "geometry",           "style",
                                       "stylesheet"};
const char* const kQtFlags[] = {"reverse", "widgetcount"};

// Each argument comes as its bytes, one character each: file names that are
// not UTF-8 go through unchanged.
std::string bytes(const QString& text) {
    return text.toLatin1().toStdString();
}

// QCommandLineParser says which option lacks its value only in its English
// error text, between quotes.
std::string optionWithoutValue(const QString& errorText) {
    const auto match = QRegularExpression(QStringLiteral("'([^']*)'")).match(errorText);
    return bytes(match.hasMatch() ? match.captured(1) : errorText);
}

bool isSet(const QCommandLineParser& parser, const char* longName) {
    return parser.isSet(QLatin1String(longName));
}

std::string value(const QCommandLineParser& parser, const char* longName) {
    return bytes(parser.value(QLatin1String(longName)));
}

std::vector<std::string> everyOption() {
    std::vector<std::string> names;
    for (const CommandOption& option : commandOptions()) {
        names.push_back(bytes(option.names()));
    }
    return names;
}

// The options that choose what the program does, the first given winning;
// the window is what runs without any. -h and -V win over everything and go
// with anything.
struct Chooser {
    CommandLine::Action action;
    CommandOption::Run run;
    const char* longName; // nullptr for the window
    bool writesOutput;    // to standard output
};
const Chooser kChoosers[] = {
    {CommandLine::Action::ShowHelp, CommandOption::AnyRun, "help", true},
    {CommandLine::Action::ShowVersion, CommandOption::AnyRun, "version", true},
    {CommandLine::Action::ListAnalysers, CommandOption::Listing, "scan", true},
    {CommandLine::Action::Follow, CommandOption::Follow, "follow", true},
    {CommandLine::Action::Summarize, CommandOption::Summary, "summary", true},
    {CommandLine::Action::RunWithoutWindow, CommandOption::OneScan, "csv", true},
    {CommandLine::Action::RunWithoutWindow, CommandOption::OneScan, "output", false},
    {CommandLine::Action::OpenWindow, CommandOption::Window, nullptr, false},
};

const Chooser& chooserGiven(const QCommandLineParser& parser) {
    return *std::find_if(std::begin(kChoosers), std::end(kChoosers), [&](const Chooser& chooser) {
        return !chooser.longName || isSet(parser, chooser.longName);
    });
}

std::string chooserName(const Chooser& chooser) {
    return chooser.longName ? bytes(commandOption(chooser.longName).names()) : std::string();
}

bool choosesRun(const CommandOption& option) {
    return std::any_of(std::begin(kChoosers), std::end(kChoosers), [&](const Chooser& chooser) {
        return chooser.longName && std::strcmp(chooser.longName, option.longName) == 0;
    });
}

// Where an option is of use, as the options that choose those runs.
std::vector<std::string> choosersHonouring(const CommandOption& option) {
    std::vector<std::string> names;
    for (const Chooser& chooser : kChoosers) {
        if (chooser.run != CommandOption::AnyRun && (option.honouredBy & chooser.run) != 0) {
            names.push_back(chooserName(chooser));
        }
    }
    return names;
}

// --samplerate is a shorthand for --config samplerate=..., and wins over it.
void takeDeviceOptions(const QCommandLineParser& parser, CommandLine& line) {
    std::optional<std::string> rate;
    std::string deviceOption; // as written, for when no analyser is named
    for (const QString& items : parser.values(QStringLiteral("config"))) {
        for (auto& [key, value] : CaptureOptions::parseConfig(bytes(items))) {
            if (key == "samplerate") {
                rate = value;
            } else {
                line.config.emplace_back(key, value);
            }
        }
        deviceOption = "--config " + bytes(items);
    }
    if (isSet(parser, "samplerate")) {
        rate = value(parser, "samplerate");
        deviceOption = "--samplerate " + *rate;
    }
    if (rate) {
        line.sampleRate = CaptureOptions::parseSampleRate(*rate);
        if (line.sampleRate < kLowestScanRate) {
            throw OperatorError(Kind::SampleRateTooLow, *rate, std::to_string(kLowestScanRate));
        }
    }
    // The simulator takes a rate too, but no device options.
    const bool simulatedRate = line.simulation && line.config.empty() && rate;
    if (!deviceOption.empty() && !line.device && !simulatedRate) {
        throw OperatorError(Kind::SampleRateWithoutDevice, deviceOption);
    }
    if (line.simulation && rate) {
        line.simulation->rate = line.sampleRate;
    }
}

// A file is the scan of --csv, the captures of --summary and the stream of
// --follow: nothing else can be one there, and --scan takes none.
void refuseMisplacedFile(const CommandLine& line) {
    using Action = CommandLine::Action;
    if (!line.file) {
        return;
    }
    const bool fromFile = line.action == Action::RunWithoutWindow ||
                          line.action == Action::Summarize || line.action == Action::Follow;
    if (line.action == Action::ListAnalysers) {
        throw OperatorError(Kind::FileWithOption, "--scan", *line.file);
    }
    if (fromFile && line.device) {
        throw OperatorError(Kind::FileWithOption, "-d", *line.file);
    }
    if (fromFile && line.simulation) {
        throw OperatorError(Kind::FileWithOption, "--simulate", *line.file);
    }
    if (fromFile && line.output) {
        throw OperatorError(Kind::FileWithOption, "-o", *line.file);
    }
}

// Options that mean something only beside another.
void refuseAlone(const QCommandLineParser& parser, const CommandLine& line) {
    using Action = CommandLine::Action;
    if (line.simulation && line.device) {
        throw OperatorError(Kind::SourcesExclusive, "--simulate", "-d");
    }
    if (line.baseline && line.pipe) {
        throw OperatorError(Kind::GeometriesExclusive, "--baseline", "--pipe");
    }
    if (isSet(parser, "speed") && !line.baseline && !line.pipe) {
        throw OperatorError(Kind::OptionNeedsOther, "--speed", {}, {"--baseline", "--pipe"});
    }
    if (line.integrate && line.whiten) {
        throw OperatorError(Kind::AnalysesExclusive, "--whiten", "--integrate");
    }
    for (const auto& [given, name] :
         {std::pair{line.integrate, "--integrate"}, {line.whiten, "--whiten"}}) {
        if (given && line.action == Action::RunWithoutWindow && !line.csv) {
            throw OperatorError(Kind::OptionNeedsOther, name, {}, {"--csv"});
        }
    }
    // The port's receivers are on fixed bits; the window's files have channels.
    if (isSet(parser, "channels") && line.action != Action::OpenWindow && !line.device &&
        !line.file) {
        throw OperatorError(Kind::OptionNeedsOther, bytes(commandOption("channels").names()), {},
                            {bytes(commandOption("driver").names()), "FILE.sr"});
    }
}

// Every option given is honoured by the run chosen, or refused: none is
// dropped.
void refuseUnhonoured(const QCommandLineParser& parser, const CommandLine& line) {
    const Chooser& chosen = chooserGiven(parser);
    if (chosen.run == CommandOption::AnyRun) {
        return;
    }
    for (const CommandOption& option : commandOptions()) {
        if (!isSet(parser, option.longName) || (option.honouredBy & chosen.run) != 0) {
            continue;
        }
        if (choosesRun(option)) {
            throw OperatorError(Kind::RunsExclusive, bytes(option.names()), chooserName(chosen));
        }
        throw OperatorError(Kind::OptionNotHonoured, bytes(option.names()), chooserName(chosen),
                            choosersHonouring(option));
    }
    refuseMisplacedFile(line);
    refuseAlone(parser, line);
}

QString seconds(std::chrono::milliseconds period) {
    return QString::number(static_cast<double>(period.count()) / 1000.0);
}

// The option's names, then its text in a column of its own.
QString helpLines(const CommandOption& option) {
    constexpr int kColumn = 24;
    const QString indent(kColumn, ' ');
    const QString label = QStringLiteral("  ") + option.helpLabel();
    const QStringList lines = QString::fromUtf8(option.help).split('\n');
    QString text =
        label.size() + 2 <= kColumn ? label.leftJustified(kColumn) : label + '\n' + indent;
    text += lines.front() + '\n';
    for (qsizetype i = 1; i < lines.size(); ++i) {
        text += indent + lines.at(i) + '\n';
    }
    return text;
}

} // namespace

CommandLine CommandLine::parse(const QStringList& arguments) {
    QCommandLineParser parser;
    // "-platform" is one option, as Qt reads it, not seven short ones.
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    for (const CommandOption& option : commandOptions()) {
        parser.addOption(option.takesValue
                             ? QCommandLineOption(option.parserNames(), {}, QStringLiteral("X"))
                             : QCommandLineOption(option.parserNames()));
    }
    for (const char* name : kQtValueOptions) {
        parser.addOption({QString::fromLatin1(name), {}, QStringLiteral("X")});
    }
    for (const char* name : kQtFlags) {
        parser.addOption(QCommandLineOption(QString::fromLatin1(name)));
    }
    if (!parser.parse(arguments)) {
        const QStringList unknown = parser.unknownOptionNames();
        if (!unknown.isEmpty()) {
            const QString dashes =
                unknown.front().size() == 1 ? QStringLiteral("-") : QStringLiteral("--");
            throw OperatorError(Kind::OptionUnknown, bytes(dashes + unknown.front()), {},
                                everyOption());
        }
        throw OperatorError(Kind::OptionValueMissing, optionWithoutValue(parser.errorText()));
    }
    const QStringList files = parser.positionalArguments();
    if (files.size() > 1 && !isSet(parser, "summary")) {
        throw OperatorError(Kind::ArgumentExtra, bytes(files.at(1)));
    }

    CommandLine line;
    const Chooser& chosen = chooserGiven(parser);
    line.action = chosen.action;
    if (chosen.writesOutput) {
        line.outputWriter = chooserName(chosen);
    }
    if (!files.isEmpty()) {
        line.file = bytes(files.front());
    }
    for (const QString& file : files) {
        line.files.push_back(bytes(file));
    }
    line.csv = isSet(parser, "csv");
    line.integrate = isSet(parser, "integrate");
    line.whiten = isSet(parser, "whiten");
    if (isSet(parser, "baseline")) {
        line.baseline = CaptureOptions::parsePositive(value(parser, "baseline"), "--baseline");
    }
    if (isSet(parser, "pipe")) {
        line.pipe = CaptureOptions::parsePositive(value(parser, "pipe"), "--pipe");
    }
    if (isSet(parser, "speed")) {
        line.speed = CaptureOptions::parsePositive(value(parser, "speed"), "--speed");
    }
    if (isSet(parser, "row-period")) {
        line.rowPeriod = CaptureOptions::parseRowPeriod(value(parser, "row-period"));
    }
    if (isSet(parser, "count")) {
        line.count = CaptureOptions::parseCount(value(parser, "count"));
    }
    if (isSet(parser, "output")) {
        // libsigrok cannot write to a file without a name.
        if (value(parser, "output").empty()) {
            throw OperatorError(Kind::OptionValueMissing, "-o");
        }
        line.output = value(parser, "output");
    }
    if (isSet(parser, "driver")) {
        line.device = CaptureOptions::parseDeviceSpec(value(parser, "driver"));
    }
    if (isSet(parser, "channels")) {
        line.channels = CaptureOptions::parseChannels(value(parser, "channels"));
    }
    if (isSet(parser, "simulate")) {
        line.simulation = CaptureOptions::parseSimulation(value(parser, "simulate"));
    }
    takeDeviceOptions(parser, line);
    refuseUnhonoured(parser, line);
    return line;
}

QStringList CommandLine::arguments(int argc, const char* const argv[]) {
    QStringList arguments;
    for (int i = 0; i < argc; ++i) {
        arguments << QString::fromLatin1(argv[i]);
    }
    return arguments;
}

QString CommandLine::helpText() {
    QString text = QStringLiteral(
        "Uso: correlatore [OPZIONI] [FILE.sr]\n"
        "\n"
        "Correlatore di rumore a due canali: trova il settore da cui proviene una sorgente\n"
        "di rumore. Senza opzioni campiona i due ricevitori sulla porta parallela, o\n"
        "dalla sorgente scelta l'ultima volta nella finestra (\"Sorgente di\n"
        "acquisizione…\" nel menu del grafico).\n"
        "Con un FILE.sr (acquisizione di sigrok, PulseView o di questo programma) lo apre\n"
        "all'avvio come se fosse una scansione.\n"
        "\n"
        "Opzioni:\n");
    for (const CommandOption& option : commandOptions()) {
        text += helpLines(option);
    }
    text += QStringLiteral(
        "\n"
        "Un'opzione che non vale con le altre date è rifiutata; -h e -V valgono con tutte.\n"
        "Senza finestra lo stato di uscita è 0 se tutto è riuscito, 1 se l'acquisizione,\n"
        "il file o la scrittura non sono riusciti, 2 per un'opzione errata.\n");
    return text.arg(QString::fromStdString(CaptureOptions::formatSampleRate(kPortRate)),
                    QString::fromStdString(PlotGeometry::lagDurationText(kPortRate, ".")),
                    QString::number(kSamples), QString::number(kLowestScanRate),
                    QString::number(kLongestScan.count()), seconds(kShortestRowPeriod),
                    seconds(kLongestRowPeriod), seconds(kRowPeriod),
                    QString::number(Bearing::kSpeedOfSoundInAir), QString::number(-kMaxLag),
                    QString::number(kMaxLag));
}

QString CommandLine::versionText() {
    return QStringLiteral("correlatore " CORRELATORE_VERSION "\n");
}

std::optional<Bearing::Geometry> CommandLine::geometry() const {
    if (baseline) {
        return Bearing::Geometry{*baseline, speed, Bearing::Geometry::Kind::Baseline};
    }
    if (pipe) {
        return Bearing::Geometry{*pipe, speed, Bearing::Geometry::Kind::Pipe};
    }
    return std::nullopt;
}
