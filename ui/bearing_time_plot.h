#pragma once

#include "bearing.h"
#include "column_labels.h"
#include "follower.h"

#include <QImage>
#include <QWidget>
#include <array>
#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

// The bearing-time display: one row per row period, the newest on top, each
// the correlation over the signed lag axis in viridis, a perceptually
// uniform colour map, scaled to the row's own range. A source's peak is
// marked in white, and a row that lost windows in red at both ends. Each
// row's colours are worked out where the row is made, off the window's
// thread; the window's thread only copies them into an image that scrolls
// by one row per row, painted scaled to the panel at the display's pace.
// Given a geometry, the columns are labelled along the bottom in degrees,
// or in metres from the right sensor along a pipe.
class BearingTimePlot final : public QWidget {
public:
    static constexpr int kRows = 300;

    // Columns from x0 to x1 in the parent's pixels, one lag each.
    BearingTimePlot(QWidget* parent, double x0, double x1);

    using Line = std::array<QRgb, Bearing::kAxisLength>;

    // A row's colours.
    static Line lineOf(const Follower::Row& row);

    // For the time axis: how long each row stands for.
    void setPeriod(std::chrono::microseconds period);
    // For the columns' labels: the rows' rate and geometry, none for none.
    void setScale(std::uint64_t sampleRate, const std::optional<Bearing::Geometry>& geometry);
    const std::vector<ColumnLabels::Label>& columnLabels() const { return labels_; }
    void addLine(const Line& line);
    int rows() const { return rows_; }

    // Where the pointer is over the panel, in the parent's pixels.
    std::function<void(QPointF)> pointerMoved;

protected:
    void paintEvent(QPaintEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;

private:
    QRectF columnsArea() const;
    void paintColumnLabels(QPainter& painter, const QRectF& area) const;
    void paintTimeLabels(QPainter& painter, const QRectF& area) const;

    double x0_;
    double x1_;
    QImage image_;
    int rows_ = 0;
    std::chrono::microseconds period_{0};
    std::vector<ColumnLabels::Label> labels_;
};
