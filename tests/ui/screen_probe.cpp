// Looks at the real screen from outside the program, as a person would: grabs
// it, optionally saves it, and prints the right-sector lag of the tallest bar
// of the window whose client area starts at the given screen position. With
// --colour it prints instead the red, green and blue of one pixel of that
// window.
//
//     screen_probe X Y [FILE.png]
//     screen_probe X Y --colour PX PY

#include "bar_probe.h"

#include <QColor>
#include <QGuiApplication>
#include <QPixmap>
#include <QScreen>
#include <cstdio>

int main(int argc, char* argv[]) {
    QGuiApplication application(argc, argv);
    if (argc < 3) {
        std::fprintf(stderr, "usage: screen_probe X Y [FILE.png]\n");
        return 2;
    }
    const QImage screen = QGuiApplication::primaryScreen()->grabWindow(0).toImage();
    const auto number = [argv](int n) { return QString::fromLocal8Bit(argv[n]).toInt(); };
    const QPoint origin(number(1), number(2));
    if (argc == 6 && qstrcmp(argv[3], "--colour") == 0) {
        const QColor colour = screen.pixelColor(origin + QPoint(number(4), number(5)));
        std::printf("%d %d %d\n", colour.red(), colour.green(), colour.blue());
        return 0;
    }
    if (argc > 3 && !screen.save(QString::fromLocal8Bit(argv[3]))) {
        std::fprintf(stderr, "cannot save %s\n", argv[3]);
        return 1;
    }
    std::printf("%d\n", tallestRightBar(screen.convertToFormat(QImage::Format_RGB32), origin));
    return 0;
}
