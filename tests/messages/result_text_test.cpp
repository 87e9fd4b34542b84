// The result line and the CSV columns, from results as the analysis states
// them: the verdict first, the 95 % interval, what was analysed, and what
// the rate and the geometry let it see.

#include "result_csv.h"
#include "result_text.h"

#include <gtest/gtest.h>

namespace {

using namespace Bearing;

Result result(Verdict verdict, double lag, std::optional<Geometry> geometry = std::nullopt,
              std::uint64_t rate = 50'000) {
    Result r;
    r.verdict = verdict;
    r.lag = lag;
    r.delayUs = lag / static_cast<double>(rate) * 1e6;
    r.lagLow = lag - 0.5;
    r.lagHigh = lag + 0.5;
    r.contrast = 12.34;
    r.sampleRate = rate;
    r.geometry = geometry;
    r.basis = {Basis::Kind::Mean, 108, 0};
    return r;
}

TEST(ResultText, OpensWithTheVerdict) {
    const Geometry pipe{100.0, 1300.0, Geometry::Kind::Pipe};
    Result none = result(Verdict::None, -0.89);
    none.contrast = 2.7;
    none.basis = {Basis::Kind::FirstWindow, 108, 0};
    Result source = result(Verdict::Source, 3.0, Geometry{0.3});
    source.bearing = {{10.3, 9.8, 10.8}};
    Result ambiguous = result(Verdict::Ambiguous, 3.2, Geometry{0.3});
    ambiguous.secondLag = -15.4;
    ambiguous.bearing = {{10.3, 9.8, 10.8}};
    ambiguous.secondBearing = -40.2;
    Result edge = result(Verdict::Edge, 120.0, Geometry{1.0});
    edge.bearing = {{55.4, 55.2, 55.4}};
    Result placed = result(Verdict::Source, 26.0, pipe);
    placed.position = {{49.66, 49.65, 49.67}};
    Result whitened = result(Verdict::Source, 3.0);
    whitened.basis = {Basis::Kind::Whitened, 108, 130'000};
    Result quiet = result(Verdict::IdleLeft, 0.0);
    quiet.idleThroughout = false;
    const struct {
        Result result;
        std::string text;
    } cases[] = {
        {none, "Nessuna sorgente chiara (contrasto 2,7; picco più alto a -0,89 campioni); prima "
               "finestra di 108 (integrando si usano tutte)."},
        {source, "Sorgente a 10,3° (95 %: da 9,8° a 10,8°): ritardo 3,00 campioni = 60,0 µs, "
                 "contrasto 12,3; media di 108 finestre."},
        {ambiguous, "Ambigua: due picchi alti uguali entro il rumore, a 3,20 campioni (10,3°) e a "
                    "-15,40 campioni (-40,2°), contrasto 12,3; media di 108 finestre."},
        {edge, "Sorgente oltre 55,4° a destra (picco al limite dei ritardi: ritardo 120,00 "
               "campioni = 2400,0 µs), contrasto 12,3; media di 108 finestre. Con 1,00 m a 50 kHz "
               "si vedono ±55,4°; per ±90° al massimo 41 kHz."},
        {placed, "Sorgente a 49,66 m dal sensore destro (95 %: da 49,65 m a 49,67 m): ritardo "
                 "26,00 campioni = 520,0 µs, contrasto 12,3; media di 108 finestre. Con 100,00 m a "
                 "50 kHz si vede il tratto entro 1,56 m dal centro; per tutto il tratto al massimo "
                 "1500 Hz."},
        {result(Verdict::NoDirection, 26.0, Geometry{0.5, 1300.0, Geometry::Kind::Pipe}),
         "Sorgente fuori dal tratto tra i sensori: ritardo 26,00 campioni = 520,0 µs, contrasto "
         "12,3; media di 108 finestre. Con 0,50 m a 50 kHz un ritardo vale 0,01 m; per una "
         "risposta più fine fino a 310 kHz."},
        {whitened, "Sorgente: ritardo 3,00 campioni = 60,0 µs (95 %: da 2,50 a 3,50 campioni), "
                   "contrasto 12,3; sbiancata su 130000 campioni."},
        {quiet, "Nessuna transizione in questa finestra (il ricevitore sinistro): integrare le "
                "finestre o abbassare la frequenza di campionamento."},
        {result(Verdict::IdleBoth, 0.0), "Nessuno dei due ricevitori cambia mai."},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(resultText(c.result, ","), c.text);
    }
}

TEST(ResultText, SectorNoteWhereTheLagsSeeLessOrCoarsely) {
    const struct {
        std::uint64_t rate;
        Geometry geometry;
        std::string text;
    } cases[] = {
        {1'000'000, Geometry{1.0},
         "Con 1.00 m a 1 MHz si vedono ±2.4°; per ±90° al massimo 41 kHz"},
        {50'000, Geometry{0.3}, ""},
        {50'000, Geometry{0.1},
         "Con 0.10 m a 50 kHz un ritardo vale 3.9°; per una risposta più fine fino a 410 kHz"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(sectorText(c.rate, c.geometry, "."), c.text);
    }
}

TEST(ResultText, TooFastARateSaysSoAndNamesALowerOne) {
    Result wide = result(Verdict::None, 3.0);
    wide.lowerRate = 41'000;
    EXPECT_NE(resultText(wide, ".").find("più largo dei ritardi"), std::string::npos);
    EXPECT_NE(resultText(wide, ".").find("provare 41 kHz"), std::string::npos);
}

TEST(ResultCsv, NewColumnsFollowTheOldOnes) {
    Result ambiguous =
        result(Verdict::Ambiguous, 3.2, Geometry{100.0, 1300.0, Geometry::Kind::Pipe});
    ambiguous.secondLag = -15.4;
    ambiguous.position = {{49.96, 49.95, 49.97}};
    EXPECT_EQ(ResultCsv::columns(ambiguous, ""),
              "ambiguous,3.20,64.00,,,,12.34,,108,2.70,3.70,-15.40,49.96,49.95,49.97");
    Result whitened = result(Verdict::Source, 3.0);
    whitened.basis = {Basis::Kind::Whitened, 108, 130'000};
    EXPECT_EQ(ResultCsv::columns(whitened, ""), "source,3.00,60.00,,,,12.34,,,2.50,3.50,,,,");
}

} // namespace
