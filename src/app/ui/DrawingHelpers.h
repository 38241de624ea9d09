#pragma once
// Drawing tools shared by the custom views and cells.

#include <QImage>
#include <QPainterPath>
#include <QRectF>
#include <QSizeF>

#include <array>

// Centres `size` in `rect`; with `clip`, a side longer than the rectangle's is cut to it
// (and starts at the rectangle's edge), else it overhangs equally on both sides.
QRectF CenterSizeInRect(QSizeF size, QRectF rect, bool clip);

// A rectangle with round corners; the radius is limited to half the width and then to
// half the height, so a large radius gives semicircular ends.
QPainterPath roundCorneredRectPath(const QRectF& rect, qreal radius);
// The radius roundCorneredRectPath actually uses.
qreal clampedCornerRadius(const QRectF& rect, qreal radius);

// An image by name from the bundle's resources ("images/<name>.png"), loaded once; a null image
// when there is none.
QImage imageNamed(const QString& name);

// A band stretched from a left cap, a middle piece and a right cap. Each piece is drawn
// "source atop": the band shows only over what is painted beneath it.
class ImageSetRenderer {
public:
    ImageSetRenderer(QImage left, QImage center, QImage right);
    // Where the three pieces go in `rect`: the caps at their own widths with the middle
    // stretched between them when the rectangle is wider than both caps, else the caps
    // squeezed into its two halves and no middle piece (an empty rectangle).
    std::array<QRectF, 3> pieceRects(const QRectF& rect) const;
    void drawInRect(class QPainter& painter, const QRectF& rect) const;

private:
    QImage left_, center_, right_;
};
