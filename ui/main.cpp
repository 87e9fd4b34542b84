#include "command_line.h"
#include "device_capture.h"
#include "form3.h"
#include "linux_port_io.h"
#include "operator_error.h"
#include "parallel_port_scan.h"

#include <QApplication>
#include <cstdio>
#include <memory>

namespace {

// Bad options end the program with status 2 before any window opens.
constexpr int kBadOptions = 2;

int fail(const OperatorError& error) {
    std::fprintf(stderr, "correlatore: %s\n", error.what());
    return kBadOptions;
}

} // namespace

int main(int argc, char* argv[]) {
    QStringList arguments;
    for (int i = 0; i < argc; ++i) {
        arguments << QString::fromLocal8Bit(argv[i]);
    }
    CommandLine line;
    try {
        line = CommandLine::parse(arguments);
    } catch (const OperatorError& error) {
        return fail(error);
    }
    if (line.action != CommandLine::Action::OpenWindow) {
        const QString text = line.action == CommandLine::Action::ShowHelp
                                 ? CommandLine::helpText()
                                 : CommandLine::versionText();
        std::fputs(text.toLocal8Bit().constData(), stdout);
        return 0;
    }

    LinuxPortIo port;
    std::unique_ptr<CaptureSource> source;
    try {
        if (line.device) {
            source = std::make_unique<DeviceCapture>(*line.device, line.channels, line.sampleRate);
        } else {
            source = std::make_unique<ParallelPortScan>(port);
        }
    } catch (const OperatorError& error) {
        return fail(error);
    }

    QApplication application(argc, argv);
    // Fusion paints a button in the colour the program gives it, on every desktop.
    QApplication::setStyle(QStringLiteral("Fusion"));
    // Wayland desktops find the menu entry, and so the icon, by this name.
    QGuiApplication::setDesktopFileName(QStringLiteral(APP_ID));
    Form3 window(*source);
    window.show();
    return QApplication::exec();
}
