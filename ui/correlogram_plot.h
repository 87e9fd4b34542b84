#pragma once

#include "side.h"

#include <QElapsedTimer>
#include <QImage>
#include <QRegion>
#include <vector>

class QPainter;
class QWidget;

// The bars of the current analysis. Each bar is drawn once onto an image of
// the plot, the bars done since together, as the window paints from the
// image whenever it is exposed; the window system is asked to show each bar
// at its own pace, and is made to at once when an analysis has run for a
// frame without showing.
class CorrelogramPlot {
public:
    // A vertical segment from (x, PlotGeometry::kBarStartY) to (x, endY), in twips.
    struct Bar {
        float x;
        float endY;
    };

    explicit CorrelogramPlot(QWidget& surface) : surface_(surface) {}

    // Erases the bars of the previous analysis, before the next one shows.
    void clear();
    // Adds the bar of one lag and draws it.
    void drawBar(Side sector, int lag, double value);
    // Paints the bars, each one device pixel wide, in blue, over the band
    // they can reach: what else shows there is painted after.
    void paint(QPainter& painter);

    const std::vector<Bar>& bars() const { return bars_; }
    // The surface's pixels that paint() covers, opaque.
    QRect band() const;

private:
    void fitImage();
    void drawWaitingBars();
    QColor background() const;
    // The device pixel the image starts at.
    QPoint deviceOrigin() const;
    void show(const QRect& pixels);

    QWidget& surface_;
    std::vector<Bar> bars_;
    std::size_t drawn_ = 0; // the first bars_, on the image
    // The surface's pixels, at its device pixel ratio, that bars can cover.
    QImage image_;
    // Drawn on the image but not yet on the screen.
    QRect unshown_;
    QElapsedTimer sinceShown_;
};
