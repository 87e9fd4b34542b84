// How well lag estimators find a source in simulated scenes: the SNR each
// needs, its false claims with no common source, and whether its intervals
// hold the truth. Estimators are registered in main, one line each.
//
//   scene_bench [--quick] [--nulls-only] [--scenes N] [--null-scenes N] [--samples N] [--rate HZ]
//               [--band-low HZ] [--band-high HZ] [--tone HZ] [--rt60 S] [--drr DB]

#include "estimate.h"
#include "instrument_estimators.h"
#include "median.h"
#include "reference_estimators.h"
#include "scenes.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <optional>
#include <string>
#include <vector>

namespace {

struct Options {
    int scenes = 20;
    int nullScenes = 100;
    // The false-claim table alone, for counts in the thousands.
    bool nullsOnly = false;
    // Every scene's; null scenes run at every rate in kNullRates instead.
    SceneSettings scene;
};

// A claim is right within this many samples of the truth, or when the
// estimator's interval holds it.
constexpr double kRightWithin = 2.0;
constexpr double kLowestSnr = -30.0;
constexpr double kHighestSnr = 30.0;
constexpr double kCoarseStep = 2.0;
constexpr double kFineStep = 0.5;
constexpr std::array kNullRates{50e3, 1e6, 24e6};
// Seeds of null scenes, apart from the source scenes' 0, 1, ...
constexpr std::uint64_t kNullSeeds = 1'000'000;

constexpr std::array kSpectra{Spectrum::White, Spectrum::Pink, Spectrum::Band, Spectrum::Tone};
constexpr std::array kNullSpectra{Spectrum::White, Spectrum::Pink, Spectrum::Band};
constexpr std::array kRooms{Room::Free, Room::Reverberant};
// Lower edges of the contrast bands the intervals are judged in.
constexpr std::array kContrastBands{0.0, 6.5, 10.0, 20.0, 40.0};

const char* nameOf(Spectrum spectrum) {
    switch (spectrum) {
    case Spectrum::White:
        return "white";
    case Spectrum::Pink:
        return "pink";
    case Spectrum::Band:
        return "band";
    case Spectrum::Tone:
        return "tone";
    }
    return "";
}

const char* nameOf(Room room) {
    switch (room) {
    case Room::Free:
        return "free";
    case Room::Reverberant:
        return "room";
    }
    return "";
}

// A number, all of the text.
std::optional<double> numberIn(const char* text) {
    char* end = nullptr;
    const double value = std::strtod(text, &end);
    return end != text && *end == '\0' && std::isfinite(value) ? std::optional(value)
                                                               : std::nullopt;
}

std::optional<Options> parse(int argc, char** argv) {
    Options options;
    double scenes = options.scenes;
    double nullScenes = options.nullScenes;
    double samples = options.scene.samples;
    const std::array<std::pair<const char*, double*>, 9> flags{{
        {"--scenes", &scenes},
        {"--null-scenes", &nullScenes},
        {"--samples", &samples},
        {"--rate", &options.scene.rate},
        {"--band-low", &options.scene.bandLow},
        {"--band-high", &options.scene.bandHigh},
        {"--tone", &options.scene.tone},
        {"--rt60", &options.scene.rt60},
        {"--drr", &options.scene.directToReverberantDb},
    }};
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--quick") == 0) {
            scenes = 6;
            nullScenes = 20;
            continue;
        }
        if (std::strcmp(argv[i], "--nulls-only") == 0) {
            options.nullsOnly = true;
            continue;
        }
        const auto flag = std::find_if(flags.begin(), flags.end(), [&](const auto& entry) {
            return std::strcmp(argv[i], entry.first) == 0;
        });
        const auto value = flag != flags.end() && i + 1 < argc ? numberIn(argv[++i]) : std::nullopt;
        if (!value) {
            return std::nullopt;
        }
        *flag->second = *value;
    }
    options.scenes = static_cast<int>(scenes);
    options.nullScenes = static_cast<int>(nullScenes);
    options.scene.samples = static_cast<int>(samples);
    const auto& scene = options.scene;
    const bool valid = options.scenes > 0 && options.nullScenes > 0 &&
                       scene.samples >= GccPhat::kBlock && scene.rate > 0.0 &&
                       scene.bandLow < scene.bandHigh && scene.tone > 0.0 &&
                       scene.rt60 > scene.firstReflection;
    return valid ? std::optional(options) : std::nullopt;
}

