#include "instrument_constants.h"
#include "operator_error.h"
#include "operator_message.h"

#include <cstdio>
#include <gtest/gtest.h>
#include <set>
#include <string>
#include <vector>

namespace {

using Kind = OperatorError::Kind;

struct MessageCase {
    Kind kind;
    std::string subject;
    std::string detail;
    std::vector<std::string> choices;
    // Each must stand in the message: what went wrong and what to do.
    std::vector<std::string> fragments;
};

const std::string kModprobe = "modprobe parport_pc ppdev";
const std::string kLpGroup = "gruppo \"lp\"";

std::string hex(int address) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%X", static_cast<unsigned int>(address));
    return text;
}
const std::string kPortHex = hex(kPortAddress);
const std::string kControlHex = hex(kPortControlAddress);

const std::vector<MessageCase> kCases = {
    {Kind::PortMissing,
     "/dev/parport3",
     "",
     {},
     {"porta parallela", kModprobe, kPortHex, "\"Sorgente di acquisizione…\"", "-d"}},
    {Kind::PortPermissionDenied, "/dev/parport3", "", {}, {kLpGroup, "uscire dalla sessione"}},
    {Kind::PortBusy, "/dev/parport3", "", {}, {"occupata da un altro programma"}},
    {Kind::PortNotAParallelPort, "/dev/parport3", "", {}, {"non è una porta parallela", kModprobe}},
    {Kind::PortLockdown, "/dev/parport3", "", {}, {"Secure Boot", kPortHex, "ppdev", kModprobe}},
    {Kind::PortNeedsRoot, "/dev/parport3", "", {}, {"root", kPortHex, kModprobe, kLpGroup}},
    {Kind::PortNotAnswering, "/dev/parport3", "", {}, {kControlHex, "BIOS", "-d"}},
    {Kind::PortLost,
     "/dev/parport3",
     "Input/output error, codice 5",
     {},
     {"interrotta", "codice 5"}},
    {Kind::PortStalled, "/dev/parport3", "11", {}, {"11 s", "riavviare"}},
    {Kind::PortUnexpected, "/dev/parport3", "Input/output error, codice 5", {}, {"inatteso"}},
    {Kind::DeviceNotFound, "fx2lafw:conn=1.5", "", {}, {"collegato"}},
    {Kind::DevicePermissionDenied,
     "fx2lafw",
     "LIBUSB_ERROR_ACCESS",
     {},
     {"plugdev", "LIBUSB_ERROR_ACCESS"}},
    {Kind::DeviceFirmwareMissing, "fx2lafw", "", {}, {"sigrok-firmware-fx2lafw"}},
    {Kind::DeviceBusy, "fx2lafw", "", {}, {"occupato", "PulseView"}},
    {Kind::DeviceRateNotOffered,
     "fx2lafw",
     "2000000000",
     {"20 kHz", "24 MHz"},
     {"2000000000 Hz", "20 kHz, 24 MHz", "--samplerate"}},
    {Kind::DeviceRateOutOfRange,
     "demo",
     "2000000000",
     {"1 Hz", "1 GHz", "1 Hz"},
     {"2000000000 Hz", "da 1 Hz a 1 GHz a passi di 1 Hz", "--samplerate"}},
    {Kind::DeviceChannelUnknown, "demo", "D9", {"D0", "D1"}, {"\"D9\"", "D0, D1", "--channels"}},
    {Kind::DeviceLost, "fx2lafw", "", {}, {"interrotta", "collegamento"}},
    {Kind::DeviceShortCapture, "fx2lafw", "4096", {"5000"}, {"4096", "5000"}},
    {Kind::DeviceScanStalled,
     "fx2lafw",
     "10",
     {},
     {"non risponde", "ricerca", "10 s", "ricollegarlo"}},
    {Kind::DeviceOpenStalled,
     "fx2lafw",
     "20",
     {},
     {"non risponde", "firmware", "20 s", "PulseView"}},
    {Kind::DeviceStartStalled, "fx2lafw", "5", {}, {"non risponde", "avvio", "5 s"}},
    {Kind::DeviceCaptureStalled, "fx2lafw", "11", {}, {"non risponde", "l'acquisizione", "11 s"}},
    {Kind::DeviceStopStalled, "fx2lafw", "5", {}, {"non risponde", "l'arresto", "5 s"}},
    {Kind::DeviceCloseStalled, "fx2lafw", "5", {}, {"non risponde", "la chiusura", "5 s"}},
    {Kind::DeviceUnexpected, "fx2lafw", "strano", {}, {"inatteso", "strano"}},
    {Kind::DeviceMemoryTooSmall,
     "ols",
     "1024",
     {},
     {"1024 campioni", std::to_string(kMinimumSamples)}},
    {Kind::FileUnreadable, "a.sr", "No such file or directory", {}, {"No such file", "permessi"}},
    {Kind::FileNotSession, "a.sr", "non è un archivio zip", {}, {"archivio zip", "PulseView"}},
    {Kind::FileUnitSizeInvalid, "a.sr", "9", {}, {"unitsize", "\"9\"", "da 1 a 8"}},
    {Kind::FileSampleRateMissing, "a.sr", "", {}, {"frequenza", "vale 0"}},
    {Kind::FileSampleRateInvalid, "a.sr", "-5 kHz", {}, {"\"-5 kHz\"", "1000 GHz"}},
    {Kind::FileTooManyChannels, "a.sr", "100000", {}, {"100000 canali", "64"}},
    {Kind::FileChannelMissing, "a.sr", "D1", {"D0", "D2"}, {"\"D1\"", "D0, D2", "--channels"}},
    {Kind::FileTooShort, "a.sr", "1000", {}, {"1000 campioni", std::to_string(kMinimumSamples)}},
    {Kind::FileNoLogicData, "a.sr", "", {}, {"analogici", "logici"}},
    {Kind::FileCorrupt, "a.sr", "logic-1-1", {}, {"\"logic-1-1\"", "CRC"}},
    {Kind::FileNotWritten, "a.sr", "No space left on device", {}, {"No space", "non è stato"}},
    {Kind::FileTargetNotRegular, "/dev/null", "", {}, {"non è un file regolare", "altro nome"}},
    {Kind::OutputNotWritten, "", "No space left on device", {}, {"uscita standard", "No space"}},
    {Kind::FileReadStalled, "a.sr", "10", {}, {"lettura", "10 s"}},
    {Kind::FileUnexpected, "a.sr", "strano", {}, {"inatteso", "strano"}},
    {Kind::FileChannelRepeated, "a.sr", "D0", {}, {"due volte", "\"D0\""}},
    {Kind::FileCompressionUnsupported, "a.sr", "logic-1", {}, {"\"logic-1\"", "non supportato"}},
    {Kind::RecordingStopped,
     "righe.csv",
     "File too large",
     {"12"},
     {"\"righe.csv\"", "File too large. ", "riga intera", ": 12.", "Registra"}},
    {Kind::RecordingFileGone, "righe.csv", "", {}, {"\"righe.csv\"", "cancellato", "Registra"}},
    {Kind::FollowStillStopping, "", "", {}, {"non ha ancora lasciato", "Riprovare"}},
    {Kind::OptionUnknown,
     "--foo",
     "",
     {"-d/--driver", "--csv", "--follow"},
     {"\"--foo\"", "-d/--driver, --csv, --follow", "--help"}},
    {Kind::OptionValueMissing, "driver", "", {}, {"\"driver\"", "--help"}},
    {Kind::DriverUnknown,
     "fx3",
     "",
     {"demo", "fx2lafw"},
     {"\"fx3\"", "demo, fx2lafw", "DRIVER[:CHIAVE=VALORE...]"}},
    {Kind::ScanOptionUnknown,
     "porta",
     "demo",
     {"logic_channels"},
     {"\"porta\"", "\"demo\"", "logic_channels"}},
    {Kind::ScanOptionInvalid, "conn", "invalid argument", {}, {"\"conn\"", "DRIVER:CHIAVE=VALORE"}},
    {Kind::SampleRateInvalid, "1.5x", "", {}, {"\"1.5x\"", "50k, 1.5M o 200000"}},
    {Kind::SampleRateTooLow,
     "7",
     std::to_string(kLowestScanRate),
     {},
     {"\"7\"", std::to_string(kLowestScanRate) + " Hz",
      std::to_string(kLongestScan.count()) + " s"}},
    {Kind::ChannelsInvalid, "D0,D0", "", {}, {"\"D0,D0\"", "D0,D1"}},
    {Kind::SampleRateWithoutDevice, "--samplerate 50k", "", {}, {"-d fx2lafw --samplerate 50k"}},
    {Kind::ConfigInvalid, "samplerate", "", {}, {"\"samplerate\"", "CHIAVE=VALORE"}},
    {Kind::ConfigKeyReserved, "limit_samples", "", {}, {"\"limit_samples\"", "130000"}},
    {Kind::ConfigKeyUnknown,
     "pattern",
     "demo",
     {"averaging", "samplerate"},
     {"\"pattern\"", "\"demo\"", "averaging, samplerate"}},
    {Kind::ConfigValueInvalid,
     "averaging=banana",
     "",
     {},
     {"\"averaging=banana\"", "on/off", "true/false", "1/0"}},
    {Kind::NoAnalyserFound, "", "", {}, {"plugdev", "sigrok-firmware-fx2lafw", "conn="}},
    {Kind::RowPeriodInvalid, "0.01", "", {}, {"\"0.01\"", "da 0.05 a 2", "0.1"}},
    {Kind::CountInvalid, "0", "", {}, {"\"0\"", "--follow"}},
    {Kind::GeometryInvalid, "-1", "--baseline", {}, {"--baseline", "\"-1\"", "0.5"}},
    {Kind::ArgumentExtra, "b.sr", "", {}, {"\"b.sr\"", "un file"}},
    {Kind::FileWithOption, "-o", "a.sr", {}, {"-o", "\"a.sr\"", "dal file"}},
    {Kind::SourcesExclusive, "--simulate", "-d", {}, {"--simulate e -d", "una sola"}},
    {Kind::OptionNotHonoured,
     "--row-period",
     "--csv",
     {"", "--follow"},
     {"non vale con --csv", "vale con --follow e nella finestra"}},
    {Kind::OptionNeedsOther,
     "-C/--channels",
     "",
     {"-d/--driver", "FILE.sr"},
     {"insieme a -d/--driver o FILE.sr"}},
    {Kind::RunsExclusive, "--csv", "--follow", {}, {"--follow e --csv", "una sola"}},
    {Kind::StandardOutputClosed, "--summary", "", {}, {"chiusa", "nulla"}},
    {Kind::AnalyserListCut, "ols", "15", {"demo", "fx2lafw"}, {"15 s", "ols", "demo, fx2lafw"}},
    {Kind::SimulationInvalid, "5:10", "", {}, {"\"5:10\"", "da -120 a 120", "3600", "-30:30:10"}},
    {Kind::SimulationStalled, "simulatore", "5", {}, {"5 s", "più bassa"}},
    {Kind::AnalysesExclusive,
     "--whiten",
     "--integrate",
     {},
     {"--whiten e --integrate", "una sola"}},
    {Kind::GeometriesExclusive, "--baseline", "--pipe", {}, {"--baseline e --pipe", "una sola"}},
};

