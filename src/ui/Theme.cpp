#include "ui/Theme.h"

#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

namespace quorvel::ui {

bool Theme::isDark(const QPalette& palette) {
  return palette.color(QPalette::Base).lightnessF() < 0.5;
}

QColor Theme::previewColor(const QPalette& palette) {
  return isDark(palette) ? QColor(0xFF, 0xA2, 0x4C) : QColor(0xB8, 0x4A, 0x00);
}

QColor Theme::highlightedPreviewColor(const QPalette& palette) {
  // On the selection colour a pale amber stays readable whatever the accent.
  const bool darkHighlight = palette.color(QPalette::Highlight).lightnessF() < 0.6;
  return darkHighlight ? QColor(0xFF, 0xD5, 0x8A) : QColor(0x7A, 0x2E, 0x00);
}

QIcon Theme::needsSavingIcon(const QPalette& palette) {
  QIcon icon;
  for (int size : {12, 16, 24, 32}) {
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::NoPen);
    p.setBrush(palette.color(QPalette::Highlight));
    const qreal r = size * 0.28;
    p.drawEllipse(QPointF(size / 2.0, size / 2.0), r, r);
    p.end();
    icon.addPixmap(pixmap);
  }
  return icon;
}

QIcon Theme::hasArtworkIcon(const QPalette& palette) {
  QIcon icon;
  const QColor ink = palette.color(QPalette::Text);
  for (int size : {12, 16, 24, 32}) {
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    const qreal s = size / 16.0;
    QPen pen(ink, 1.2 * s);
    p.setPen(pen);
    p.setBrush(Qt::NoBrush);
    p.drawRoundedRect(QRectF(2 * s, 3 * s, 12 * s, 10 * s), 1.5 * s, 1.5 * s);
    // A hill and a sun: the usual sign for a picture.
    QPainterPath hill;
    hill.moveTo(3 * s, 12 * s);
    hill.lineTo(7 * s, 7.5 * s);
    hill.lineTo(10 * s, 10.5 * s);
    hill.lineTo(11.5 * s, 9 * s);
    hill.lineTo(13 * s, 12 * s);
    p.setPen(Qt::NoPen);
    p.setBrush(ink);
    p.drawPath(hill);
    p.drawEllipse(QPointF(11 * s, 6 * s), 1.3 * s, 1.3 * s);
    p.end();
    icon.addPixmap(pixmap);
  }
  return icon;
}

QIcon Theme::lockIcon(const QPalette& palette, bool locked) {
  QIcon icon;
  const QColor ink = palette.color(QPalette::ButtonText);
  for (int size : {16, 24, 32}) {
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    const qreal s = size / 16.0;
    p.setPen(QPen(ink, 1.6 * s));
    p.setBrush(Qt::NoBrush);
    // The shackle: closed over the body, or swung open to the right.
    QPainterPath shackle;
    const qreal left = locked ? 5 * s : 8.5 * s;
    shackle.moveTo(left, 7.5 * s);
    shackle.lineTo(left, 5 * s);
    shackle.arcTo(QRectF(left, 1.5 * s, 6 * s, 7 * s), 180, -180);
    shackle.lineTo(left + 6 * s, locked ? 7.5 * s : 5.5 * s);
    p.drawPath(shackle);
    p.setPen(Qt::NoPen);
    p.setBrush(ink);
    p.drawRoundedRect(QRectF(3.5 * s, 7.5 * s, 9 * s, 7 * s), 1.2 * s, 1.2 * s);
    p.end();
    icon.addPixmap(pixmap);
  }
  return icon;
}

QIcon Theme::searchIcon(const QPalette& palette) {
  QIcon icon;
  const QColor ink = palette.color(QPalette::PlaceholderText);
  for (int size : {16, 24, 32}) {
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    const qreal s = size / 16.0;
    QPen pen(ink, 1.7 * s, Qt::SolidLine, Qt::RoundCap);
    p.setPen(pen);
    p.drawEllipse(QPointF(6.5 * s, 6.5 * s), 4 * s, 4 * s);
    p.drawLine(QPointF(9.5 * s, 9.5 * s), QPointF(13.5 * s, 13.5 * s));
    // A small caret: the field has a menu of search categories.
    p.setPen(Qt::NoPen);
    p.setBrush(ink);
    QPainterPath caret;
    caret.moveTo(12 * s, 2.5 * s);
    caret.lineTo(15.5 * s, 2.5 * s);
    caret.lineTo(13.75 * s, 4.5 * s);
    caret.closeSubpath();
    p.drawPath(caret);
    p.end();
    icon.addPixmap(pixmap);
  }
  return icon;
}

}  // namespace quorvel::ui