// One claim on a source scene, as the interval table needs it.
struct Claim {
    double contrast;
    bool right;
    bool hasInterval;
    bool covered;
    double width;
    double error;
};

bool isRight(const Estimate& estimate, double truth) {
    return std::abs(estimate.lag - truth) <= kRightWithin ||
           (estimate.low <= truth && truth <= estimate.high);
}

Claim claimOf(const Estimate& estimate, double truth) {
    const bool hasInterval = std::isfinite(estimate.low) && std::isfinite(estimate.high);
    return {estimate.contrast,
            isRight(estimate, truth),
            hasInterval,
            hasInterval && estimate.low <= truth && truth <= estimate.high,
            estimate.high - estimate.low,
            std::abs(estimate.lag - truth)};
}

std::vector<Scene> hearAll(const SceneGenerator& generator, const std::vector<Arrival>& arrivals,
                           double snrDb) {
    std::vector<Scene> scenes;
    scenes.reserve(arrivals.size());
    for (const auto& arrival : arrivals) {
        scenes.push_back(generator.hear(arrival, snrDb));
    }
    return scenes;
}

// Right claims over the scenes; every claim is added to claims when given.
int rightClaims(const Estimator& estimator, const std::vector<Scene>& scenes,
                std::vector<Claim>* claims) {
    int right = 0;
    for (const auto& scene : scenes) {
        const Estimate estimate = estimator(scene);
        if (!estimate.claimed) {
            continue;
        }
        const Claim claim = claimOf(estimate, *scene.lag);
        right += claim.right ? 1 : 0;
        if (claims != nullptr) {
            claims->push_back(claim);
        }
    }
    return right;
}

std::vector<double> coarseGrid() {
    std::vector<double> grid;
    for (double snr = kLowestSnr; snr <= kHighestSnr; snr += kCoarseStep) {
        grid.push_back(snr);
    }
    return grid;
}

// Per estimator; nothing when not reached by kHighestSnr.
using Thresholds = std::vector<std::optional<double>>;

// The lowest SNR on the coarse grid at which at least needed scenes are
// claimed right, then the lowest on the fine steps below it that is.
std::optional<double> thresholdOf(const Estimator& estimator, const SceneGenerator& generator,
                                  const std::vector<Arrival>& arrivals,
                                  const std::vector<int>& coarseRight, int needed) {
    const auto grid = coarseGrid();
    const auto hit = std::find_if(coarseRight.begin(), coarseRight.end(),
                                  [needed](int right) { return right >= needed; });
    if (hit == coarseRight.end()) {
        return std::nullopt;
    }
    const double coarse = grid[static_cast<std::size_t>(hit - coarseRight.begin())];
    for (double snr = coarse - kCoarseStep + kFineStep; snr > kLowestSnr && snr < coarse;
         snr += kFineStep) {
        if (rightClaims(estimator, hearAll(generator, arrivals, snr), nullptr) >= needed) {
            return snr;
        }
    }
    return coarse;
}

// The thresholds of one spectrum in one room.
Thresholds scanGroup(const std::vector<NamedEstimator>& estimators, const SceneSettings& settings,
                     int sceneCount, std::vector<std::vector<Claim>>& claims) {
    const SceneGenerator generator(settings);
    std::vector<Arrival> arrivals;
    for (int seed = 0; seed < sceneCount; ++seed) {
        arrivals.push_back(generator.source(static_cast<std::uint64_t>(seed)));
    }
    std::vector<std::vector<int>> coarseRight(estimators.size());
    for (const double snr : coarseGrid()) {
        const auto scenes = hearAll(generator, arrivals, snr);
        for (std::size_t e = 0; e < estimators.size(); ++e) {
            coarseRight[e].push_back(rightClaims(estimators[e].estimate, scenes, &claims[e]));
        }
    }
    const int needed = (sceneCount + 1) / 2;
    Thresholds thresholds;
    for (std::size_t e = 0; e < estimators.size(); ++e) {
        thresholds.push_back(
            thresholdOf(estimators[e].estimate, generator, arrivals, coarseRight[e], needed));
    }
    return thresholds;
}

