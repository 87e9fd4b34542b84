#pragma once

#include <stdexcept>
#include <string>
#include <vector>

// Why an operation the operator asked for could not be done, as data: what
// went wrong, on which port, device, file or option value, the system's own
// words, and what exists instead where that helps. The operator's message in
// Italian is made from these by operatorMessage(); what() only sums them up,
// for logs and test failures.
class OperatorError : public std::runtime_error {
public:
    enum class Kind {
        // The parallel port; the subject is its ppdev device path.
        PortMissing,          // no ppdev port, and this kernel offers no direct access
        PortPermissionDenied, // the ppdev device exists but this user may not open it
        PortBusy,             // another program holds the port
        PortNotAParallelPort, // the device path names something other than a ppdev port
        PortLockdown,         // no ppdev port, direct access refused by kernel lockdown
        PortNeedsRoot,        // no ppdev port, direct access needs root
        PortNotAnswering,     // direct access granted, but no port answers at its address
        PortLost,             // the port stopped answering while in use
        PortStalled,          // a scan overran its time; the limit in seconds is the detail
        PortUnexpected,       // any other system error
        // A libsigrok device; the subject is the driver as the operator gave it.
        DeviceNotFound,
        DevicePermissionDenied,
        DeviceFirmwareMissing,
        DeviceBusy,
        DeviceRateNotOffered, // the rate asked for, in hertz, is the detail; choices: the rates
        DeviceRateOutOfRange, // likewise; choices: the lowest rate, the highest and the step
        DeviceChannelUnknown, // the unknown channel is the detail; choices: the device's channels
        DeviceLost,           // the device went away during the capture
        DeviceShortCapture,   // the samples received are the detail; choices: those asked for
        // A step that did not end in time; the limit in seconds is the detail.
        DeviceScanStalled,    // looking for the device
        DeviceOpenStalled,    // opening it, with its firmware
        DeviceStartStalled,   // starting the acquisition
        DeviceCaptureStalled, // the acquisition itself
        DeviceStopStalled,    // stopping it once its samples are in
        DeviceCloseStalled,   // closing the device
        DeviceUnexpected,
        DeviceMemoryTooSmall, // the samples the board holds are the detail
        // A capture file; the subject is its path as the operator gave it.
        FileUnreadable,        // the system's reason is the detail
        FileNotSession,        // not a zip, truncated, or no metadata; the detail says which
        FileUnitSizeInvalid,   // the unit size as written is the detail
        FileSampleRateMissing, // no rate, or a rate of 0
        FileSampleRateInvalid, // the rate as written is the detail
        FileTooManyChannels,   // the channel count as written is the detail
        FileChannelMissing,    // the missing channel is the detail; choices: the file's channels
        FileTooShort,          // the samples it holds are the detail
        FileNoLogicData,       // analog channels only
        FileCorrupt,           // the entry whose checksum fails is the detail
        FileNotWritten,        // the system's reason is the detail
        FileTargetNotRegular,  // a save's target exists and is a device, a FIFO or a folder
        OutputNotWritten,      // standard output refused the CSV; the system's reason is the detail
        FileReadStalled,       // reading overran its time; the limit in seconds is the detail
        FileUnexpected,        // libsigrok's words are the detail
        FileChannelRepeated,   // a channel named twice; its name is the detail
        FileCompressionUnsupported, // the entry packed in a way libzip cannot unpack is the detail
        // Recording the rows of continuous scanning; the subject is the file's path.
        RecordingStopped,    // a row could not be written whole; the system's reason is the
                             // detail; choices: the rows this recording kept, unless the file
                             // could not be cut back to its last whole row
        RecordingFileGone,   // the path no longer names the file being written
        FollowStillStopping, // the last continuous scan has not let its source go yet
        // The command line; the subject is the value the operator wrote.
        OptionUnknown,
        OptionValueMissing,
        DriverUnknown,     // choices: the drivers libsigrok has
        ScanOptionUnknown, // the driver is the detail; choices: its scan options
        ScanOptionInvalid, // the driver's message is the detail
        SampleRateInvalid,
        SampleRateTooLow, // a scan would take too long; the lowest rate is the detail
        ChannelsInvalid,
        ConfigInvalid,           // a --config item not of the form KEY=VALUE
        ConfigKeyReserved,       // a key the scan sets itself
        ConfigKeyUnknown,        // the device is the detail; choices: the keys it can set
        ConfigValueInvalid,      // "KEY=VALUE" is the subject; the reason, when known, the detail
        NoAnalyserFound,         // --scan found nothing
        RowPeriodInvalid,        // not seconds from the shortest row period to the longest
        CountInvalid,            // not a whole number of rows of at least 1
        SampleRateWithoutDevice, // the option and its value as written
        GeometryInvalid,      // a baseline or speed that is no finite positive number; the option
                              // is the detail
        ArgumentExtra,        // a second file
        FileWithOption,       // an option that a file replaces, without the window; the file is the
                              // detail
        OptionNotHonoured,    // an option the run chosen has no use for; the detail is the option
                              // that chose the run ("" for the window); choices: those with a
                              // use for it, "" for the window
        OptionNeedsOther,     // an option that means nothing alone; choices: what it needs, any one
        RunsExclusive,        // two options that choose what the program does; the one that won is
                              // the detail
        StandardOutputClosed, // the run writes to standard output, which was closed
        AnalyserListCut, // --scan overran its bound, the seconds; the subject: the drivers that
                         // did not answer; choices: those not reached
        // --simulate other than LAG or LAG:LAG_END:SECONDS within their bounds.
        SimulationInvalid,
        SourcesExclusive, // two options that each name the source; the other is the detail
        // The simulated source; the subject is what it is called.
        SimulationStalled, // it made no samples in time; the limit in seconds is the detail
        // Two options that each choose the analysis, or each the geometry;
        // the other is the detail.
        AnalysesExclusive,
        GeometriesExclusive,
    };

    OperatorError(Kind kind, std::string subject, std::string detail = {},
                  std::vector<std::string> choices = {});

    Kind kind() const { return kind_; }
    const std::string& subject() const { return subject_; }
    const std::string& detail() const { return detail_; }
    const std::vector<std::string>& choices() const { return choices_; }

private:
    Kind kind_;
    std::string subject_;
    std::string detail_;
    std::vector<std::string> choices_;
};
