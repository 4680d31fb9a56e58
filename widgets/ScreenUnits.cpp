#include "widgets/ScreenUnits.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

#include <cmath>

namespace tqx {

int Twips::toPixels(double twips) const
{
    return static_cast<int>(std::lround(twips * m_pixelsPerTwip));
}

QRect Twips::rect(int left, int top, int width, int height) const
{
    return QRect(toPixels(left), toPixels(top), toPixels(width), toPixels(height));
}

Twips Twips::forPrimaryScreen()
{
    const QScreen *screen = QGuiApplication::primaryScreen();
    return Twips(screen ? screen->logicalDotsPerInch() : 96.0);
}

void centreOnScreen(QWidget *window)
{
    if (const QScreen *screen = QGuiApplication::primaryScreen()) {
        QRect frame = window->geometry();
        frame.moveCenter(screen->availableGeometry().center());
        window->move(frame.topLeft());
    }
}

QColor colorFromNumber(std::uint32_t number)
{
    return QColor(number & 0xFF, (number >> 8) & 0xFF, (number >> 16) & 0xFF);
}

} // namespace tqx
