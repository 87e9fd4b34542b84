#include "command_option.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>

namespace {

using Run = CommandOption::Run;

// Rows are means of their windows whatever --integrate says, so --follow
// honours it.
const CommandOption kOptions[] = {
    {"d", "driver", "DRIVER[:CHIAVE=VALORE...]", true,
     Run::Window | Run::OneScan | Run::Summary | Run::Listing | Run::Follow,
     "campiona con un analizzatore logico di libsigrok invece\n"
     "che dalla porta parallela, per esempio fx2lafw,\n"
     "fx2lafw:conn=1.5 o demo"},
    {"", "simulate", "RITARDO[:RITARDO_FINALE:SECONDI]", true,
     Run::Window | Run::OneScan | Run::Summary | Run::Follow,
     "campiona una sorgente simulata invece della porta: il\n"
     "ritardo in campioni, negativo a sinistra, da %10 a %11;\n"
     "con RITARDO_FINALE e SECONDI va e viene tra i due in quei\n"
     "secondi (a %1, o alla --samplerate data)"},
    {"C", "channels", "DESTRO,SINISTRO", true,
     Run::Window | Run::OneScan | Run::Summary | Run::Follow,
     "i canali logici del ricevitore destro e del sinistro,\n"
     "nell'analizzatore o nel file (predefiniti: D0,D1; se\n"
     "mancano, i primi due canali logici, il destro quello di\n"
     "indice minore)"},
    {"", "samplerate", "FREQUENZA", true, Run::Window | Run::OneScan | Run::Summary | Run::Follow,
     "la frequenza di campionamento dell'analizzatore o del\n"
     "simulatore, in hertz\n"
     "interi, come 50000, 50k, 50kHz, 1.5MHz o 1m (mega)\n"
     "(predefinita: %1, cioè %2 per unità di ritardo; almeno\n"
     "%4 Hz, perché una scansione non duri più di %5 s)"},
    {"", "config", "CHIAVE=VALORE[:CHIAVE=VALORE...]", true,
     Run::Window | Run::OneScan | Run::Summary | Run::Follow,
     "opzioni dell'analizzatore, come in sigrok-cli, per esempio\n"
     "samplerate=1M; non limit_samples, limit_msec, limit_frames\n"
     "o continuous, che stabilisce il programma"},
    {"", "scan", "", false, Run::Listing,
     "elenca gli analizzatori logici trovati (o quelli del\n"
     "driver di -d), con la connessione e i canali, ed esce"},
    {"", "follow", "", false, Run::Follow,
     "senza finestra: scansione continua; scrive in CSV una riga\n"
     "per periodo (ora, finestre, verdetto, ritardo, direzione,\n"
     "contrasto, inizio in secondi), media delle sue finestre,\n"
     "finché non viene interrotto (Ctrl+C); con un FILE.sr lo\n"
     "ripercorre tutto, alla velocità dell'analisi"},
    {"", "count", "N", true, Run::Follow, "con --follow: si ferma dopo N righe"},
    {"", "row-period", "SECONDI", true, Run::Window | Run::Follow,
     "il periodo delle righe della scansione continua, da %6 a\n"
     "%7 s (predefinito: %8 s)"},
    {"", "csv", "", false, Run::OneScan,
     "senza finestra: analizza una scansione (dal FILE.sr, da -d o\n"
     "dalla porta) e scrive il correlogramma in CSV sull'uscita\n"
     "standard"},
    {"o", "output", "FILE.sr", true, Run::OneScan,
     "senza finestra: salva una scansione intera (%3\n"
     "campioni dei due canali, da -d o dalla porta) in FILE.sr"},
    {"", "summary", "[FILE.sr...]", false, Run::Summary,
     "senza finestra: analizza i file (o una scansione da -d o\n"
     "dalla porta) e scrive in CSV il risultato di ognuno:\n"
     "verdetto, ritardo, direzione, contrasto"},
    {"", "integrate", "", false, Run::OneScan | Run::Summary | Run::Follow,
     "con --csv e --summary: la media su tutte le finestre\n"
     "intere dei campioni, invece della prima sola; --summary\n"
     "legge così ogni file per intero (--follow la fa sempre)"},
    {"", "whiten", "", false, Run::OneScan | Run::Summary | Run::Follow,
     "con --csv, --summary e --follow: la correlazione\n"
     "sbiancata di tutti i campioni (ogni frequenza pesa uguale),\n"
     "per sorgenti colorate o tonali; --csv ne scrive i\n"
     "coefficienti, da -1 a 1"},
    {"", "baseline", "METRI", true, Run::Summary | Run::Follow,
     "con --summary e --follow: la distanza tra i ricevitori,\n"
     "che dà la direzione"},
    {"", "pipe", "METRI", true, Run::Summary | Run::Follow,
     "con --summary e --follow: la lunghezza della condotta tra\n"
     "i due sensori, che dà il punto della perdita dal sensore\n"
     "destro"},
    {"", "speed", "M/S", true, Run::Summary | Run::Follow,
     "con --baseline o --pipe: la velocità delle onde\n"
     "(predefinita: %9, il suono nell'aria a 20 °C)"},
    {"h", "help", "", false, Run::AnyRun, "mostra questo aiuto ed esce"},
    {"V", "version", "", false, Run::AnyRun, "mostra la versione ed esce"},
};

} // namespace

QString CommandOption::names() const {
    const QString full = QStringLiteral("--") + QLatin1String(longName);
    return *shortName ? QStringLiteral("-") + QLatin1String(shortName) + '/' + full : full;
}

QString CommandOption::helpLabel() const {
    QString label =
        *shortName ? QStringLiteral("-") + QLatin1String(shortName) + ", " : QStringLiteral("    ");
    label += QStringLiteral("--") + QLatin1String(longName);
    if (*argument) {
        label += ' ' + QString::fromUtf8(argument);
    }
    return label;
}

QStringList CommandOption::parserNames() const {
    QStringList names;
    if (*shortName) {
        names << QLatin1String(shortName);
    }
    return names << QLatin1String(longName);
}

std::span<const CommandOption> commandOptions() {
    return kOptions;
}

const CommandOption& commandOption(const char* longName) {
    const auto* found = std::find_if(std::begin(kOptions), std::end(kOptions), [&](const auto& o) {
        return !std::strcmp(o.longName, longName);
    });
    if (found == std::end(kOptions)) {
        throw std::logic_error(std::string("no option --") + longName);
    }
    return *found;
}
