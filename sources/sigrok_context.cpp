#include "sigrok_context.h"

namespace SigrokContext {

namespace {

// libsigrokcxx keeps the structure as a protected member of the base class:
// a member pointer taken in a derived class reaches it.
struct Structure : sigrok::Configurable {
    static sr_dev_driver* of(sigrok::Configurable& configurable) {
        return configurable.*(&Structure::config_driver);
    }
};

} // namespace

sr_dev_driver* structureOf(sigrok::Driver& driver) {
    return Structure::of(driver);
}

LibsigrokLog& log() {
    static LibsigrokLog record;
    return record;
}

std::shared_ptr<sigrok::Context> get() {
    static const std::shared_ptr<sigrok::Context> context = [] {
        // The record outlives the context, which may still log as it goes.
        log();
        auto created = sigrok::Context::create();
        created->set_log_callback([](const sigrok::LogLevel* level, std::string message) {
            if (level->id() <= sigrok::LogLevel::WARN->id()) {
                log().record(std::move(message));
            }
        });
        return created;
    }();
    return context;
}

} // namespace SigrokContext