std::string thresholdText(const std::optional<double>& threshold) {
    char text[16];
    if (!threshold) {
        std::snprintf(text, sizeof text, "> %.0f", kHighestSnr);
    } else if (*threshold <= kLowestSnr) {
        std::snprintf(text, sizeof text, "<= %.0f", kLowestSnr);
    } else {
        std::snprintf(text, sizeof text, "%.1f", *threshold);
    }
    return text;
}

void printThresholds(const std::vector<NamedEstimator>& estimators,
                     const std::vector<std::vector<Thresholds>>& byRoom, const Options& options) {
    std::printf("\nSNR (dB) at which at least half of %d scenes are claimed at the right lag "
                "(%.0f Hz, %d samples)\n",
                options.scenes, options.scene.rate, options.scene.samples);
    std::printf("%-24s %-6s", "estimator", "room");
    for (const Spectrum spectrum : kSpectra) {
        std::printf(" %8s", nameOf(spectrum));
    }
    std::printf("\n");
    for (std::size_t e = 0; e < estimators.size(); ++e) {
        for (std::size_t r = 0; r < kRooms.size(); ++r) {
            std::printf("%-24s %-6s", estimators[e].name.c_str(), nameOf(kRooms[r]));
            for (const auto& group : byRoom[r]) {
                std::printf(" %8s", thresholdText(group[e]).c_str());
            }
            std::printf("\n");
        }
    }
}

void printIntervals(const std::string& name, const std::vector<Claim>& claims) {
    std::printf("%s\n", name.c_str());
    std::printf("  %-12s %7s %7s %9s %9s %9s\n", "contrast", "claims", "right", "coverage", "width",
                "|error|");
    for (std::size_t b = 0; b < kContrastBands.size(); ++b) {
        const double low = kContrastBands[b];
        const double high = b + 1 < kContrastBands.size() ? kContrastBands[b + 1]
                                                          : std::numeric_limits<double>::infinity();
        int count = 0;
        int right = 0;
        int withInterval = 0;
        int covered = 0;
        std::vector<double> widths;
        std::vector<double> errors;
        for (const auto& claim : claims) {
            if (claim.contrast < low || claim.contrast >= high) {
                continue;
            }
            ++count;
            right += claim.right ? 1 : 0;
            errors.push_back(claim.error);
            if (claim.hasInterval) {
                ++withInterval;
                covered += claim.covered ? 1 : 0;
                widths.push_back(claim.width);
            }
        }
        if (count == 0) {
            continue;
        }
        char band[24];
        std::snprintf(band, sizeof band, "[%.1f, %.1f)", low, high);
        std::printf("  %-12s %7d %6.1f%%", band, count, 100.0 * right / count);
        if (withInterval > 0) {
            std::printf(" %8.1f%% %9.2f", 100.0 * covered / withInterval, median(widths));
        } else {
            std::printf(" %9s %9s", "-", "-");
        }
        std::printf(" %9.2f\n", median(errors));
    }
}

// Null scenes are heard with no noise of the receivers' own, the hardest
// case for a correlator of bits, and again with it 30 dB below the sources,
// as real receivers have it; without it, a band-limited source leaves the
// bins outside its band to the blocks' leakage alone.
constexpr std::array kNullSnrsDb{std::numeric_limits<double>::infinity(), 30.0};

std::string noiseText(double snrDb) {
    char text[16];
    std::snprintf(text, sizeof text, std::isfinite(snrDb) ? "%.0f dB" : "none", snrDb);
    return text;
}

// Claims per estimator, per spectrum, per noise of the receivers, per rate.
using NullCounts = std::vector<std::vector<std::vector<std::vector<int>>>>;

