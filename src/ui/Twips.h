#pragma once

class QWidget;

// Window geometry is kept in twips (1/1440 inch) and turned into pixels with the screen's
// logical resolution, so windows keep their proportions on any screen.
namespace Twips {

inline constexpr double perInch = 1440.0;

double logicalDpi(const QWidget* widget);
int toPixels(double twips, double dpi);
double fromPixels(int pixels, double dpi);

// Shorthands that take the resolution from the widget's screen.
int toPixels(const QWidget* widget, double twips);
double fromPixels(const QWidget* widget, int pixels);

} // namespace Twips
