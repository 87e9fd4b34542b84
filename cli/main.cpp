#include "command_line.h"
#include "form3.h"
#include "installed_sources.h"
#include "linux_port_io.h"
#include "operator_error.h"
#include "operator_message.h"
#include "result_csv.h"
#include "session_files.h"
#include "window_settings.h"
#include "windowless_run.h"

#include <QApplication>
#include <QLibraryInfo>
#include <QTimer>
#include <QTranslator>
#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <iostream>
#include <memory>
#include <tuple>
#include <unistd.h>
#include <utility>

namespace {

// Bad options end the program with status 2 before any window opens.
constexpr int kBadOptions = 2;

int fail(const OperatorError& error, int status = kBadOptions) {
    std::fprintf(stderr, "correlatore: %s\n", operatorMessage(error).c_str());
    return status;
}

bool closed(int descriptor) {
    return fcntl(descriptor, F_GETFD) == -1 && errno == EBADF;
}

// With a standard stream closed, the next file opened would take its place
// and receive what is meant for it. A run that writes to standard output
// cannot go on without it; any other stream gets /dev/null in its place.
// Returns whether the run may go on.
bool standardStreamsReady(const CommandLine& line) {
    if (line.outputWriter && closed(STDOUT_FILENO)) {
        std::fprintf(
            stderr, "correlatore: %s\n",
            operatorMessage({OperatorError::Kind::StandardOutputClosed, *line.outputWriter})
                .c_str());
        return false;
    }
    for (const int descriptor : {STDIN_FILENO, STDOUT_FILENO, STDERR_FILENO}) {
        if (closed(descriptor)) {
            const int null = open("/dev/null", O_RDWR);
            if (null >= 0 && null != descriptor) {
                dup2(null, descriptor);
                close(null);
            }
        }
    }
    return true;
}

// A capture worker still blocked in a driver call may hold state that the
// process's own clean-up would tear down under it: leave without that.
int finish(int status) {
    if (CaptureWorker::abandoned() > 0) {
        std::fflush(nullptr);
        std::_Exit(status);
    }
    return status;
}

// Without the window a file given is the scan; otherwise scans come from the
// analyser named, or from the parallel port.
std::shared_ptr<CaptureSource> scanSource(const CommandLine& line, CaptureSources& sources,
                                          CaptureFiles& files) {
    if (line.file && line.action == CommandLine::Action::RunWithoutWindow) {
        return files.open(*line.file);
    }
    if (line.simulation) {
        return sources.simulation(*line.simulation);
    }
    return line.device ? sources.analyser(line.analyser()) : sources.port();
}

// The window scans from the source named, or else from the one chosen in
// it the last time; channels named on the command line win for this run.
CaptureOptions::Source windowSource(const CommandLine& line) {
    if (line.device) {
        return line.analyser();
    }
    if (line.simulation) {
        return *line.simulation;
    }
    CaptureOptions::Source chosen = WindowSettings::sourceChoice();
    auto* analyser = std::get_if<CaptureOptions::Analyser>(&chosen);
    if (analyser && line.channels.choice == CaptureOptions::Channels::Choice::Named) {
        analyser->channels = line.channels;
    }
    return chosen;
}

// The source a run without the window follows, and where its samples come
// from: a file given is replayed.
std::pair<std::shared_ptr<SampleStream>, CaptureOrigin>
followedStream(const CommandLine& line, CaptureSources& sources, CaptureFiles& files) {
    if (line.file) {
        return {files.stream(*line.file, line.channels), FileOrigin{*line.file, line.channels}};
    }
    if (line.simulation) {
        return {sources.stream(*line.simulation), SimulatedSourceOrigin{*line.simulation}};
    }
    if (line.device) {
        return {sources.stream(line.analyser()), DeviceOrigin{line.device->text, line.channels}};
    }
    return {sources.stream(CaptureOptions::Port{}), PortOrigin{}};
}

// Each file given, or else the one scan, with the name its row gives it.
std::vector<WindowlessRun::Named> summarized(const CommandLine& line,
                                             const std::shared_ptr<CaptureSource>& scan,
                                             CaptureFiles& files) {
    std::vector<WindowlessRun::Named> captures;
    for (const std::string& file : line.files) {
        captures.push_back({file, files.open(file),
                            [&files, &line, file] { return files.stream(file, line.channels); }});
    }
    if (captures.empty()) {
        captures.push_back({line.device       ? line.device->text
                            : line.simulation ? "simulatore"
                                              : "port",
                            scan,
                            {}});
    }
    return captures;
}

// SIGINT and SIGTERM end --follow: the row under way is dropped and the
// acquisition stopped.
std::atomic<bool> interrupted{false};

extern "C" void interrupt(int) {
    interrupted = true;
}

int followed(const CommandLine& line, CaptureSources& sources, CaptureFiles& files) {
    std::shared_ptr<SampleStream> stream;
    CaptureOrigin origin;
    try {
        std::tie(stream, origin) = followedStream(line, sources, files);
    } catch (const OperatorError& error) {
        // A file that cannot be played fails the run, as a scan of it would;
        // an analyser's refusal here is one of its options.
        return fail(error, line.file ? WindowlessRun::kFailed : kBadOptions);
    }
    struct sigaction action = {};
    action.sa_handler = interrupt;
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
    // Outlives this function: its threads may still run at the exit below.
    auto* session = new Session(nullptr, files, {ResultCsv::kRowHeader, ResultCsv::row}, false);
    session->choose({line.rowPeriod.value_or(kRowPeriod), true, line.whiten, line.geometry()});
    const int status =
        WindowlessRun::follow(line, *session, stream, origin, interrupted, std::cout, std::cerr);
    // A stream that did not end in time still holds its device: leave without
    // tearing down what its threads use.
    std::fflush(nullptr);
    std::_Exit(status);
}

} // namespace

