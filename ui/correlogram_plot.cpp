#include "correlogram_plot.h"

#include "plot_geometry.h"
#include "twips.h"

#include <QPainter>
#include <cmath>

namespace {

const QColor kBarColour(0, 0, 255);

// The pixels a bar covers, with a margin for the rounding of the line.
QRect pixelsOf(const CorrelogramPlot::Bar& bar) {
    const double top = std::min<double>(bar.endY, PlotGeometry::kBarStartY);
    const double bottom = std::max<double>(bar.endY, PlotGeometry::kBarStartY);
    const int x = static_cast<int>(std::floor(bar.x / Twips::kPerPixel));
    const int y = static_cast<int>(std::floor(top / Twips::kPerPixel));
    const int height = static_cast<int>(std::ceil(bottom / Twips::kPerPixel)) - y;
    return QRect(x, y, 1, height).adjusted(-2, -2, 2, 2);
}

} // namespace

void CorrelogramPlot::clear() {
    bars_.clear();
    surface_.repaint();
}

void CorrelogramPlot::drawBar(Side sector, int lag, double value) {
    const Bar bar{PlotGeometry::barX(sector, lag), PlotGeometry::barEndY(value)};
    bars_.push_back(bar);
    surface_.repaint(pixelsOf(bar));
}

void CorrelogramPlot::paint(QPainter& painter) const {
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing, false);
    painter.scale(1.0 / Twips::kPerPixel, 1.0 / Twips::kPerPixel);
    // Width 0 is a cosmetic pen: one device pixel whatever the scale.
    painter.setPen(QPen(kBarColour, 0));
    for (const Bar& bar : bars_) {
        painter.drawLine(QPointF(bar.x, PlotGeometry::kBarStartY), QPointF(bar.x, bar.endY));
    }
    painter.restore();
}
