#pragma once

#include "sample_store.h"

#include <string>

// The last analysis as comma-separated values, for spreadsheets and scripts:
// the header "sector,lag,value", then the left sector's lags 0..120 and the
// right's, in the order they were computed. Each value has 17 significant
// digits and a '.' whatever the locale, so that it reads back as the same double.
std::string correlogramCsv(const SampleStore::Correlogram& left,
                           const SampleStore::Correlogram& right);