NullCounts countNullClaims(const std::vector<NamedEstimator>& estimators, const Options& options) {
    NullCounts counts(
        estimators.size(),
        std::vector(kNullSpectra.size(),
                    std::vector(kNullSnrsDb.size(), std::vector<int>(kNullRates.size()))));
    for (std::size_t s = 0; s < kNullSpectra.size(); ++s) {
        for (std::size_t r = 0; r < kNullRates.size(); ++r) {
            SceneSettings settings = options.scene;
            settings.spectrum = kNullSpectra[s];
            settings.rate = kNullRates[r];
            const SceneGenerator generator(settings);
            for (int seed = 0; seed < options.nullScenes; ++seed) {
                const auto arrival = generator.null(kNullSeeds + static_cast<std::uint64_t>(seed));
                for (std::size_t n = 0; n < kNullSnrsDb.size(); ++n) {
                    const Scene scene = generator.hear(arrival, kNullSnrsDb[n]);
                    for (std::size_t e = 0; e < estimators.size(); ++e) {
                        counts[e][s][n][r] += estimators[e].estimate(scene).claimed ? 1 : 0;
                    }
                }
            }
        }
    }
    return counts;
}

void printNullClaims(const std::vector<NamedEstimator>& estimators, const NullCounts& counts,
                     const Options& options) {
    std::printf("\nClaims over null scenes, two unrelated sources of one spectrum, by the "
                "receivers' own noise and the rate (claims / %d scenes)\n",
                options.nullScenes);
    std::printf("%-24s %-6s %-8s", "estimator", "source", "noise");
    for (const double rate : kNullRates) {
        std::printf(" %8.0f", rate);
    }
    std::printf("\n");
    for (std::size_t e = 0; e < estimators.size(); ++e) {
        for (std::size_t s = 0; s < kNullSpectra.size(); ++s) {
            for (std::size_t n = 0; n < kNullSnrsDb.size(); ++n) {
                std::printf("%-24s %-6s %-8s", estimators[e].name.c_str(), nameOf(kNullSpectra[s]),
                            noiseText(kNullSnrsDb[n]).c_str());
                for (const int count : counts[e][s][n]) {
                    std::printf(" %8d", count);
                }
                std::printf("\n");
            }
        }
    }
}

void run(const std::vector<NamedEstimator>& estimators, const Options& options) {
    if (options.nullsOnly) {
        printNullClaims(estimators, countNullClaims(estimators, options), options);
        return;
    }
    std::vector<std::vector<Claim>> claims(estimators.size());
    std::vector<std::vector<Thresholds>> byRoom(kRooms.size());
    for (std::size_t r = 0; r < kRooms.size(); ++r) {
        for (const Spectrum spectrum : kSpectra) {
            SceneSettings settings = options.scene;
            settings.spectrum = spectrum;
            settings.room = kRooms[r];
            byRoom[r].push_back(scanGroup(estimators, settings, options.scenes, claims));
            std::fprintf(stderr, "scanned %s, %s\n", nameOf(spectrum), nameOf(kRooms[r]));
        }
    }
    printThresholds(estimators, byRoom, options);
    printNullClaims(estimators, countNullClaims(estimators, options), options);
    std::printf("\nClaims on source scenes at every SNR of the %.0f dB grid, by contrast: right "
                "within %.0f samples or the interval; coverage: the interval holds the truth; "
                "medians of the interval's width and of |error|, in samples\n",
                kCoarseStep, kRightWithin);
    for (std::size_t e = 0; e < estimators.size(); ++e) {
        printIntervals(estimators[e].name, claims[e]);
    }
}

} // namespace

int main(int argc, char** argv) {
    const auto options = parse(argc, argv);
    if (!options) {
        std::fprintf(
            stderr,
            "usage: %s [--quick] [--nulls-only] [--scenes N] [--null-scenes N] [--samples N] "
            "[--rate HZ] [--band-low HZ] [--band-high HZ] [--tone HZ] [--rt60 S] "
            "[--drr DB]\n",
            argv[0]);
        return 2;
    }
    const auto start = std::chrono::steady_clock::now();
    std::vector<NamedEstimator> estimators{gccPhatReference(options->scene.samples)};
    for (std::size_t analysis = 0; analysis < kInstrumentAnalyses; ++analysis) {
        estimators.push_back(instrumentEstimator(analysis));
    }
    run(estimators, *options);
    const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - start;
    std::printf("\nrun took %.0f s\n", elapsed.count());
    // The tables are the run's result: one that was not all written fails it.
    if (std::fflush(stdout) != 0 || std::ferror(stdout) != 0) {
        std::fprintf(stderr, "%s: the tables could not be written\n", argv[0]);
        return 1;
    }
    return 0;
}
