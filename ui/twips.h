#pragma once

#include <QRect>

// The window is laid out in twips (1/1440 inch) and shown at 15 twips per
// device-independent pixel; Qt's own high-DPI scaling takes it from there.
namespace Twips {

inline constexpr int kPerPixel = 15;

inline int toPixels(int twips) {
    return qRound(twips / double(kPerPixel));
}

inline QRect toPixels(int left, int top, int width, int height) {
    return {toPixels(left), toPixels(top), toPixels(width), toPixels(height)};
}

} // namespace Twips
