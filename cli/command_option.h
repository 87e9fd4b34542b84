#pragma once

#include <QString>
#include <QStringList>
#include <span>

// One option of the command line, as sigrok-cli's optargs[] holds them: the
// parser, --help and the list of accepted options are all made from the one
// table, and so is the check that every option given is honoured.
struct CommandOption {
    // The runs an option can take part in, as a set of bits.
    enum Run : unsigned {
        Window = 1,
        OneScan = 2, // --csv, -o
        Summary = 4,
        Listing = 8, // --scan
        Follow = 16,
        AnyRun = 31,
    };

    const char* shortName; // "" when there is none
    const char* longName;
    const char* argument; // as --help shows it after the names; "" for none
    bool takesValue;
    unsigned honouredBy; // Run bits
    // Italian, one line per '\n'; %1... are filled in by the help's maker.
    const char* help;

    // "-d/--driver", "--csv".
    QString names() const;
    // "-d, --driver DRIVER", as --help starts the option's lines.
    QString helpLabel() const;
    QStringList parserNames() const;
};

std::span<const CommandOption> commandOptions();
const CommandOption& commandOption(const char* longName);
