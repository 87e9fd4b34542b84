#include "correlogram_csv.h"
#include "sector_correlator.h"

#include <cstdlib>
#include <gtest/gtest.h>
#include <locale>
#include <memory>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

std::vector<std::string> linesOf(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream stream(text);
    for (std::string line; std::getline(stream, line);) {
        lines.push_back(line);
    }
    return lines;
}

// Values that need all 17 digits, and a zero. The whole text of a known
// capture is checked where the program writes it, in the windowless test.
std::unique_ptr<SampleStore> analysedStore() {
    auto store = std::make_unique<SampleStore>();
    for (int i = 1; i <= kSamples; ++i) {
        store->channelLeft[i] = static_cast<std::uint8_t>((i * 7 / 3) % 2);
        store->channelRight[i] = static_cast<std::uint8_t>((i * 5 / 4) % 2);
    }
    SectorCorrelator::analyse(*store, [](Side, int, double) {});
    store->correlationRight[kMaxLag] = 0.0;
    return store;
}

TEST(CorrelogramCsv, EveryValueReadsBackAsTheSameDoubleInAnyLocale) {
    const auto store = analysedStore();
    // A locale with a decimal comma, where one is installed, must not change the text.
    const std::string plain = correlogramCsv(store->correlationLeft, store->correlationRight);
    try {
        std::locale::global(std::locale("it_IT.UTF-8"));
    } catch (const std::runtime_error&) {
    }
    EXPECT_EQ(correlogramCsv(store->correlationLeft, store->correlationRight), plain);
    std::locale::global(std::locale::classic());

    const auto lines = linesOf(plain);
    ASSERT_EQ(lines.size(), 243U);
    for (int row = 0; row < 242; ++row) {
        const std::string& line = lines[static_cast<std::size_t>(row + 1)];
        const double value = std::strtod(line.substr(line.rfind(',') + 1).c_str(), nullptr);
        const double expected = row <= kMaxLag ? store->correlationLeft[row]
                                               : store->correlationRight[row - kMaxLag - 1];
        EXPECT_EQ(value, expected) << line;
    }
}

} // namespace
