#include "bearing_time_plot.h"

#include <QMouseEvent>
#include <QPainter>
#include <algorithm>
#include <cmath>
#include <cstring>

namespace {

// A polynomial fit of viridis, from 0 (dark blue) to 1 (yellow).
QRgb viridis(double t) {
    static constexpr double kCoefficients[7][3] = {
        {0.2777273272234177, 0.005407344544966578, 0.3340998053353061},
        {0.1050930431085774, 1.404613529898575, 1.384590162594685},
        {-0.3308618287255563, 0.214847559468213, 0.09509516302823659},
        {-4.634230498983486, -5.799100973351585, -19.33244095627987},
        {6.228269936347081, 14.17993336680509, 56.69055260068105},
        {4.776384997670288, -13.74514537774601, -65.35303263337234},
        {-5.435455855934631, 4.645852612178535, 26.3124352495832},
    };
    int channels[3];
    for (int c = 0; c < 3; ++c) {
        double value = 0.0;
        for (int k = 6; k >= 0; --k) {
            value = value * t + kCoefficients[k][c];
        }
        channels[c] = std::clamp(static_cast<int>(std::lround(value * 255.0)), 0, 255);
    }
    return qRgb(channels[0], channels[1], channels[2]);
}

// viridis in 256 steps, more than the eye tells apart.
const std::array<QRgb, 256>& viridisSteps() {
    static const auto colours = [] {
        std::array<QRgb, 256> table{};
        for (std::size_t i = 0; i < table.size(); ++i) {
            table[i] = viridis(static_cast<double>(i) / 255.0);
        }
        return table;
    }();
    return colours;
}

// Seconds between the time axis's labels: at most six of them, each with
// room for its text.
int labelStep(double shownSeconds, double height, int labelHeight) {
    for (const int step : {1, 2, 5, 10, 15, 30, 60, 120, 300}) {
        if (shownSeconds / step <= 6.0 && step / shownSeconds * height >= 1.5 * labelHeight) {
            return step;
        }
    }
    return 600;
}

} // namespace

BearingTimePlot::BearingTimePlot(QWidget* parent, double x0, double x1)
    : QWidget(parent), x0_(x0), x1_(x1), image_(Bearing::kAxisLength, kRows, QImage::Format_RGB32) {
    image_.fill(Qt::black);
    setMouseTracking(true);
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void BearingTimePlot::setPeriod(std::chrono::microseconds period) {
    period_ = period;
    update();
}

BearingTimePlot::Line BearingTimePlot::lineOf(const Follower::Row& row) {
    Line line{};
    const auto [low, high] = std::minmax_element(row.axis.begin(), row.axis.end());
    const double range = *high - *low;
    for (std::size_t column = 0; column < line.size(); ++column) {
        const double share = range > 0.0 ? (row.axis[column] - *low) / range : 0.0;
        line[column] = viridisSteps()[static_cast<std::size_t>(std::lround(share * 255.0))];
    }
    if (row.result.verdict == Bearing::Verdict::Source) {
        line[static_cast<std::size_t>(std::lround(row.result.lag) + kMaxLag)] = qRgb(255, 255, 255);
    }
    if (row.lost > 0) {
        for (const std::size_t column : {0, 1, 2}) {
            line[column] = qRgb(255, 0, 0);
            line[line.size() - 1 - column] = qRgb(255, 0, 0);
        }
    }
    return line;
}

// The image moves down by one row and the new row goes on top.
void BearingTimePlot::addLine(const Line& line) {
    const auto bytes = static_cast<std::size_t>(image_.bytesPerLine());
    std::memmove(image_.scanLine(1), image_.scanLine(0), bytes * (kRows - 1));
    std::memcpy(image_.scanLine(0), line.data(), sizeof line);
    rows_ = std::min(rows_ + 1, kRows);
    update();
}

QRectF BearingTimePlot::columnsArea() const {
    return {x0_ - x(), 0.0, x1_ - x0_, static_cast<double>(height())};
}

void BearingTimePlot::setScale(std::uint64_t sampleRate,
                               const std::optional<Bearing::Geometry>& geometry) {
    std::vector<ColumnLabels::Label> labels;
    if (geometry) {
        labels = ColumnLabels::of(sampleRate, *geometry);
    }
    if (labels != labels_) {
        labels_ = std::move(labels);
        update();
    }
}

void BearingTimePlot::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.fillRect(rect(), Qt::black);
    const QRectF area = columnsArea();
    painter.drawImage(area, image_);
    painter.setPen(Qt::white);
    paintColumnLabels(painter, area);
    if (period_.count() > 0) {
        paintTimeLabels(painter, area);
    }
}

// Along the bottom, each over its column with a tick; nearest the middle
// first, and one that would touch a label already there is left out, as
// degrees crowd towards 90.
void BearingTimePlot::paintColumnLabels(QPainter& painter, const QRectF& area) const {
    const QFontMetrics metrics(painter.font());
    std::vector<ColumnLabels::Label> order = labels_;
    std::sort(order.begin(), order.end(),
              [](const auto& a, const auto& b) { return std::abs(a.lag) < std::abs(b.lag); });
    std::vector<QRectF> drawn;
    for (const ColumnLabels::Label& label : order) {
        const double x =
            area.left() + (label.lag + kMaxLag + 0.5) / Bearing::kAxisLength * area.width();
        const double width = metrics.horizontalAdvance(label.text) + 4;
        QRectF box(x - width / 2, area.bottom() - metrics.height(), width, metrics.height());
        box.moveLeft(std::clamp(box.left(), area.left(), area.right() - width));
        const QRectF room = box.adjusted(-width / 4, 0, width / 4, 0);
        if (std::any_of(drawn.begin(), drawn.end(),
                        [&](const QRectF& other) { return other.intersects(room); })) {
            continue;
        }
        painter.fillRect(box, QColor(0, 0, 0, 160));
        painter.drawText(box, Qt::AlignCenter, label.text);
        painter.drawLine(QPointF(x, box.top() - 4), QPointF(x, box.top()));
        drawn.push_back(box);
    }
}

// Seconds ago down the side, over the oldest lags of the left fan, clear
// of the columns' labels.
void BearingTimePlot::paintTimeLabels(QPainter& painter, const QRectF& area) const {
    const double rowSeconds = static_cast<double>(period_.count()) / 1e6;
    const double shown = rowSeconds * kRows;
    const QFontMetrics metrics(painter.font());
    const double bottom = area.bottom() - (labels_.empty() ? 0 : metrics.height() + 4);
    const int step = labelStep(shown, area.height(), metrics.height());
    for (int seconds = 0; seconds <= shown; seconds += step) {
        const double y = area.top() + seconds / shown * area.height();
        if (y + metrics.height() > bottom) {
            break;
        }
        const QString label = QStringLiteral("%1 s").arg(seconds == 0 ? 0 : -seconds);
        const QRectF box(area.left() + 2, y, metrics.horizontalAdvance(label) + 4,
                         metrics.height());
        painter.fillRect(box, QColor(0, 0, 0, 160));
        painter.drawText(box, Qt::AlignCenter, label);
    }
}

void BearingTimePlot::mouseMoveEvent(QMouseEvent* event) {
    if (pointerMoved) {
        pointerMoved(event->position() + QPointF(x(), y()));
    }
}
