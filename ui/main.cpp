#include "form3.h"
#include "linux_port_io.h"
#include "parallel_port_scan.h"

#include <QApplication>

int main(int argc, char* argv[]) {
    QApplication application(argc, argv);
    // Fusion paints a button in the colour the program gives it, on every desktop.
    QApplication::setStyle(QStringLiteral("Fusion"));
    // Wayland desktops find the menu entry, and so the icon, by this name.
    QGuiApplication::setDesktopFileName(QStringLiteral(APP_ID));
    Form3 window(std::make_unique<LinuxPortIo>(), ParallelPortScan::kSamplePeriod);
    window.show();
    return QApplication::exec();
}
