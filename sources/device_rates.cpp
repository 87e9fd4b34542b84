#include "device_rates.h"

#include <libsigrokcxx/libsigrokcxx.hpp>

namespace {

// The array of 64-bit values under name in the device's answer, if any.
std::optional<std::vector<std::uint64_t>> valuesUnder(GVariant* answer, const char* name) {
    GVariant* values = g_variant_lookup_value(answer, name, G_VARIANT_TYPE("at"));
    if (!values) {
        return std::nullopt;
    }
    gsize count = 0;
    const auto* first =
        static_cast<const guint64*>(g_variant_get_fixed_array(values, &count, sizeof(guint64)));
    std::vector<std::uint64_t> list(first, first + count);
    g_variant_unref(values);
    return list;
}

} // namespace

OfferedRates offeredRatesOf(sigrok::Device& device) {
    OfferedRates rates;
    try {
        const Glib::VariantContainerBase answer = device.config_list(sigrok::ConfigKey::SAMPLERATE);
        GVariant* const dict = const_cast<GVariant*>(answer.gobj());
        if (auto listed = valuesUnder(dict, "samplerates")) {
            rates.listed = std::move(*listed);
        } else if (auto steps = valuesUnder(dict, "samplerate-steps");
                   steps && steps->size() == 3) {
            rates.range = {(*steps)[0], (*steps)[1], (*steps)[2]};
        }
    } catch (const sigrok::Error&) {
        // No list: the device's answer to a rate decides.
    }
    return rates;
}
