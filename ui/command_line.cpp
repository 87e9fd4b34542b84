#include "command_line.h"

#include "operator_error.h"

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

std::string utf8(const QString& text) {
    return text.toUtf8().toStdString();
}

// QCommandLineParser says which option lacks its value only in its English
// error text, between quotes.
std::string optionWithoutValue(const QString& errorText) {
    const auto match = QRegularExpression(QStringLiteral("'([^']*)'")).match(errorText);
    return utf8(match.hasMatch() ? match.captured(1) : errorText);
}

} // namespace

CommandLine CommandLine::parse(const QStringList& arguments) {
    const QCommandLineOption driver({QStringLiteral("d"), QStringLiteral("driver")}, {},
                                    QStringLiteral("DRIVER"));
    const QCommandLineOption channels({QStringLiteral("C"), QStringLiteral("channels")}, {},
                                      QStringLiteral("CANALI"));
    const QCommandLineOption sampleRate(QStringLiteral("samplerate"), {},
                                        QStringLiteral("FREQUENZA"));
    const QCommandLineOption help(QStringList{QStringLiteral("h"), QStringLiteral("help")});
    const QCommandLineOption version(QStringList{QStringLiteral("V"), QStringLiteral("version")});

    QCommandLineParser parser;
    // "-platform" is one option, as Qt reads it, not seven short ones.
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    parser.addOptions({driver, channels, sampleRate, help, version});
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
            throw OperatorError(Kind::OptionUnknown, utf8(dashes + unknown.front()));
        }
        throw OperatorError(Kind::OptionValueMissing, optionWithoutValue(parser.errorText()));
    }
    if (!parser.positionalArguments().isEmpty()) {
        throw OperatorError(Kind::OptionUnknown, utf8(parser.positionalArguments().front()));
    }

    CommandLine line;
    if (parser.isSet(help)) {
        line.action = Action::ShowHelp;
    } else if (parser.isSet(version)) {
        line.action = Action::ShowVersion;
    }
    if (parser.isSet(driver)) {
        line.device = CaptureOptions::parseDeviceSpec(utf8(parser.value(driver)));
    }
    if (parser.isSet(channels)) {
        line.channels = CaptureOptions::parseChannels(utf8(parser.value(channels)));
    }
    if (parser.isSet(sampleRate)) {
        line.sampleRate = CaptureOptions::parseSampleRate(utf8(parser.value(sampleRate)));
        if (!line.device) {
            throw OperatorError(Kind::SampleRateWithoutDevice, utf8(parser.value(sampleRate)));
        }
    }
    return line;
}

QString CommandLine::helpText() {
    return QStringLiteral(
        "Uso: correlatore [OPZIONI]\n"
        "\n"
        "Correlatore di rumore a due canali: trova il settore da cui proviene una sorgente\n"
        "di rumore. Senza opzioni campiona i due ricevitori sulla porta parallela.\n"
        "\n"
        "Opzioni:\n"
        "  -d, --driver DRIVER[:CHIAVE=VALORE...]\n"
        "                        campiona con un analizzatore logico di libsigrok invece\n"
        "                        che dalla porta parallela, per esempio fx2lafw,\n"
        "                        fx2lafw:conn=1.5 o demo\n"
        "  -C, --channels DESTRO,SINISTRO\n"
        "                        i canali logici del ricevitore destro e del sinistro\n"
        "                        (predefiniti: D0,D1)\n"
        "      --samplerate FREQUENZA\n"
        "                        la frequenza di campionamento dell'analizzatore, in hertz\n"
        "                        interi, con il suffisso facoltativo k, M o G (predefinita:\n"
        "                        50k, cioè 20 \u00B5s per unità di ritardo)\n"
        "  -h, --help            mostra questo aiuto ed esce\n"
        "  -V, --version         mostra la versione ed esce\n");
}

QString CommandLine::versionText() {
    return QStringLiteral("correlatore " CORRELATORE_VERSION "\n");
}
