#include "ColorWell.h"

#include <QColorDialog>
#include <QPainter>

ColorWell::ColorWell(QWidget* parent) : QPushButton(parent) {
    setMinimumSize(44, 24);
    connect(this, &QPushButton::clicked, this, &ColorWell::openDialog);
}

void ColorWell::setColor(const QColor& color) {
    color_ = color;
    update();
}

void ColorWell::pickColor(const QColor& color) {
    if (!color.isValid()) return;
    setColor(color);
    emit colorPicked(color);
}

void ColorWell::openDialog() {
    const QColor chosen = QColorDialog::getColor(color_, this, QString(), QColorDialog::ShowAlphaChannel);
    pickColor(chosen);  // a cancelled dialog answers an invalid colour
}

void ColorWell::paintEvent(QPaintEvent* event) {
    QPushButton::paintEvent(event);
    QPainter painter(this);
    const QRect swatch = rect().adjusted(6, 5, -7, -6);
    painter.fillRect(swatch, color_);
    painter.setPen(palette().color(QPalette::Dark));
    painter.drawRect(swatch);
}
