#pragma once

#include "libsigrok_log.h"

#include <libsigrokcxx/libsigrokcxx.hpp>
#include <memory>

// The process's one libsigrok context. Drivers are process-wide: destroying
// a second context would de-initialise them for the first, so every user
// shares this one. Its log goes to the record below instead of stderr.
namespace SigrokContext {

std::shared_ptr<sigrok::Context> get();
LibsigrokLog& log();

// The driver's C structure, for the calls libsigrokcxx does not wrap.
sr_dev_driver* structureOf(sigrok::Driver& driver);

} // namespace SigrokContext
