#include "result_text.h"

#include "capture_options.h"

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

using Bearing::Geometry;
using Bearing::Result;
using Bearing::Verdict;

bool alongPipe(const Result& result) {
    return result.geometry && result.geometry->kind == Geometry::Kind::Pipe;
}

struct Numbers {
    std::string_view point;
    std::string degrees(double value) const { return fixedNumber(value, 1, point) + "\u00B0"; }
    std::string metres(double value) const { return fixedNumber(value, 2, point) + " m"; }
    std::string lag(double value) const { return fixedNumber(value, 2, point); }
};

std::string idleText(const Result& result) {
    const std::string which = result.verdict == Verdict::IdleRight  ? "il ricevitore destro"
                              : result.verdict == Verdict::IdleLeft ? "il ricevitore sinistro"
                                                                    : "entrambi i ricevitori";
    if (!result.idleThroughout) {
        return "Nessuna transizione in questa finestra (" + which +
               "): integrare le finestre o abbassare la frequenza di campionamento.";
    }
    switch (result.verdict) {
    case Verdict::IdleRight:
        return "Il ricevitore destro non cambia mai.";
    case Verdict::IdleLeft:
        return "Il ricevitore sinistro non cambia mai.";
    case Verdict::IdleBoth:
        return "Nessuno dei due ricevitori cambia mai.";
    case Verdict::Source:
    case Verdict::None:
    case Verdict::Ambiguous:
    case Verdict::NoDirection:
    case Verdict::Edge:
        break;
    }
    return {};
}

std::string delayText(const Result& result, const Numbers& n) {
    return "ritardo " + n.lag(result.lag) +
           " campioni = " + fixedNumber(result.delayUs, 1, n.point) + " \u00B5s";
}

// "a 10.3° (95 %: da 9.8° a 10.8°)", or the place along the pipe, or the
// lag's own interval without a geometry.
std::string whereText(const Result& result, const Numbers& n) {
    if (result.bearing) {
        const auto& [bearing, low, high] = *result.bearing;
        return " a " + n.degrees(bearing) + " (95 %: da " + n.degrees(low) + " a " +
               n.degrees(high) + "): " + delayText(result, n);
    }
    if (result.position) {
        const auto& [place, low, high] = *result.position;
        return " a " + n.metres(place) + " dal sensore destro (95 %: da " + n.metres(low) + " a " +
               n.metres(high) + "): " + delayText(result, n);
    }
    return ": " + delayText(result, n) + " (95 %: da " + n.lag(result.lagLow) + " a " +
           n.lag(result.lagHigh) + " campioni)";
}

std::string secondText(double lag, std::optional<double> bearing, std::optional<double> place,
                       const Numbers& n) {
    std::string text = n.lag(lag) + " campioni";
    if (bearing) {
        text += " (" + n.degrees(*bearing) + ")";
    } else if (place) {
        text += " (" + n.metres(*place) + " dal sensore destro)";
    }
    return text;
}

std::string edgeText(const Result& result, const Numbers& n) {
    if (result.bearing) {
        return "Sorgente oltre " + n.degrees(std::abs((*result.bearing)[0])) + " a " +
               (result.lag < 0.0 ? "sinistra" : "destra") +
               " (picco al limite dei ritardi: " + delayText(result, n) + ")";
    }
    if (result.position) {
        return std::string("Sorgente a ") + (result.lag > 0.0 ? "meno" : "più") + " di " +
               n.metres((*result.position)[0]) +
               " dal sensore destro (picco al limite dei ritardi: " + delayText(result, n) + ")";
    }
    return "Picco al limite dei ritardi, la sorgente può essere oltre: " + delayText(result, n);
}

std::string verdictText(const Result& result, const Numbers& n) {
    switch (result.verdict) {
    case Verdict::Source:
        return "Sorgente" + whereText(result, n);
    case Verdict::None:
        return "Nessuna sorgente chiara (contrasto " + fixedNumber(result.contrast, 1, n.point) +
               "; picco più alto a " + n.lag(result.lag) + " campioni)";
    case Verdict::Ambiguous:
        return "Ambigua: due picchi alti uguali entro il rumore, a " +
               secondText(
                   result.lag, result.bearing ? std::optional((*result.bearing)[0]) : std::nullopt,
                   result.position ? std::optional((*result.position)[0]) : std::nullopt, n) +
               " e a " +
               secondText(*result.secondLag, result.secondBearing, result.secondPosition, n);
    case Verdict::NoDirection:
        return (alongPipe(result) ? "Sorgente fuori dal tratto tra i sensori: "
                                  : "Nessuna direzione compatibile con la geometria (base o "
                                    "velocità errate, o sorgente troppo vicina): ") +
               delayText(result, n);
    case Verdict::Edge:
        return edgeText(result, n);
    case Verdict::IdleRight:
    case Verdict::IdleLeft:
    case Verdict::IdleBoth:
        break;
    }
    return {};
}

std::string basisText(const Bearing::Basis& basis) {
    switch (basis.kind) {
    case Bearing::Basis::Kind::FirstWindow:
        return basis.windows > 1 ? "prima finestra di " + std::to_string(basis.windows) +
                                       " (integrando si usano tutte)"
                                 : "una finestra";
    case Bearing::Basis::Kind::Mean:
        return basis.windows == 1 ? "una finestra"
                                  : "media di " + std::to_string(basis.windows) + " finestre";
    case Bearing::Basis::Kind::Whitened:
        return "sbiancata su " + std::to_string(basis.samples) + " campioni";
    }
    return {};
}

std::string rate(std::uint64_t hertz) {
    return CaptureOptions::formatSampleRate(hertz);
}

} // namespace

std::string sectorText(std::uint64_t sampleRate, const Geometry& geometry, std::string_view point) {
    const Numbers n{point};
    const Bearing::Sector sector = Bearing::sectorOf(sampleRate, geometry);
    const std::string given =
        "Con " + fixedNumber(geometry.baseline, 2, point) + " m a " + rate(sampleRate);
    const bool pipe = geometry.kind == Geometry::Kind::Pipe;
    if (sector.lagsAcross > kMaxLag) {
        return pipe ? given + " si vede il tratto entro " + n.metres(sector.half) +
                          " dal centro; per tutto il tratto al massimo " + rate(sector.fullRate)
                    : given + " si vedono \u00B1" + n.degrees(sector.half) +
                          "; per \u00B190\u00B0 al massimo " + rate(sector.fullRate);
    }
    if (sector.lagsAcross < Bearing::kFewLags) {
        const std::string step = pipe ? n.metres(sector.resolution) : n.degrees(sector.resolution);
        return given + " un ritardo vale " + step + "; per una risposta più fine fino a " +
               rate(sector.fullRate);
    }
    return {};
}

std::string resultText(const Result& result, std::string_view point) {
    const Numbers n{point};
    if (Bearing::isIdle(result.verdict)) {
        return idleText(result);
    }
    std::string text = verdictText(result, n);
    if (result.verdict != Verdict::None) {
        text += ", contrasto " + fixedNumber(result.contrast, 1, point);
    }
    text += "; " + basisText(result.basis) + ".";
    if (result.lowerRate) {
        text += " Il picco è più largo dei ritardi: la frequenza è molto sopra la banda della "
                "sorgente, provare " +
                rate(*result.lowerRate) + ".";
    }
    if (result.geometry) {
        if (const std::string sector = sectorText(result.sampleRate, *result.geometry, point);
            !sector.empty()) {
            text += " " + sector + ".";
        }
    }
    return text;
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
