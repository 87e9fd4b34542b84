#include "command_line.h"

#include "operator_error.h"
#include "plot_geometry.h"

#include <QCommandLineParser>
#include <QRegularExpression>

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

QString seconds(std::chrono::milliseconds period) {
    return QString::number(static_cast<double>(period.count()) / 1000.0);
}

} // namespace

CommandLine CommandLine::parse(const QStringList& arguments) {
    const QCommandLineOption driver({QStringLiteral("d"), QStringLiteral("driver")}, {},
                                    QStringLiteral("DRIVER"));
    const QCommandLineOption channels({QStringLiteral("C"), QStringLiteral("channels")}, {},
                                      QStringLiteral("CANALI"));
    const QCommandLineOption sampleRate(QStringLiteral("samplerate"), {},
                                        QStringLiteral("FREQUENZA"));
    const QCommandLineOption config(QStringLiteral("config"), {}, QStringLiteral("CHIAVE=VALORE"));
    const QCommandLineOption scan(QStringLiteral("scan"));
    const QCommandLineOption follow(QStringLiteral("follow"));
    const QCommandLineOption count(QStringLiteral("count"), {}, QStringLiteral("N"));
    const QCommandLineOption rowPeriod(QStringLiteral("row-period"), {}, QStringLiteral("SECONDI"));
    const QCommandLineOption csv(QStringLiteral("csv"));
    const QCommandLineOption output({QStringLiteral("o"), QStringLiteral("output")}, {},
                                    QStringLiteral("FILE"));
    const QCommandLineOption summary(QStringLiteral("summary"));
    const QCommandLineOption integrate(QStringLiteral("integrate"));
    const QCommandLineOption baseline(QStringLiteral("baseline"), {}, QStringLiteral("METRI"));
    const QCommandLineOption speed(QStringLiteral("speed"), {}, QStringLiteral("M/S"));
    const QCommandLineOption help(QStringList{QStringLiteral("h"), QStringLiteral("help")});
    const QCommandLineOption version(QStringList{QStringLiteral("V"), QStringLiteral("version")});

    QCommandLineParser parser;
    // "-platform" is one option, as Qt reads it, not seven short ones.
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    parser.addOptions({driver, channels, sampleRate, config, scan, follow, count, rowPeriod, csv,
                       output, summary, integrate, baseline, speed, help, version});
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
            throw OperatorError(Kind::OptionUnknown, bytes(dashes + unknown.front()));
        }
        throw OperatorError(Kind::OptionValueMissing, optionWithoutValue(parser.errorText()));
    }
    const QStringList files = parser.positionalArguments();
    if (files.size() > 1 && !parser.isSet(summary)) {
        throw OperatorError(Kind::ArgumentExtra, bytes(files.at(1)));
    }

    CommandLine line;
    if (parser.isSet(help)) {
        line.action = Action::ShowHelp;
    } else if (parser.isSet(version)) {
        line.action = Action::ShowVersion;
    } else if (parser.isSet(scan)) {
        line.action = Action::ListAnalysers;
    } else if (parser.isSet(follow)) {
        line.action = Action::Follow;
    } else if (parser.isSet(summary)) {
        line.action = Action::Summarize;
    } else if (parser.isSet(csv) || parser.isSet(output)) {
        line.action = Action::RunWithoutWindow;
    }
    if (!files.isEmpty()) {
        line.file = bytes(files.front());
    }
    for (const QString& file : files) {
        line.files.push_back(bytes(file));
    }
    line.csv = parser.isSet(csv);
    line.integrate = parser.isSet(integrate);
    if (parser.isSet(baseline)) {
        line.baseline = CaptureOptions::parsePositive(bytes(parser.value(baseline)), "--baseline");
    }
    if (parser.isSet(speed)) {
        line.speed = CaptureOptions::parsePositive(bytes(parser.value(speed)), "--speed");
    }
    if (parser.isSet(rowPeriod)) {
        line.rowPeriod = CaptureOptions::parseRowPeriod(bytes(parser.value(rowPeriod)));
    }
    if (parser.isSet(count)) {
        line.count = CaptureOptions::parseCount(bytes(parser.value(count)));
        if (!parser.isSet(follow)) {
            throw OperatorError(Kind::CountInvalid, "--count " + bytes(parser.value(count)));
        }
    }
    if (parser.isSet(output)) {
        // libsigrok cannot write to a file without a name.
        if (parser.value(output).isEmpty()) {
            throw OperatorError(Kind::OptionValueMissing, "-o");
        }
        line.output = bytes(parser.value(output));
    }
    if (parser.isSet(driver)) {
        line.device = CaptureOptions::parseDeviceSpec(bytes(parser.value(driver)));
    }
    if (parser.isSet(channels)) {
        line.channels = CaptureOptions::parseChannels(bytes(parser.value(channels)));
    }
    // --samplerate is a shorthand for --config samplerate=..., and wins over it.
    std::optional<std::string> rate;
    std::string deviceOption; // as written, for when no analyser is named
    for (const QString& items : parser.values(config)) {
        for (auto& [key, value] : CaptureOptions::parseConfig(bytes(items))) {
            if (key == "samplerate") {
                rate = value;
            } else {
                line.config.emplace_back(key, value);
            }
        }
        deviceOption = "--config " + bytes(items);
    }
    if (parser.isSet(sampleRate)) {
        rate = bytes(parser.value(sampleRate));
        deviceOption = "--samplerate " + *rate;
    }
    if (rate) {
        line.sampleRate = CaptureOptions::parseSampleRate(*rate);
        if (line.sampleRate < kLowestScanRate) {
            throw OperatorError(Kind::SampleRateTooLow, *rate, std::to_string(kLowestScanRate));
        }
    }
    if (!deviceOption.empty() && !line.device) {
        throw OperatorError(Kind::SampleRateWithoutDevice, deviceOption);
    }
    // A stream comes from an analyser or the port, never from a file.
    if (line.action == Action::Follow && line.file) {
        throw OperatorError(Kind::FileWithOption, "--follow", *line.file);
    }
    // Without the window the file is the scan: nothing else can be one.
    if (line.action == Action::RunWithoutWindow && line.file) {
        if (line.device) {
            throw OperatorError(Kind::FileWithOption, "-d", *line.file);
        }
        if (line.output) {
            throw OperatorError(Kind::FileWithOption, "-o", *line.file);
        }
    }
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
    return QStringLiteral(
               "Uso: correlatore [OPZIONI] [FILE.sr]\n"
               "\n"
               "Correlatore di rumore a due canali: trova il settore da cui proviene una sorgente\n"
               "di rumore. Senza opzioni campiona i due ricevitori sulla porta parallela, o\n"
               "dalla sorgente scelta l'ultima volta nella finestra (\"Sorgente di\n"
               "acquisizione…\" nel menu del grafico).\n"
               "Con un FILE.sr (acquisizione di sigrok, PulseView o di questo programma) lo apre\n"
               "all'avvio come se fosse una scansione.\n"
               "\n"
               "Opzioni:\n"
               "  -d, --driver DRIVER[:CHIAVE=VALORE...]\n"
               "                        campiona con un analizzatore logico di libsigrok invece\n"
               "                        che dalla porta parallela, per esempio fx2lafw,\n"
               "                        fx2lafw:conn=1.5 o demo\n"
               "  -C, --channels DESTRO,SINISTRO\n"
               "                        i canali logici del ricevitore destro e del sinistro,\n"
               "                        nell'analizzatore o nel file (predefiniti: D0,D1; se\n"
               "                        mancano, i primi due canali logici, il destro quello di\n"
               "                        indice minore)\n"
               "      --samplerate FREQUENZA\n"
               "                        la frequenza di campionamento dell'analizzatore, in hertz\n"
               "                        interi, come 50000, 50k, 50kHz, 1.5MHz o 1m (mega)\n"
               "                        (predefinita: %1, cioè %2 per unità di ritardo; almeno\n"
               "                        %4 Hz, perché una scansione non duri più di %5 s)\n"
               "      --config CHIAVE=VALORE[:CHIAVE=VALORE...]\n"
               "                        opzioni dell'analizzatore, come in sigrok-cli, per "
               "esempio\n"
               "                        samplerate=1M; non limit_samples, limit_msec o\n"
               "                        continuous, che stabilisce il programma\n"
               "      --scan            elenca gli analizzatori logici trovati (o quelli del\n"
               "                        driver di -d), con la connessione e i canali, ed esce\n"
               "      --follow          senza finestra: scansione continua; scrive in CSV una "
               "riga\n"
               "                        per periodo (ora, finestre, verdetto, ritardo, direzione,\n"
               "                        contrasto) finché non viene interrotto (Ctrl+C)\n"
               "      --count N         con --follow: si ferma dopo N righe\n"
               "      --row-period SECONDI\n"
               "                        il periodo delle righe della scansione continua, da %6 a\n"
               "                        %7 s (predefinito: %8 s)\n"
               "      --csv             senza finestra: analizza una scansione (dal FILE.sr, da -d "
               "o\n"
               "                        dalla porta) e scrive il correlogramma in CSV sull'uscita\n"
               "                        standard\n"
               "  -o, --output FILE.sr  senza finestra: salva una scansione intera (%3\n"
               "                        campioni dei due canali, da -d o dalla porta) in FILE.sr\n"
               "      --summary [FILE.sr...]\n"
               "                        senza finestra: analizza i file (o una scansione da -d o\n"
               "                        dalla porta) e scrive in CSV il risultato di ognuno:\n"
               "                        verdetto, ritardo, direzione, contrasto\n"
               "      --integrate       con --csv e --summary: la media su tutte le finestre\n"
               "                        intere dei campioni, invece della prima sola\n"
               "      --baseline METRI  la distanza tra i ricevitori, che dà la direzione\n"
               "      --speed M/S       la velocità delle onde (predefinita: 343, il suono\n"
               "                        nell'aria a 20 °C)\n"
               "  -h, --help            mostra questo aiuto ed esce\n"
               "  -V, --version         mostra la versione ed esce\n"
               "\n"
               "Senza finestra lo stato di uscita è 0 se tutto è riuscito, 1 se l'acquisizione,\n"
               "il file o la scrittura non sono riusciti, 2 per un'opzione errata.\n")
        .arg(QString::fromStdString(CaptureOptions::formatSampleRate(kPortRate)),
             QString::fromStdString(PlotGeometry::lagDurationText(kPortRate, ".")),
             QString::number(kSamples), QString::number(kLowestScanRate),
             QString::number(kLongestScan.count()), seconds(kShortestRowPeriod),
             seconds(kLongestRowPeriod), seconds(kRowPeriod));
}

QString CommandLine::versionText() {
    return QStringLiteral("correlatore " CORRELATORE_VERSION "\n");
}
