#include "ui/qt/dialog_units.h"

#include <QScreen>
#include <cmath>

namespace tandrel {
namespace {

constexpr double kPixelsPerXUnit = 1.5;
constexpr double kPixelsPerYUnit = 1.625;

}  // namespace

DialogUnits::DialogUnits(double dpiX, double dpiY)
    : pixelsPerX_(kPixelsPerXUnit * dpiX / kReferenceDpi),
      pixelsPerY_(kPixelsPerYUnit * dpiY / kReferenceDpi) {}

DialogUnits DialogUnits::ForScreen(const QScreen* screen) {
    if (screen == nullptr) {
        return DialogUnits(kReferenceDpi, kReferenceDpi);
    }
    return DialogUnits(screen->logicalDotsPerInchX(), screen->logicalDotsPerInchY());
}

int DialogUnits::X(int units) const {
    return static_cast<int>(std::lround(units * pixelsPerX_));
}

int DialogUnits::Y(int units) const {
    return static_cast<int>(std::lround(units * pixelsPerY_));
}

QRect DialogUnits::Rect(int x, int y, int width, int height) const {
    return QRect(X(x), Y(y), X(width), Y(height));
}

}  // namespace tandrel