int main(int argc, char* argv[]) {
    CommandLine line;
    try {
        line = CommandLine::parse(CommandLine::arguments(argc, argv));
    } catch (const OperatorError& error) {
        return fail(error);
    }
    if (!standardStreamsReady(line)) {
        return WindowlessRun::kFailed;
    }
    if (line.action == CommandLine::Action::ShowHelp ||
        line.action == CommandLine::Action::ShowVersion) {
        const QString text = line.action == CommandLine::Action::ShowHelp
                                 ? CommandLine::helpText()
                                 : CommandLine::versionText();
        return WindowlessRun::print(text.toLocal8Bit().toStdString(), std::cout, std::cerr);
    }

    LinuxPortIo port;
    InstalledSources sources(port);
    if (line.action == CommandLine::Action::ListAnalysers) {
        return finish(WindowlessRun::listAnalysers(
            sources, line.device, WindowlessRun::kListingBound, std::cout, std::cerr));
    }
    SessionFiles files(line.channels);
    if (line.action == CommandLine::Action::Follow) {
        return followed(line, sources, files);
    }
    std::shared_ptr<CaptureSource> source;
    try {
        source = scanSource(line, sources, files);
    } catch (const OperatorError& error) {
        return fail(error);
    }
    if (line.action == CommandLine::Action::RunWithoutWindow) {
        return finish(WindowlessRun::run(line, source, files, std::cout, std::cerr));
    }
    if (line.action == CommandLine::Action::Summarize) {
        return finish(
            WindowlessRun::summarize(line, summarized(line, source, files), std::cout, std::cerr));
    }

    QApplication application(argc, argv);
    // Where the window's choices are remembered.
    QCoreApplication::setOrganizationName(QStringLiteral("correlatore"));
    QCoreApplication::setApplicationName(QStringLiteral("correlatore"));
    // Fusion paints a button in the colour the program gives it, on every desktop.
    QApplication::setStyle(QStringLiteral("Fusion"));
    // Wayland desktops find the menu entry, and so the icon, by this name.
    QGuiApplication::setDesktopFileName(QStringLiteral(APP_ID));
    // The window is Italian whatever the system's language: so are Qt's own
    // dialogs and buttons.
    QTranslator qtTexts;
    if (qtTexts.load(QStringLiteral("qtbase_it"),
                     QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
        QApplication::installTranslator(&qtTexts);
    }
    Form3 window(source, files);
    window.offerSources(sources, windowSource(line));
    if (line.rowPeriod) {
        window.setRowPeriod(*line.rowPeriod);
    }
    window.show();
    if (line.file) {
        // Once the window is up, so that a file it cannot open is explained in it.
        QTimer::singleShot(0, &window, [&] { window.openCapture(*line.file); });
    }
    return finish(QApplication::exec());
}
