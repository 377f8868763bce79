// The mapping from dialog-template units to Qt pixels.
#pragma once

#include <QRect>

class QScreen;

namespace tandrel {

// The DPI at which the template's units and the result font's height are given in pixels.
inline constexpr double kReferenceDpi = 96.0;

class DialogUnits {
  public:
    // At 96 DPI one horizontal unit is 1.5 pixels and one vertical unit 1.625 pixels, the base
    // units of the 8-point dialog font; other logical DPIs scale both.
    DialogUnits(double dpiX, double dpiY);
    // The screen's logical DPI; a null screen counts as 96 DPI.
    static DialogUnits ForScreen(const QScreen* screen);

    int X(int units) const;
    int Y(int units) const;
    // Position and size are mapped each on its own, as the Win32 dialog manager maps a
    // template, halves rounded away from zero.
    QRect Rect(int x, int y, int width, int height) const;

  private:
    double pixelsPerX_;
    double pixelsPerY_;
};

}  // namespace tandrel
