#include "ui/Twips.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

#include <cmath>

namespace Twips {

double logicalDpi(const QWidget* widget) {
    const QScreen* screen = widget ? widget->screen() : QGuiApplication::primaryScreen();
    if (!screen)
        return 96.0;
    const double dpi = screen->logicalDotsPerInchX();
    return dpi > 0 ? dpi : 96.0;
}

int toPixels(double twips, double dpi) {
    return int(std::lround(twips * dpi / perInch));
}
double fromPixels(int pixels, double dpi) {
    return pixels * perInch / dpi;
}

int toPixels(const QWidget* widget, double twips) {
    return toPixels(twips, logicalDpi(widget));
}
double fromPixels(const QWidget* widget, int pixels) {
    return fromPixels(pixels, logicalDpi(widget));
}

} // namespace Twips
