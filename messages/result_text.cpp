#include "result_text.h"

#include <charconv>
#include <cmath>

std::string fixedNumber(double value, int decimals, std::string_view decimalPoint) {
    char text[64];
    const auto written =
        std::to_chars(text, text + sizeof text, value, std::chars_format::fixed, decimals);
    std::string shown(text, written.ptr);
    if (const auto dot = shown.find('.'); dot != std::string::npos) {
        shown.replace(dot, 1, decimalPoint);
    }
    return shown;
}

namespace {

std::string verdictText(Bearing::Verdict verdict) {
    switch (verdict) {
    case Bearing::Verdict::Source:
        return "sorgente";
    case Bearing::Verdict::None:
        return "nessuna sorgente chiara (picco non significativo)";
    case Bearing::Verdict::IdleRight:
        return "il ricevitore destro non cambia mai";
    case Bearing::Verdict::IdleLeft:
        return "il ricevitore sinistro non cambia mai";
    case Bearing::Verdict::IdleBoth:
        return "nessuno dei due ricevitori cambia mai";
    case Bearing::Verdict::NoDirection:
        return "nessuna direzione compatibile con la geometria (base o velocità errate, o "
               "sorgente troppo vicina)";
    case Bearing::Verdict::Edge:
        return "picco al limite dell'intervallo (la sorgente può essere oltre)";
    }
    return {};
}

} // namespace

std::string resultText(const Bearing::Result& result, std::string_view point) {
    const std::string verdict = verdictText(result.verdict);
    if (Bearing::isIdle(result.verdict)) {
        return "Risultato: " + verdict + ".";
    }
    const std::string sector = result.lag < 0.0   ? "settore sinistro"
                               : result.lag > 0.0 ? "settore destro"
                                                  : "di fronte";
    std::string text = "Risultato: " + sector + ", ritardo " + fixedNumber(result.lag, 2, point) +
                       " campioni = " + fixedNumber(result.delayUs, 1, point) + " \u00B5s";
    if (result.bearing) {
        const auto& [bearing, low, high] = *result.bearing;
        text += ", direzione " + fixedNumber(bearing, 1, point) + "\u00B0 (da " +
                fixedNumber(low, 1, point) + "\u00B0 a " + fixedNumber(high, 1, point) + "\u00B0)";
    }
    return text + ", contrasto " + fixedNumber(result.contrast, 1, point) + ": " + verdict + ".";
}

std::string lostWindowsText(int lost) {
    if (lost == 0) {
        return {};
    }
    return (lost == 1 ? std::string("1 finestra persa")
                      : std::to_string(lost) + " finestre perse") +
           ": campioni non analizzati (l'analisi non ha tenuto il passo, il dispositivo li ha "
           "persi, o sono caduti tra due acquisizioni di un analizzatore che non campiona di "
           "continuo).";
}

std::string replayEndedText() {
    return "Riproduzione terminata: il file è stato letto fino all'ultimo campione.";
}

std::string raisedPeriodText(std::chrono::microseconds period) {
    return "Periodo delle righe portato a " +
           fixedNumber(static_cast<double>(period.count()) / 1e6, 3, ".") +
           " s, la durata di una finestra a questa frequenza.";
}
