#include "command_line.h"
#include "device_capture.h"
#include "form3.h"
#include "linux_port_io.h"
#include "operator_error.h"
#include "operator_message.h"
#include "parallel_port_scan.h"
#include "session_files.h"
#include "windowless_run.h"

#include <QApplication>
#include <QLibraryInfo>
#include <QTimer>
#include <QTranslator>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <memory>

namespace {

// Bad options end the program with status 2 before any window opens.
constexpr int kBadOptions = 2;

int fail(const OperatorError& error) {
    std::fprintf(stderr, "correlatore: %s\n", operatorMessage(error).c_str());
    return kBadOptions;
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
std::shared_ptr<CaptureSource> scanSource(const CommandLine& line, PortIo& port,
                                          CaptureFiles& files) {
    if (line.file && line.action == CommandLine::Action::RunWithoutWindow) {
        return files.open(*line.file);
    }
    if (line.device) {
        return std::make_shared<DeviceCapture>(*line.device, line.channels, line.sampleRate);
    }
    return std::make_shared<ParallelPortScan>(port);
}

// Each file given, or else the one scan, with the name its row gives it.
std::vector<WindowlessRun::Named> summarized(const CommandLine& line,
                                             const std::shared_ptr<CaptureSource>& scan,
                                             CaptureFiles& files) {
    std::vector<WindowlessRun::Named> captures;
    for (const std::string& file : line.files) {
        captures.push_back({file, files.open(file)});
    }
    if (captures.empty()) {
        captures.push_back({line.device ? line.device->text : "port", scan});
    }
    return captures;
}

} // namespace

int main(int argc, char* argv[]) {
    CommandLine line;
    try {
        line = CommandLine::parse(CommandLine::arguments(argc, argv));
    } catch (const OperatorError& error) {
        return fail(error);
    }
    if (line.action == CommandLine::Action::ShowHelp ||
        line.action == CommandLine::Action::ShowVersion) {
        const QString text = line.action == CommandLine::Action::ShowHelp
                                 ? CommandLine::helpText()
                                 : CommandLine::versionText();
        std::fputs(text.toLocal8Bit().constData(), stdout);
        return 0;
    }

    LinuxPortIo port;
    SessionFiles files(line.channels);
    std::shared_ptr<CaptureSource> source;
    try {
        source = scanSource(line, port, files);
    } catch (const OperatorError& error) {
        return fail(error);
    }
    if (line.action == CommandLine::Action::RunWithoutWindow) {
        return finish(WindowlessRun::run(line, source, files, std::cout, std::cerr));
    }
    if (line.action == CommandLine::Action::Summarize) {
        return finish(WindowlessRun::summarize(line, summarized(line, source, files), std::cout));
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
    window.show();
    if (line.file) {
        // Once the window is up, so that a file it cannot open is explained in it.
        QTimer::singleShot(0, &window, [&] { window.openCapture(*line.file); });
    }
    return finish(QApplication::exec());
}
