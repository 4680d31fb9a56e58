#pragma once

#include "emulation/MountReport.h"

#include <QPoint>
#include <QPointF>
#include <QString>
#include <QWidget>

#include <optional>
#include <vector>

namespace tqx {

// The sky seen from the site, as a chart held overhead: the zenith in the middle, the horizon as
// a circle (distance from the middle proportional to the zenith distance), north at the top and
// east on the left. A narrow band outside the horizon shows pointings down to 20 degrees below
// it. On it: where the mount points and, during a goto, the target and the way there.
//
// The marks are kept as the pixels they land on. New marks that land on the same pixels, with
// the same labels, do not repaint: a tracking mount moves far less than a pixel per frame.
class SkyPicture : public QWidget
{
    Q_OBJECT

public:
    // How far below the horizon the band outside it reaches, in degrees.
    static constexpr double bandDepthDegrees = 20;

    // A mark as drawn: its pixel, whether it lies below the band and sits on its rim instead,
    // and its label.
    struct Spot
    {
        QPoint at;
        bool beyondRim = false;
        QString label;
        bool operator==(const Spot &) const = default;
    };
    struct Drawing
    {
        std::vector<Spot> pointings;
        std::optional<Spot> target;
        std::vector<QPoint> path;
        bool operator==(const Drawing &) const = default;
    };

    explicit SkyPicture(QWidget *parent = nullptr);

    // Takes the report's pointings, goto target and path; repaints only when what is drawn
    // changes.
    void showMarks(const MountReport &report);

    // Where a direction (radians; azimuth from north through east) lands in the widget as it is
    // sized now. Directions below the band land on its rim.
    QPointF pixelOf(double azimuth, double altitude) const;
    QPointF centre() const;
    double horizonRadius() const;
    double rimRadius() const;

    const Drawing &drawing() const { return m_drawing; }
    // Paint events handled so far.
    int paintCount() const { return m_paintCount; }

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;
    bool hasHeightForWidth() const override { return true; }
    int heightForWidth(int width) const override { return width; }

protected:
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    Spot spotOf(const MountReport::Mark &mark) const;
    Drawing drawingOf(const MountReport &report) const;
    // Room kept around the band for the compass letters.
    int labelMargin() const;

    MountReport m_marks;
    Drawing m_drawing;
    int m_paintCount = 0;
};

} // namespace tqx
