#pragma once

#include "plot_geometry.h"

#include <QImage>
#include <QPoint>

// The right-sector lag whose blue bar reaches highest in an image of the
// window whose client area starts at origin, or -1 when no bar shows.
inline int tallestRightBar(const QImage& image, QPoint origin = {}) {
    int bestLag = -1;
    // Bars reach no higher than 1870 twips, so the blue banner above them is
    // no bar; one of value 50 or less never wins.
    const int highest = origin.y() + 1870 / 15 - 1;
    int bestTop = origin.y() + 6000 / 15;
    for (int lag = 0; lag <= 120; ++lag) {
        const int centre = origin.x() + qRound(PlotGeometry::barX(Side::Right, lag) / 15.0F);
        for (int x = centre - 1; x <= centre + 1; ++x) {
            for (int y = highest; y < bestTop; ++y) {
                if (image.pixel(x, y) == qRgb(0, 0, 255)) {
                    bestTop = y;
                    bestLag = lag;
                    break;
                }
            }
        }
    }
    return bestLag;
}
