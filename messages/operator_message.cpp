#include "operator_message.h"

#include "bearing.h"
#include "capture_options.h"
#include "instrument_constants.h"

#include <cstdio>
#include <locale>
#include <sstream>

namespace {

using Kind = OperatorError::Kind;

const char* const kLoadModules =
    "Caricare i moduli del kernel con il comando \"sudo modprobe parport_pc ppdev\"";

const std::string kHighestRate = CaptureOptions::formatSampleRate(CaptureOptions::kMaxSampleRate);

std::string hex(int address) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%X", static_cast<unsigned int>(address));
    return text;
}

const std::string kPort = hex(kPortAddress);

// Most computers have no parallel port, and an analyser does the same work.
const char* const kAnalyserInstead =
    " Per usare invece un analizzatore logico, sceglierlo da \"Sorgente di acquisizione…\" "
    "(menu del grafico) o avviare il programma con l'opzione -d (per esempio \"correlatore -d "
    "fx2lafw\").";

std::string joined(const std::vector<std::string>& items) {
    std::string list;
    for (const std::string& item : items) {
        list += (list.empty() ? "" : ", ") + item;
    }
    return list;
}

// "prefix a, b, c" followed by suffix, or nothing at all when there are no items.
std::string listing(const std::string& prefix, const std::vector<std::string>& items,
                    const std::string& suffix) {
    return items.empty() ? std::string() : prefix + joined(items) + suffix;
}

// "a o b", "a, b o c".
std::string alternatives(const std::vector<std::string>& items) {
    std::string list;
    for (std::size_t i = 0; i < items.size(); ++i) {
        list += (i == 0 ? "" : i + 1 == items.size() ? " o " : ", ") + items[i];
    }
    return list;
}

// Where an option is of use: "" stands for the window.
std::string runsText(const std::vector<std::string>& choosers) {
    std::vector<std::string> options;
    for (const std::string& chooser : choosers) {
        if (!chooser.empty()) {
            options.push_back(chooser);
        }
    }
    const bool window = options.size() < choosers.size();
    const std::string with = options.empty() ? std::string() : "con " + alternatives(options);
    return with + (window ? (with.empty() ? "" : " e ") + std::string("nella finestra") : "");
}

// A number as the operator writes it: no trailing zeros, '.' for the point.
std::string wholeOrDecimal(double number) {
    std::ostringstream text;
    text.imbue(std::locale::classic());
    text << number;
    return text.str();
}

std::string quoted(const std::string& text) {
    return "\"" + text + "\"";
}

// libsigrok's last words, when it said any, so that an unusual case can
// still be told apart.
std::string withLog(const std::string& message, const std::string& log) {
    return log.empty() ? message : message + " (libsigrok: " + log + ")";
}

// A rate the device refused, with the rates it offers when it lists them.
std::string rateRefusal(const std::string& device, const std::string& hertz,
                        const std::string& offered) {
    return "L'analizzatore logico " + quoted(device) +
           " non offre la frequenza di campionamento di " + hertz + " Hz. " +
           (offered.empty() ? "Sceglierne un'altra"
                            : "Frequenze offerte: " + offered + ". Sceglierne una") +
           " con l'opzione --samplerate.";
}

// step says what did not end, in its own gender: "l'avvio ... non si è concluso".
std::string stalled(const std::string& analyser, const std::string& step,
                    const std::string& seconds) {
    return "L'analizzatore logico " + analyser + " non risponde: " + step + " in " + seconds +
           " s. Scollegarlo e ricollegarlo, verificare che un altro programma (per esempio "
           "PulseView o sigrok-cli) non lo stia usando, e riprovare; se un passo resta bloccato, "
           "chiudere e riavviare il programma.";
}

// "0.05", "2": seconds with '.' and no trailing zeros.
std::string seconds(std::chrono::milliseconds period) {
    std::string text = std::to_string(period.count() / 1000);
    if (const auto millis = period.count() % 1000; millis != 0) {
        char fraction[8];
        std::snprintf(fraction, sizeof fraction, ".%03d", static_cast<int>(millis));
        text += fraction;
        text.erase(text.find_last_not_of('0') + 1);
    }
    return text;
}

} // namespace

