#pragma once
#include <QPaintDevice>
#include <QRect>
#include <cmath>

namespace fenwyd::ui {

// Twips (1/1440 inch) to pixels at the device's logical resolution: 15 twips
// a pixel at 96 dots per inch, fewer on a high-DPI screen setting.
inline int Tw(const QPaintDevice* d, int twips) {
    const int dpi = d != nullptr && d->logicalDpiX() > 0 ? d->logicalDpiX() : 96;
    return static_cast<int>(std::lround(twips * dpi / 1440.0));
}
inline int TwY(const QPaintDevice* d, int twips) {
    const int dpi = d != nullptr && d->logicalDpiY() > 0 ? d->logicalDpiY() : 96;
    return static_cast<int>(std::lround(twips * dpi / 1440.0));
}
inline QRect TwRect(const QPaintDevice* d, int left, int top, int width, int height) {
    return QRect(Tw(d, left), TwY(d, top), Tw(d, width), TwY(d, height));
}
inline int ToTwips(const QPaintDevice* d, int px) {
    const int dpi = d != nullptr && d->logicalDpiX() > 0 ? d->logicalDpiX() : 96;
    return static_cast<int>(std::lround(px * 1440.0 / dpi));
}

}  // namespace fenwyd::ui
