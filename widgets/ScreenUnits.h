#pragma once

#include <QColor>
#include <QRect>

#include <cstdint>

class QWidget;

namespace tqx {

// Places and sizes of the windows are given in twips (1/1440 inch). They become pixels through
// the screen's logical resolution, so the windows keep their proportions on any screen.
class Twips
{
public:
    explicit Twips(double logicalDpi)
        : m_pixelsPerTwip(logicalDpi / 1440.0)
    {
    }

    int toPixels(double twips) const;
    double fromPixels(int pixels) const { return pixels / m_pixelsPerTwip; }
    QRect rect(int left, int top, int width, int height) const;

    // The logical resolution of the primary screen, or 96 dots per inch without one.
    static Twips forPrimaryScreen();

private:
    double m_pixelsPerTwip;
};

// Moves a window so that it stands in the middle of the primary screen's free area.
void centreOnScreen(QWidget *window);

// Colours are given as colour numbers whose low byte is red, then green, then blue.
QColor colorFromNumber(std::uint32_t number);

} // namespace tqx
