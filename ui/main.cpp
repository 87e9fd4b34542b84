#include "form3.h"
#include "linux_port_io.h"
#include "parallel_port_scan.h"

#include <QApplication>

int main(int argc, char* argv[]) {
    QApplication application(argc, argv);
    // Fusion paints a button in the colour the program gives it, on every desktop.
    QApplication::setStyle(QStringLiteral("Fusion"));
    Form3 window(std::make_unique<LinuxPortIo>(), ParallelPortScan::kSamplePeriod);
    window.show();
    return QApplication::exec();
}
