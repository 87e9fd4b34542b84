// Looks at the real screen from outside the program, as a person would: grabs
// it, optionally saves it, and prints the right-sector lag of the tallest bar
// of the window whose client area starts at the given screen position.
//
//     screen_probe X Y [FILE.png]

#include "bar_probe.h"

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
    if (argc > 3 && !screen.save(QString::fromLocal8Bit(argv[3]))) {
        std::fprintf(stderr, "cannot save %s\n", argv[3]);
        return 1;
    }
    const QPoint origin(QString::fromLocal8Bit(argv[1]).toInt(),
                        QString::fromLocal8Bit(argv[2]).toInt());
    std::printf("%d\n", tallestRightBar(screen.convertToFormat(QImage::Format_RGB32), origin));
    return 0;
}