TEST(OperatorMessage, EveryKindHasItsOwnMessageNamingWhatFailedAndWhatToDo) {
    std::set<std::string> seen;
    for (const MessageCase& c : kCases) {
        const OperatorError error(c.kind, c.subject, c.detail, c.choices);
        const std::string message = operatorMessage(error);
        EXPECT_NE(message.find(c.subject), std::string::npos) << message;
        for (const std::string& fragment : c.fragments) {
            EXPECT_NE(message.find(fragment), std::string::npos) << fragment << " in " << message;
        }
        EXPECT_EQ(error.kind(), c.kind);
        // A step said not to end twice over: "non si è conclusa non si è concluso".
        EXPECT_EQ(message.find("non si è"), message.rfind("non si è")) << message;
        seen.insert(message);
    }
    EXPECT_EQ(seen.size(), kCases.size());
    EXPECT_EQ(kCases.size(), static_cast<std::size_t>(Kind::GeometriesExclusive) + 1)
        << "a kind has no case here";
}

// A list that comes out empty is left out, sentence and all.
TEST(OperatorMessage, AnEmptyListIsLeftOut) {
    for (const Kind kind : {Kind::DriverUnknown, Kind::DeviceChannelUnknown}) {
        const std::string message = operatorMessage(OperatorError(kind, "demo", "D0"));
        EXPECT_EQ(message.find(": ."), std::string::npos) << message;
        EXPECT_EQ(message.find(":  "), std::string::npos) << message;
        EXPECT_EQ(message.find(", ."), std::string::npos) << message;
    }
}

} // namespace
