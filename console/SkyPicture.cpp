#include "console/SkyPicture.h"

#include <QPainter>
#include <QPainterPath>
#include <QPolygon>

#include <algorithm>
#include <cmath>
#include <numbers>

namespace tqx {

namespace {

constexpr double degree = std::numbers::pi / 180;
constexpr double rimAltitude = -SkyPicture::bandDepthDegrees * degree;
// The horizon's radius as a fraction of the band's outer rim.
constexpr double horizonFraction = 90 / (90 + SkyPicture::bandDepthDegrees);

QColor blend(const QColor &from, const QColor &to, double amount)
{
    return QColor::fromRgbF(
            static_cast<float>(from.redF() + (to.redF() - from.redF()) * amount),
            static_cast<float>(from.greenF() + (to.greenF() - from.greenF()) * amount),
            static_cast<float>(from.blueF() + (to.blueF() - from.blueF()) * amount));
}

bool isDark(const QColor &colour) { return colour.lightnessF() < 0.5; }

// The target's colour: an orange that stands out from the highlight colour of the pointing and
// stays readable on light and dark backgrounds alike.
QColor targetColour(const QColor &background)
{
    return isDark(background) ? QColor(0xff, 0xa0, 0x40) : QColor(0xc0, 0x50, 0x00);
}

} // namespace

SkyPicture::SkyPicture(QWidget *parent)
    : QWidget(parent)
{
    QSizePolicy policy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    policy.setHeightForWidth(true);
    setSizePolicy(policy);
}

void SkyPicture::showMarks(const MountReport &report)
{
    m_marks.pointings = report.pointings;
    m_marks.target = report.target;
    m_marks.path = report.path;
    Drawing drawing = drawingOf(m_marks);
    if (drawing == m_drawing)
        return;
    m_drawing = std::move(drawing);
    update();
}

QPointF SkyPicture::centre() const { return QRectF(rect()).center(); }

int SkyPicture::labelMargin() const { return fontMetrics().height() + 4; }

double SkyPicture::rimRadius() const
{
    return std::max(0.0, std::min(width(), height()) / 2.0 - labelMargin());
}

double SkyPicture::horizonRadius() const { return rimRadius() * horizonFraction; }

QPointF SkyPicture::pixelOf(double azimuth, double altitude) const
{
    const double zenithDistance = std::numbers::pi / 2 - std::max(altitude, rimAltitude);
    const double radius = horizonRadius() * zenithDistance / (std::numbers::pi / 2);
    // Seen from below, with north up, east lies on the left.
    return centre() + QPointF(-radius * std::sin(azimuth), -radius * std::cos(azimuth));
}

SkyPicture::Spot SkyPicture::spotOf(const MountReport::Mark &mark) const
{
    return {pixelOf(mark.azimuth, mark.altitude).toPoint(), mark.altitude < rimAltitude,
            QString::fromStdString(mark.label)};
}

SkyPicture::Drawing SkyPicture::drawingOf(const MountReport &marks) const
{
    Drawing drawing;
    for (const MountReport::Mark &mark : marks.pointings)
        drawing.pointings.push_back(spotOf(mark));
    if (marks.target)
        drawing.target = spotOf(*marks.target);
    for (const MountReport::Mark &mark : marks.path)
        drawing.path.push_back(pixelOf(mark.azimuth, mark.altitude).toPoint());
    return drawing;
}

QSize SkyPicture::sizeHint() const { return {320, 320}; }

QSize SkyPicture::minimumSizeHint() const { return {160, 160}; }

void SkyPicture::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    // The pixels move with the size; the resize repaints the widget anyway.
    m_drawing = drawingOf(m_marks);
}

