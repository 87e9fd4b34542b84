#include "correlogram_plot.h"

#include "plot_geometry.h"
#include "twips.h"

#include <QPainter>
#include <QWidget>
#include <algorithm>
#include <cmath>

namespace {

const QColor kBarColour(0, 0, 255);

// The image is copied a strip at a time, each too short for Qt to hand its
// copy to a pool of threads: waking them costs more than the copy, by a
// fifth of the whole analysis at a fractional scale.
constexpr int kStripRows = 64;

// No display shows anything sooner than its next frame.
constexpr qint64 kFrameMs = 16;

// The pixels a bar covers, with a margin for the rounding of the line.
QRect pixelsOf(const CorrelogramPlot::Bar& bar) {
    const double top = std::min<double>(bar.endY, PlotGeometry::kBarStartY);
    const double bottom = std::max<double>(bar.endY, PlotGeometry::kBarStartY);
    const int x = static_cast<int>(std::floor(bar.x / Twips::kPerPixel));
    const int y = static_cast<int>(std::floor(top / Twips::kPerPixel));
    const int height = static_cast<int>(std::ceil(bottom / Twips::kPerPixel)) - y;
    return QRect(x, y, 1, height).adjusted(-2, -2, 2, 2);
}

// The band of the surface that any bar can reach, in whole pixels, so that
// the image lies on the surface's own pixel grid.
QRect barBand(const QWidget& surface) {
    const int top = static_cast<int>(std::floor(PlotGeometry::kBarsTopY / Twips::kPerPixel)) - 2;
    const int bottom = static_cast<int>(std::ceil(PlotGeometry::kBarBaseY / Twips::kPerPixel)) + 2;
    return {0, top, surface.width(), bottom - top + 1};
}

} // namespace

// Only where the old bars stood is shown again: the new ones add their own.
void CorrelogramPlot::clear() {
    QRect erased;
    for (const Bar& bar : bars_) {
        erased |= pixelsOf(bar);
    }
    bars_.clear();
    drawn_ = 0;
    fitImage();
    image_.fill(background());
    sinceShown_.start();
    if (!erased.isNull()) {
        show(erased);
    }
}

void CorrelogramPlot::drawBar(Side sector, int lag, double value) {
    const Bar bar{PlotGeometry::barX(sector, lag), PlotGeometry::barEndY(value)};
    bars_.push_back(bar);
    show(pixelsOf(bar));
}

QPoint CorrelogramPlot::deviceOrigin() const {
    const QRect band = barBand(surface_);
    const qreal ratio = surface_.devicePixelRatioF();
    return {static_cast<int>(std::floor(band.left() * ratio)),
            static_cast<int>(std::floor(band.top() * ratio))};
}

QRect CorrelogramPlot::band() const {
    return barBand(surface_);
}

void CorrelogramPlot::paint(QPainter& painter) {
    fitImage();
    drawWaitingBars();
    // One image pixel on one device pixel, from a whole device pixel, in the
    // device's own coordinates: under a scaling transform, even by exactly
    // one, the image is drawn pixel by pixel through the scaler, which at a
    // fractional ratio cost more than the analysis.
    const qreal ratio = image_.devicePixelRatio();
    painter.save();
    painter.setWorldTransform(QTransform::fromScale(1.0 / ratio, 1.0 / ratio));
    for (int top = 0; top < image_.height(); top += kStripRows) {
        const int rows = std::min(kStripRows, image_.height() - top);
        painter.drawImage(
            QRectF(QPointF(deviceOrigin()) + QPointF(0, top), QSizeF(image_.width(), rows)), image_,
            QRectF(0, top, image_.width(), rows));
    }
    painter.restore();
    unshown_ = QRect();
    if (sinceShown_.isValid()) {
        sinceShown_.restart();
    }
}

// A new image when the surface changes size or moves to a screen of another
// pixel ratio; the record of the bars then draws them again. Compared in
// device pixels: at a fractional ratio the image's size in the surface's
// pixels is fractional too, and never equals the band's.
void CorrelogramPlot::fitImage() {
    const QRect band = barBand(surface_);
    const qreal ratio = surface_.devicePixelRatioF();
    const QPoint end(static_cast<int>(std::ceil((band.right() + 1) * ratio)),
                     static_cast<int>(std::ceil((band.bottom() + 1) * ratio)));
    const QSize devicePixels(end.x() - deviceOrigin().x(), end.y() - deviceOrigin().y());
    if (!image_.isNull() && image_.devicePixelRatio() == ratio && image_.size() == devicePixels) {
        return;
    }
    image_ = QImage(devicePixels, QImage::Format_RGB32);
    image_.setDevicePixelRatio(ratio);
    image_.fill(background());
    drawn_ = 0;
}

// The image is opaque, in the surface's own colour, so that painting it is
// a copy rather than a blend of every pixel.
QColor CorrelogramPlot::background() const {
    return surface_.palette().color(surface_.backgroundRole());
}

// The bars added since the image was last painted, with one painter: making
// one for each bar cost more than the analysis.
void CorrelogramPlot::drawWaitingBars() {
    if (drawn_ == bars_.size()) {
        return;
    }
    QPainter painter(&image_);
    painter.setRenderHint(QPainter::Antialiasing, false);
    painter.translate(-QPointF(deviceOrigin()) / image_.devicePixelRatio());
    painter.scale(1.0 / Twips::kPerPixel, 1.0 / Twips::kPerPixel);
    // Width 0 is a cosmetic pen: one device pixel whatever the scale.
    painter.setPen(QPen(kBarColour, 0));
    for (; drawn_ < bars_.size(); ++drawn_) {
        const Bar& bar = bars_[drawn_];
        painter.drawLine(QPointF(bar.x, PlotGeometry::kBarStartY), QPointF(bar.x, bar.endY));
    }
}

// Asks for the pixels to be shown with the next frame; when the analysis has
// gone a frame without showing anything, shows all that is drawn at once, so
// that a slow analysis still shows its bars as it goes.
void CorrelogramPlot::show(const QRect& pixels) {
    unshown_ = unshown_.united(pixels);
    surface_.update(unshown_);
    if (sinceShown_.isValid() && sinceShown_.elapsed() >= kFrameMs) {
        surface_.repaint(unshown_);
    }
}
