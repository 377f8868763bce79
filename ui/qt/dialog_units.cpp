#include "ui/qt/dialog_units.h"

#include <QScreen>
#include <cmath>

namespace tandrel {
namespace {

constexpr double kReferenceDpi = 96.0;
constexpr double kPixelsPerXUnit = 1.5;
constexpr double kPixelsPerYUnit = 1.625;

}  // namespace

DialogUnits::DialogUnits(const QScreen* screen) {
    const double scaleX = screen != nullptr ? screen->logicalDotsPerInchX() / kReferenceDpi : 1.0;
    const double scaleY = screen != nullptr ? screen->logicalDotsPerInchY() / kReferenceDpi : 1.0;
    pixelsPerX_ = kPixelsPerXUnit * scaleX;
    pixelsPerY_ = kPixelsPerYUnit * scaleY;
}

int DialogUnits::X(int units) const {
    return static_cast<int>(std::lround(units * pixelsPerX_));
}

int DialogUnits::Y(int units) const {
    return static_cast<int>(std::lround(units * pixelsPerY_));
}

// Position and size are mapped each on its own, as the Win32 dialog manager maps a template.
QRect DialogUnits::Rect(int x, int y, int width, int height) const {
    return QRect(X(x), Y(y), X(width), Y(height));
}

}  // namespace tandrel