std::string operatorMessage(const OperatorError& error) {
    const std::string& subject = error.subject();
    const std::string& detail = error.detail();
    const std::vector<std::string>& choices = error.choices();
    // The port's device path, the driver as given, a file's path, an option's value.
    const std::string& device = subject;
    const std::string& path = subject;
    const std::string& value = subject;
    const std::string noDevice = "Nessuna porta parallela trovata: il dispositivo " + device +
                                 " non esiste o non corrisponde a una porta";
    const std::string analyser = "l'analizzatore logico " + quoted(device);
    const std::string file = "Il file " + quoted(path);
    const std::string notOpened = "Impossibile aprire l'acquisizione " + quoted(path) + ": ";
    switch (error.kind()) {
    case Kind::PortMissing:
        return noDevice + ", e questo kernel non consente l'accesso diretto all'indirizzo " +
               kPort + ". " + kLoadModules + " e riprovare." + kAnalyserInstead;
    case Kind::PortPermissionDenied:
        return "Accesso negato alla porta parallela " + device +
               ": l'utente non ha il permesso di aprirla. Aggiungere l'utente al gruppo \"lp\" "
               "(\"sudo usermod -aG lp NOME_UTENTE\"), uscire dalla sessione, rientrare e "
               "riprovare." +
               kAnalyserInstead;
    case Kind::PortBusy:
        return "La porta parallela " + device +
               " è occupata da un altro programma. Chiudere il programma che la sta usando "
               "(o attendere la fine della stampa in corso) e riprovare.";
    case Kind::PortNotAParallelPort:
        return device + " esiste ma non è una porta parallela del driver ppdev, quindi non " +
               "viene usato. " + kLoadModules +
               ", che creano il dispositivo della porta, e riprovare." + kAnalyserInstead;
    case Kind::PortLockdown:
        return noDevice +
               ", e il kernel in modalità lockdown (Secure Boot attivo) rifiuta l'accesso "
               "diretto all'indirizzo " +
               kPort +
               " anche all'amministratore: la porta parallela si "
               "raggiunge solo tramite il driver ppdev. " +
               kLoadModules + " e riprovare." + kAnalyserInstead;
    case Kind::PortNeedsRoot:
        return noDevice + ", e l'accesso diretto all'indirizzo " + kPort +
               " è stato rifiutato perché richiede i "
               "privilegi di amministratore (root). " +
               kLoadModules +
               " e aggiungere l'utente al gruppo \"lp\" (poi uscire dalla sessione e rientrare), "
               "oppure avviare il programma come root." +
               kAnalyserInstead;
    case Kind::PortNotAnswering:
        return noDevice + ", e all'indirizzo " + kPort +
               " non risponde nessuna porta: il registro di controllo "
               "(" +
               hex(kPortControlAddress) +
               ") non rende i valori scritti. Verificare che la porta parallela sia "
               "presente e attivata nel BIOS." +
               kAnalyserInstead;
    case Kind::PortLost:
        return "Comunicazione con la porta parallela " + device + " interrotta (" + detail +
               "). Verificare che la porta sia ancora collegata e riprovare.";
    case Kind::PortStalled:
        return "La scansione della porta parallela " + device + " non si è conclusa in " + detail +
               " s. Riprovare; se accade di nuovo, chiudere e riavviare il programma.";
    case Kind::PortUnexpected:
        return "Impossibile usare la porta parallela " + device + ": errore di sistema inatteso (" +
               detail + ").";
    case Kind::DeviceNotFound:
        return withLog("Nessun analizzatore logico trovato con il driver " + quoted(device) +
                           ". Verificare che sia collegato e acceso (per un analizzatore USB, "
                           "scollegarlo e ricollegarlo) e riprovare.",
                       detail);
    case Kind::DevicePermissionDenied:
        return withLog(
            "Accesso negato all'analizzatore logico " + quoted(device) +
                ": l'utente non ha il permesso di usarlo. Le regole di libsigrok danno "
                "accesso all'utente collegato alla sessione grafica e al gruppo \"plugdev\": "
                "aggiungere l'utente al gruppo (\"sudo usermod -aG plugdev NOME_UTENTE\"), "
                "uscire dalla sessione, rientrare, ricollegare l'analizzatore e riprovare.",
            detail);
    case Kind::DeviceFirmwareMissing:
        return withLog("Manca il firmware per " + analyser +
                           ". Le schede fx2lafw lo trovano nel pacchetto "
                           "\"sigrok-firmware-fx2lafw\": installarlo (\"sudo apt install "
                           "sigrok-firmware-fx2lafw\"), ricollegare l'analizzatore e riprovare.",
                       detail);
    case Kind::DeviceBusy:
        return withLog("L'analizzatore logico " + quoted(device) +
                           " è occupato da un altro programma (per esempio PulseView o "
                           "sigrok-cli). Chiudere quel programma e riprovare.",
                       detail);
    case Kind::DeviceRateNotOffered:
        return rateRefusal(device, detail, joined(choices));
    case Kind::DeviceRateOutOfRange:
        return rateRefusal(device, detail,
                           "da " + choices.at(0) + " a " + choices.at(1) + " a passi di " +
                               choices.at(2));
    case Kind::DeviceChannelUnknown:
        return "L'analizzatore logico " + quoted(device) + " non ha il canale logico " +
               quoted(detail) + ". " + listing("Canali disponibili: ", choices, ". ") +
               "Indicare i canali dei ricevitori con l'opzione --channels DESTRO,SINISTRO.";
    case Kind::DeviceLost:
        return withLog("Comunicazione con " + analyser +
                           " interrotta durante l'acquisizione. Verificare il collegamento "
                           "dell'analizzatore e riprovare.",
                       detail);
    case Kind::DeviceShortCapture:
        return "L'acquisizione con " + analyser + " si è fermata dopo " + detail +
               " campioni invece di " + choices.at(0) +
               ": l'analizzatore è stato scollegato o non ha "
               "mantenuto la frequenza. Verificare il collegamento e riprovare.";
    case Kind::DeviceScanStalled:
        return stalled(quoted(device), "la ricerca del dispositivo non si è conclusa", detail);
    case Kind::DeviceOpenStalled:
        return stalled(quoted(device),
                       "l'apertura (con il caricamento del firmware) non si è conclusa", detail);
    case Kind::DeviceStartStalled:
        return stalled(quoted(device), "l'avvio dell'acquisizione non si è concluso", detail);
    case Kind::DeviceCaptureStalled:
        return stalled(quoted(device), "l'acquisizione non si è conclusa", detail);
    case Kind::DeviceStopStalled:
        return stalled(quoted(device), "l'arresto dell'acquisizione non si è concluso", detail);
    case Kind::DeviceCloseStalled:
        return stalled(quoted(device), "la chiusura non si è conclusa", detail);
    case Kind::DeviceUnexpected:
        return withLog("Impossibile usare " + analyser + ": errore inatteso.", detail);
    case Kind::DeviceMemoryTooSmall:
        return "La memoria dell'analizzatore logico " + quoted(device) + " contiene solo " +
               detail + " campioni dei canali scelti: ne servono almeno " +
               std::to_string(kMinimumSamples) +
               " per misurare il ritardo. Usare un analizzatore con più memoria.";
    case Kind::FileUnreadable:
        return notOpened + detail + ". Verificare il nome del file e i permessi e riprovare.";
    case Kind::FileNotSession:
        return file + " non è un'acquisizione di sigrok (.sr) leggibile: " + detail +
               ". Aprire un file salvato da questo programma, da PulseView o da sigrok-cli.";
    case Kind::FileUnitSizeInvalid:
        return file + " dichiara un'ampiezza di campione (unitsize) non valida: " + quoted(detail) +
               ". Deve essere da 1 a 8 byte e contenere i canali dei ricevitori: il file è "
               "danneggiato, o i canali scelti non sono stati acquisiti.";
    case Kind::FileSampleRateInvalid:
        return file + " dichiara una frequenza di campionamento non valida: " + quoted(detail) +
               ". Deve essere un numero intero di hertz, da 1 Hz a " + kHighestRate +
               ": il file è danneggiato.";
    case Kind::FileSampleRateMissing:
        return file +
               " non dichiara la frequenza di campionamento (manca o vale 0), senza la quale il "
               "ritardo non si può misurare. Salvare di nuovo l'acquisizione indicando la "
               "frequenza.";
    case Kind::FileTooManyChannels:
        return file + " dichiara " + detail +
               " canali: se ne leggono al più 64. Il file è danneggiato o non viene da un "
               "analizzatore logico.";
    case Kind::FileChannelMissing:
        return file + " non ha il canale logico " + quoted(detail) + ". Canali del file: " +
               (choices.empty() ? std::string("nessuno") : joined(choices)) +
               ". Indicare i canali dei ricevitori con l'opzione --channels DESTRO,SINISTRO.";
    case Kind::FileTooShort:
        return file + " contiene solo " + detail + " campioni: l'analisi ne legge " +
               std::to_string(kMinimumSamples) + ". Aprire un'acquisizione più lunga.";
    case Kind::FileNoLogicData:
        return file +
               " contiene solo canali analogici, senza dati logici: il correlatore legge i bit "
               "di due canali logici. Aprire un'acquisizione dei canali logici dei ricevitori.";
    case Kind::FileCorrupt:
        return file + " è danneggiato: i dati " + quoted(detail) +
               " non corrispondono al loro codice di controllo (CRC), quindi non vengono usati. "
               "Aprire una copia integra del file.";
    case Kind::FileNotWritten:
        return "Impossibile salvare il file " + quoted(path) + ": " + detail +
               ". Un file già esistente con questo nome non è stato modificato. Scegliere un'altra "
               "cartella o liberare spazio e riprovare.";
    case Kind::FileTargetNotRegular:
        return "Impossibile salvare in " + quoted(path) +
               ": esiste e non è un file regolare (è una cartella, un dispositivo o una FIFO), "
               "quindi non viene sostituito. Scegliere un altro nome di file.";
    case Kind::OutputNotWritten:
        return "Impossibile scrivere sull'uscita standard: " + detail +
               ". Verificare dove viene rediretta e riprovare.";
    case Kind::FileReadStalled:
        return notOpened + "la lettura non si è conclusa in " + detail +
               " s. Verificare che il file sia su un disco raggiungibile e riprovare.";
    case Kind::FileUnexpected:
        return withLog(notOpened + "errore inatteso.", detail);
    case Kind::FileChannelRepeated:
        return file + " dichiara due volte il canale logico " + quoted(detail) +
               ": il file è danneggiato, e i due canali non si possono distinguere. Aprire una "
               "copia integra del file.";
    case Kind::FileCompressionUnsupported:
        return notOpened + "i dati " + quoted(detail) +
               " sono compressi con un metodo non supportato (i file di sigrok usano "
               "\"deflate\"). Salvare di nuovo l'acquisizione con PulseView o sigrok-cli.";
    case Kind::RecordingStopped:
        return "La registrazione delle righe in " + quoted(path) + " si è interrotta: " + detail +
               ". " +
               (choices.empty() ? std::string("L'ultima riga del file potrebbe essere incompleta.")
                                : "Il file termina con l'ultima riga intera; righe conservate di "
                                  "questa registrazione: " +
                                      choices.front() + ".") +
               " Liberare spazio o scegliere un'altra cartella, e avviare di nuovo \"Registra…\".";
    case Kind::RecordingFileGone:
        return "La registrazione delle righe si è interrotta: il file " + quoted(path) +
               " è stato cancellato, spostato o sostituito mentre si registrava, e le righe "
               "seguenti non vi sarebbero arrivate. Per continuare, avviare di nuovo "
               "\"Registra…\".";
    case Kind::FollowStillStopping:
        return "La scansione continua precedente non ha ancora lasciato la sorgente. Riprovare "
               "tra qualche secondo.";
    case Kind::OptionUnknown:
        return "Opzione sconosciuta: " + quoted(value) + ". Opzioni accettate: " + joined(choices) +
               " (\"correlatore --help\" le descrive).";
    case Kind::OptionValueMissing:
        return "Manca il valore dell'opzione " + quoted(value) +
               " (\"correlatore --help\" descrive le opzioni).";
    case Kind::DriverUnknown:
        return "Driver sconosciuto: " + quoted(value) +
               ". Indicare il driver nella forma DRIVER[:CHIAVE=VALORE...]" +
               listing(", con uno di questi driver di analizzatori logici di libsigrok: ", choices,
                       "") +
               ".";
    case Kind::ScanOptionUnknown:
        return "Opzione di ricerca sconosciuta per il driver " + quoted(detail) + ": " +
               quoted(value) +
               ". Indicarla nella forma DRIVER:CHIAVE=VALORE, con una di queste "
               "chiavi: " +
               (choices.empty() ? std::string("nessuna (il driver non ne accetta)")
                                : joined(choices)) +
               ".";
    case Kind::ScanOptionInvalid:
        return "Opzione di ricerca non valida: " + quoted(value) +
               (detail.empty() ? std::string() : " (" + detail + ")") +
               ". Indicarla nella forma DRIVER:CHIAVE=VALORE, per esempio \"fx2lafw:conn=1.5\".";
    case Kind::SampleRateInvalid:
        return "Frequenza di campionamento non valida: " + quoted(value) +
               ". Indicare un numero intero di hertz, da 1 Hz a " + kHighestRate +
               ", con il suffisso facoltativo k, M o G: per esempio 50k, 1.5M o 200000.";
    case Kind::SampleRateTooLow:
        return "Frequenza di campionamento troppo bassa: " + quoted(value) + ". Una scansione di " +
               std::to_string(kSamples) + " campioni durerebbe più di " +
               std::to_string(kLongestScan.count()) + " s: indicare almeno " + detail + " Hz.";
    case Kind::ChannelsInvalid:
        return "Canali non validi: " + quoted(value) +
               ". Indicare due canali logici diversi, il destro e poi il sinistro, separati da "
               "una virgola: per esempio D0,D1.";
    case Kind::ConfigInvalid:
        return "Opzione del dispositivo non valida: " + quoted(value) +
               ". Indicarla nella forma --config CHIAVE=VALORE[:CHIAVE=VALORE...], per esempio "
               "\"--config samplerate=1M\".";
    case Kind::ConfigKeyReserved:
        return "L'opzione del dispositivo " + quoted(value) +
               " non si può impostare: la stabilisce il programma, che acquisisce sempre " +
               std::to_string(kSamples) + " campioni.";
    case Kind::ConfigKeyUnknown:
        return "L'analizzatore logico " + quoted(detail) + " non ha l'opzione " + quoted(value) +
               ". " +
               (choices.empty() ? std::string("Non ne accetta nessuna.")
                                : "Opzioni che accetta: " + joined(choices) + ".");
    case Kind::ConfigValueInvalid:
        return "Valore non accettato per l'opzione del dispositivo " + quoted(value) +
               (detail.empty() ? std::string() : " (" + detail + ")") +
               ". I valori sì/no si scrivono on/off, true/false o 1/0; i numeri interi senza "
               "segno, con il suffisso facoltativo k, M o G.";
    case Kind::NoAnalyserFound:
        return "Nessun analizzatore logico trovato. Verificare che sia collegato e acceso, che "
               "l'utente abbia il permesso di usarlo (gruppo \"plugdev\") e che il suo firmware "
               "sia installato (per le schede fx2lafw il pacchetto \"sigrok-firmware-fx2lafw\"); "
               "per un analizzatore su porta seriale indicare la porta con -d DRIVER:conn=PORTA.";
    case Kind::RowPeriodInvalid:
        return "Periodo delle righe non valido: " + quoted(value) + ". Indicare i secondi, da " +
               seconds(kShortestRowPeriod) + " a " + seconds(kLongestRowPeriod) +
               ", con il punto come separatore decimale e al più tre decimali: per esempio 0.1.";
    case Kind::CountInvalid:
        return "Numero di righe non valido: " + quoted(value) +
               ". L'opzione --count vale con --follow e vuole un numero intero, almeno 1.";
    case Kind::GeometryInvalid:
        return "Valore non valido per l'opzione " + detail + ": " + quoted(value) +
               ". Indicare un numero positivo, con il punto come separatore decimale: per "
               "esempio 0.5 (metri) o " +
               wholeOrDecimal(Bearing::kSpeedOfSoundInAir) + " (metri al secondo).";
    case Kind::ArgumentExtra:
        return "Argomento in più: " + quoted(value) +
               ". Indicare al più un file di acquisizione da aprire, o più file con --summary "
               "(\"correlatore --help\" descrive le opzioni).";
    case Kind::SampleRateWithoutDevice:
        return "Le opzioni --samplerate e --config valgono solo per un analizzatore logico: "
               "indicare anche il driver con -d (per esempio \"-d fx2lafw " +
               value + "\").";
    case Kind::FileWithOption:
        return "L'opzione " + value + " non si usa insieme al file " + quoted(detail) +
               " senza la finestra: i campioni vengono dal file. Togliere l'opzione, oppure il "
               "file per acquisire dall'analizzatore o dalla porta.";
    case Kind::OptionNotHonoured:
        return "L'opzione " + value + " non vale " +
               (detail.empty() ? std::string("nella finestra") : "con " + detail) + ": vale " +
               runsText(choices) + ". Toglierla (\"correlatore --help\" descrive le opzioni).";
    case Kind::OptionNeedsOther:
        return "L'opzione " + value + " vale solo insieme a " + alternatives(choices) +
               ": indicare anche " + alternatives(choices) + ", oppure togliere " + value + ".";
    case Kind::RunsExclusive:
        return "Le opzioni " + detail + " e " + value +
               " fanno due lavori diversi: indicarne una sola per volta.";
    case Kind::StandardOutputClosed:
        return "L'uscita standard è chiusa, e " + value +
               " vi scrive: nulla è stato fatto. Avviare il programma con l'uscita standard "
               "aperta, rediretta su un file se serve (per esempio \"> risultati.csv\").";
    case Kind::AnalyserListCut:
        return "Ricerca degli analizzatori interrotta dopo " + detail + " s" +
               (value.empty() ? std::string() : "; non hanno risposto: " + value) +
               listing("; non cercati: ", choices, "") +
               ". Indicare il driver con -d per cercarne uno solo.";
    case Kind::SimulationInvalid:
        return "Valore non valido per l'opzione --simulate: " + quoted(value) +
               ". Indicare il ritardo della sorgente in campioni, un intero da " +
               std::to_string(-kMaxLag) + " a " + std::to_string(kMaxLag) +
               " (negativo a sinistra), oppure RITARDO:RITARDO_FINALE:SECONDI per una sorgente "
               "che va e viene tra i due ritardi, i secondi maggiori di 0 e al più " +
               std::to_string(CaptureOptions::kLongestSweep.count()) +
               " con il punto come separatore decimale: per esempio -30 o -30:30:10.";
    case Kind::SourcesExclusive:
        return "Le opzioni " + value + " e " + detail +
               " indicano entrambe da dove vengono i campioni: usarne una sola.";
    case Kind::AnalysesExclusive:
        return "Le opzioni " + value + " e " + detail +
               " scelgono entrambe l'analisi: usarne una sola (quella sbiancata usa già tutti i "
               "campioni).";
    case Kind::GeometriesExclusive:
        return "Le opzioni " + value + " e " + detail +
               " descrivono entrambe la geometria: usarne una sola.";
    case Kind::SimulationStalled:
        return "Il " + value + " non ha prodotto i campioni in " + detail +
               " s: il computer è troppo carico. Chiudere altri programmi o scegliere una "
               "frequenza di campionamento più bassa, e riprovare.";
    }
    return {};
}
