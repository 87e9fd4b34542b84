#include "correlogram_csv.h"

#include <charconv>

namespace {

void appendSector(std::string& text, const char* title, const SampleStore::Correlogram& values) {
    for (int lag = 0; lag <= kMaxLag; ++lag) {
        char value[32];
        const auto written =
            std::to_chars(value, value + sizeof value, values[lag], std::chars_format::general, 17);
        text += title;
        text += ',' + std::to_string(lag) + ',';
        text.append(value, written.ptr);
        text += '\n';
    }
}

} // namespace

std::string correlogramCsv(const SampleStore::Correlogram& left,
                           const SampleStore::Correlogram& right) {
    std::string text = "sector,lag,value\n";
    // The sectors by the titles the window gives them.
    appendSector(text, "SINISTRA", left);
    appendSector(text, "DESTRA", right);
    return text;
}
