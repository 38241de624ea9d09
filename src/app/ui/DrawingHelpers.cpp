#include "app/ui/DrawingHelpers.h"

#include "app/foundation/Resources.h"

#include <QHash>
#include <QPainter>

#include <algorithm>

QRectF CenterSizeInRect(QSizeF size, QRectF rect, bool clip) {
    QRectF r;
    if (clip && size.width() > rect.width()) {
        r.setX(rect.x());
        r.setWidth(rect.width());
    } else {
        r.setX(rect.x() + (rect.width() - size.width()) / 2);
        r.setWidth(size.width());
    }
    if (clip && size.height() > rect.height()) {
        r.setY(rect.y());
        r.setHeight(rect.height());
    } else {
        r.setY(rect.y() + (rect.height() - size.height()) / 2);
        r.setHeight(size.height());
    }
    return r;
}

qreal clampedCornerRadius(const QRectF& rect, qreal radius) {
    radius = std::min(radius, rect.width() / 2);
    return std::max<qreal>(0, std::min(radius, rect.height() / 2));
}

QPainterPath roundCorneredRectPath(const QRectF& rect, qreal radius) {
    const qreal r = clampedCornerRadius(rect, radius);
    QPainterPath path;
    if (r <= 0) {
        path.addRect(rect);
        return path;
    }
    path.addRoundedRect(rect, r, r);
    return path;
}

QImage imageNamed(const QString& name) {
    static QHash<QString, QImage> cache;
    const auto it = cache.constFind(name);
    if (it != cache.constEnd()) return *it;
    QImage image;
    const QString path = Resources::find(QStringLiteral("images/") + name, QStringLiteral("png"));
    if (!path.isEmpty()) image.load(path);
    cache.insert(name, image);
    return image;
}

ImageSetRenderer::ImageSetRenderer(QImage left, QImage center, QImage right)
    : left_(std::move(left)), center_(std::move(center)), right_(std::move(right)) {}

std::array<QRectF, 3> ImageSetRenderer::pieceRects(const QRectF& rect) const {
    const qreal lw = left_.width(), rw = right_.width();
    if (rect.width() > lw + rw) {
        return {QRectF(rect.x(), rect.y(), lw, rect.height()),
                QRectF(rect.x() + lw, rect.y(), rect.width() - lw - rw, rect.height()),
                QRectF(rect.right() - rw, rect.y(), rw, rect.height())};
    }
    const qreal half = rect.width() / 2;
    return {QRectF(rect.x(), rect.y(), half, rect.height()), QRectF(),
            QRectF(rect.x() + half, rect.y(), rect.width() - half, rect.height())};
}

void ImageSetRenderer::drawInRect(QPainter& painter, const QRectF& rect) const {
    const auto pieces = pieceRects(rect);
    painter.save();
    painter.setCompositionMode(QPainter::CompositionMode_SourceAtop);
    painter.drawImage(pieces[0], left_, QRectF(left_.rect()));
    if (!pieces[1].isEmpty()) painter.drawImage(pieces[1], center_, QRectF(center_.rect()));
    painter.drawImage(pieces[2], right_, QRectF(right_.rect()));
    painter.restore();
}
