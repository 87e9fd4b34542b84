#pragma once

#include "side.h"

#include <QWidget>
#include <vector>

class QPainter;

// The bars of the current analysis, kept so that the window can paint them
// again whenever it is exposed. Each bar shows as soon as it is drawn, while
// the analysis goes on.
class CorrelogramPlot {
public:
    // A vertical segment from (x, PlotGeometry::kBarStartY) to (x, endY), in twips.
    struct Bar {
        float x;
        float endY;
    };

    explicit CorrelogramPlot(QWidget& surface) : surface_(surface) {}

    // Erases the bars of the previous analysis from the window at once.
    void clear();
    // Adds the bar of one lag and paints it at once.
    void drawBar(Side sector, int lag, double value);
    // Paints every bar, each one device pixel wide, in blue.
    void paint(QPainter& painter) const;

    const std::vector<Bar>& bars() const { return bars_; }

private:
    QWidget& surface_;
    std::vector<Bar> bars_;
};
