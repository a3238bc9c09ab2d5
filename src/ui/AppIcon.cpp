#include "ui/AppIcon.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

namespace quorvel::ui {

namespace {

// Draws the icon in a 256 x 256 coordinate space.
void paintIcon(QPainter& p) {
  p.setRenderHint(QPainter::Antialiasing);
  QLinearGradient tile(0, 0, 256, 256);
  tile.setColorAt(0, QColor(0x6A, 0x4F, 0xE0));
  tile.setColorAt(1, QColor(0x1B, 0x93, 0xD1));
  p.setPen(Qt::NoPen);
  p.setBrush(tile);
  p.drawRoundedRect(QRectF(12, 12, 232, 232), 52, 52);

  p.translate(128, 128);
  p.rotate(-20);
  p.translate(-128, -128);

  QPainterPath tag;
  tag.moveTo(60, 82);
  tag.lineTo(166, 82);
  tag.lineTo(214, 128);
  tag.lineTo(166, 174);
  tag.lineTo(60, 174);
  tag.closeSubpath();
  QPen edge(Qt::white, 14, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
  p.setPen(edge);
  p.setBrush(Qt::white);
  p.drawPath(tag);

  p.setPen(Qt::NoPen);
  p.setBrush(QColor(0x3F, 0x6F, 0xD8));
  p.drawEllipse(QPointF(180, 128), 11, 11);

  const QColor ink(0x3B, 0x3F, 0xA8);
  p.setBrush(ink);
  p.save();
  p.translate(100, 150);
  p.rotate(-20);
  p.drawEllipse(QPointF(0, 0), 17, 13);
  p.restore();
  p.drawRect(QRectF(111, 92, 8, 58));
  QPainterPath flag;
  flag.moveTo(111, 92);
  flag.cubicTo(126, 98, 146, 104, 144, 128);
  flag.cubicTo(140, 114, 128, 110, 119, 108);
  flag.closeSubpath();
  p.drawPath(flag);
}

}  // namespace

QIcon appIcon() {
  QIcon icon;
  for (int size : {16, 24, 32, 48, 64, 128, 256}) {
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.scale(size / 256.0, size / 256.0);
    paintIcon(painter);
    painter.end();
    icon.addPixmap(pixmap);
  }
  return icon;
}

}  // namespace quorvel::ui