void SkyPicture::paintEvent(QPaintEvent *)
{
    ++m_paintCount;
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);

    const QPalette &colours = palette();
    const QColor base = colours.color(QPalette::Base);
    const QColor text = colours.color(QPalette::Text);
    const QColor faint = blend(base, text, 0.25);
    const QColor pointingColour = colours.color(QPalette::Highlight);
    const QColor gotoColour = targetColour(base);
    const QPointF middle = centre();
    const double horizon = horizonRadius();
    const double rim = rimRadius();

    // The band below the horizon, then the sky above it.
    painter.setPen(QPen(faint, 1, Qt::DashLine));
    painter.setBrush(blend(base, text, 0.10));
    painter.drawEllipse(middle, rim, rim);
    painter.setPen(QPen(text, 1.5));
    painter.setBrush(base);
    painter.drawEllipse(middle, horizon, horizon);

    // The altitude rings and the meridian and prime vertical, light, for reading positions.
    QFont small = font();
    if (small.pointSizeF() > 0)
        small.setPointSizeF(small.pointSizeF() * 0.85);
    painter.setFont(small);
    painter.setBrush(Qt::NoBrush);
    painter.setPen(QPen(faint, 1));
    painter.drawLine(pixelOf(0, 0), pixelOf(std::numbers::pi, 0));
    painter.drawLine(pixelOf(std::numbers::pi / 2, 0), pixelOf(3 * std::numbers::pi / 2, 0));
    for (const int altitude : {30, 60}) {
        const double radius = horizon * (90 - altitude) / 90.0;
        painter.setPen(QPen(faint, 1));
        painter.drawEllipse(middle, radius, radius);
        // Labelled where the ring crosses the south-west diagonal, out of the compass's way.
        const QPointF at = pixelOf(225 * degree, altitude * degree);
        painter.setPen(blend(base, text, 0.6));
        painter.drawText(at + QPointF(3, -3), QString::number(altitude) + QChar(0x00B0));
    }

    // The compass letters just outside the band, on the window's background.
    painter.setFont(font());
    painter.setPen(colours.color(QPalette::WindowText));
    const QFontMetricsF metrics(font());
    const double reach = rim + 2;
    const struct
    {
        const char *letter;
        QPointF direction;
    } compass[] = {{"N", {0, -1}}, {"E", {-1, 0}}, {"S", {0, 1}}, {"W", {1, 0}}};
    for (const auto &point : compass) {
        const QString letter = QString::fromLatin1(point.letter);
        const QSizeF size(metrics.horizontalAdvance(letter), metrics.height());
        const QPointF edge = middle + point.direction * reach;
        // Each letter sits outside the rim, its nearest side touching it.
        const QPointF topLeft = edge
                + QPointF((point.direction.x() - 1) * size.width() / 2,
                          (point.direction.y() - 1) * size.height() / 2);
        painter.drawText(QRectF(topLeft, size), Qt::AlignCenter, letter);
    }

    // The way the goto takes, then its target.
    if (m_drawing.path.size() >= 2) {
        QPen dashed(gotoColour, 1.5, Qt::DashLine);
        painter.setPen(dashed);
        painter.drawPolyline(m_drawing.path.data(), static_cast<int>(m_drawing.path.size()));
    }
    if (m_drawing.target) {
        const Spot &target = *m_drawing.target;
        painter.setPen(QPen(gotoColour, 2, target.beyondRim ? Qt::DashLine : Qt::SolidLine));
        painter.setBrush(Qt::NoBrush);
        painter.drawRect(QRectF(target.at - QPointF(6, 6), QSizeF(12, 12)));
    }

    // The pointings last, on top: a circle with a crosshair, hollow when below the band.
    for (const Spot &pointing : m_drawing.pointings) {
        const QPointF at = pointing.at;
        painter.setPen(QPen(pointingColour, 2));
        painter.setBrush(Qt::NoBrush);
        painter.drawEllipse(at, 7, 7);
        for (const QPointF &arm : {QPointF(1, 0), QPointF(0, 1)}) {
            painter.drawLine(at + arm * 4, at + arm * 11);
            painter.drawLine(at - arm * 4, at - arm * 11);
        }
        if (!pointing.beyondRim) {
            painter.setPen(Qt::NoPen);
            painter.setBrush(pointingColour);
            painter.drawEllipse(at, 2.5, 2.5);
        }
        if (!pointing.label.isEmpty()) {
            painter.setPen(text);
            painter.drawText(at + QPointF(10, -8), pointing.label);
        }
    }
}

} // namespace tqx
