#include "ui/HexView.h"

#include <QFontDatabase>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>

#include <algorithm>
#include <array>
#include <climits>

namespace quorvel::ui {

namespace {

// Columns in characters: offset, gap, 16 x "hh " with an extra gap after
// eight bytes, gap, 16 ASCII characters.
constexpr int kGap = 2;

int hexColumn(int offsetDigits, int byteInRow) {
  return offsetDigits + kGap + byteInRow * 3 + (byteInRow >= 8 ? 1 : 0);
}
int asciiColumn(int offsetDigits) { return hexColumn(offsetDigits, 16) + kGap; }

}  // namespace

HexView::HexView(QWidget* parent) : QAbstractScrollArea(parent) {
  setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
  setFocusPolicy(Qt::StrongFocus);
  viewport()->setAutoFillBackground(true);
  viewport()->setBackgroundRole(QPalette::Base);
  updateMetrics();
}

HexView::~HexView() {
  if (file_ && map_ != nullptr) {
    file_->unmap(const_cast<uchar*>(map_));
  }
}

bool HexView::openFile(const QString& path) {
  if (file_ && map_ != nullptr) {
    file_->unmap(const_cast<uchar*>(map_));
  }
  map_ = nullptr;
  size_ = 0;
  selected_ = -1;
  file_ = std::make_unique<QFile>(path);
  if (!file_->open(QIODevice::ReadOnly)) {
    file_.reset();
    updateScrollBars();
    viewport()->update();
    return false;
  }
  size_ = file_->size();
  if (size_ > 0) {
    map_ = file_->map(0, size_);  // null when the file cannot be mapped: read instead
  }
  updateMetrics();
  verticalScrollBar()->setValue(0);
  viewport()->update();
  return true;
}

void HexView::updateMetrics() {
  const QFontMetrics metrics(font());
  charWidth_ = std::max(1, metrics.horizontalAdvance(QLatin1Char('0')));
  lineHeight_ = std::max(1, metrics.height());
  offsetDigits_ = size_ > 0xFFFFFFFFLL ? 12 : 8;
  updateScrollBars();
}

qint64 HexView::rowCount() const { return (size_ + kBytesPerRow - 1) / kBytesPerRow; }

int HexView::visibleRowCount() const { return std::max(1, viewport()->height() / lineHeight_); }

qint64 HexView::firstVisibleRow() const {
  return static_cast<qint64>(verticalScrollBar()->value()) * rowsPerStep_;
}

void HexView::updateScrollBars() {
  const qint64 rows = rowCount();
  const qint64 visible = visibleRowCount();
  const qint64 maxFirst = std::max<qint64>(0, rows - visible);
  rowsPerStep_ = std::max<qint64>(1, maxFirst / (INT_MAX / 2) + 1);
  verticalScrollBar()->setRange(
      0, static_cast<int>(maxFirst / rowsPerStep_ + (maxFirst % rowsPerStep_ != 0 ? 1 : 0)));
  verticalScrollBar()->setPageStep(static_cast<int>(std::max<qint64>(1, visible / rowsPerStep_)));
  verticalScrollBar()->setSingleStep(1);
  const int width = (asciiColumn(offsetDigits_) + kBytesPerRow + 1) * charWidth_;
  horizontalScrollBar()->setRange(0, std::max(0, width - viewport()->width()));
  horizontalScrollBar()->setPageStep(viewport()->width());
}

qint64 HexView::readBytes(qint64 offset, std::uint8_t* out, qint64 count) {
  if (offset < 0 || offset >= size_) {
    return 0;
  }
  count = std::min(count, size_ - offset);
  if (map_ != nullptr) {
    std::copy(map_ + offset, map_ + offset + count, out);
    return count;
  }
  if (!file_ || !file_->seek(offset)) {
    return 0;
  }
  return std::max<qint64>(0, file_->read(reinterpret_cast<char*>(out), count));
}

void HexView::paintEvent(QPaintEvent* /*event*/) {
  QPainter painter(viewport());
  painter.setFont(font());
  const QPalette& pal = palette();
  const int xShift = -horizontalScrollBar()->value();
  const int ascent = QFontMetrics(font()).ascent();
  const qint64 first = firstVisibleRow();
  const int rows = visibleRowCount() + 1;
  const QColor offsetColor = pal.color(QPalette::PlaceholderText);
  const QColor textColor = pal.color(QPalette::Text);
  const QColor dimColor = pal.color(QPalette::PlaceholderText);

  // The offset gutter gets the alternate base so the columns read apart.
  painter.fillRect(QRect(0, 0, xShift + (offsetDigits_ + 1) * charWidth_, viewport()->height()),
                   pal.color(QPalette::AlternateBase));

  std::array<std::uint8_t, kBytesPerRow> bytes{};
  for (int r = 0; r < rows; ++r) {
    const qint64 row = first + r;
    if (row >= rowCount()) {
      break;
    }
    const qint64 offset = row * kBytesPerRow;
    const qint64 n = readBytes(offset, bytes.data(), kBytesPerRow);
    const int y = r * lineHeight_;
    const int baseline = y + ascent;

    painter.setPen(offsetColor);
    painter.drawText(
        xShift, baseline,
        QStringLiteral("%1").arg(offset, offsetDigits_, 16, QLatin1Char('0')).toUpper());

    for (int i = 0; i < n; ++i) {
      const int hexX = xShift + hexColumn(offsetDigits_, i) * charWidth_;
      const int asciiX = xShift + (asciiColumn(offsetDigits_) + i) * charWidth_;
      const bool isSelected = offset + i == selected_;
      if (isSelected) {
        painter.fillRect(QRect(hexX, y, charWidth_ * 2, lineHeight_),
                         pal.color(QPalette::Highlight));
        painter.fillRect(QRect(asciiX, y, charWidth_, lineHeight_), pal.color(QPalette::Highlight));
      }
      const std::uint8_t b = bytes[static_cast<std::size_t>(i)];
      painter.setPen(isSelected ? pal.color(QPalette::HighlightedText)
                                : (b == 0 ? dimColor : textColor));
      painter.drawText(hexX, baseline,
                       QStringLiteral("%1").arg(b, 2, 16, QLatin1Char('0')).toUpper());
      const bool printable = b >= 0x20 && b < 0x7F;
      if (!isSelected) {
        painter.setPen(printable ? textColor : dimColor);
      }
      painter.drawText(
          asciiX, baseline,
          printable ? QString(QLatin1Char(static_cast<char>(b))) : QStringLiteral("."));
    }
  }
}

void HexView::resizeEvent(QResizeEvent* event) {
  QAbstractScrollArea::resizeEvent(event);
  updateScrollBars();
}

void HexView::changeEvent(QEvent* event) {
  QAbstractScrollArea::changeEvent(event);
  if (event->type() == QEvent::FontChange) {
    updateMetrics();
  }
}

qint64 HexView::offsetAt(const QPoint& point) const {
  const qint64 row = firstVisibleRow() + point.y() / lineHeight_;
  const int column = (point.x() + horizontalScrollBar()->value()) / charWidth_;
  int byte = -1;
  if (column >= asciiColumn(offsetDigits_)) {
    byte = column - asciiColumn(offsetDigits_);
  } else {
    for (int i = 0; i < kBytesPerRow; ++i) {
      const int start = hexColumn(offsetDigits_, i);
      if (column >= start && column < start + 3) {
        byte = i;
        break;
      }
    }
  }
  if (byte < 0 || byte >= kBytesPerRow) {
    return -1;
  }
  const qint64 offset = row * kBytesPerRow + byte;
  return offset < size_ ? offset : -1;
}

void HexView::select(qint64 offset) {
  if (offset == selected_) {
    return;
  }
  selected_ = offset;
  viewport()->update();
  Q_EMIT selectedOffsetChanged(offset);
}

void HexView::mousePressEvent(QMouseEvent* event) { select(offsetAt(event->position().toPoint())); }

void HexView::goToOffset(qint64 offset) {
  if (size_ <= 0) {
    return;
  }
  offset = std::clamp<qint64>(offset, 0, size_ - 1);
  const qint64 row = offset / kBytesPerRow;
  if (row < firstVisibleRow() || row >= firstVisibleRow() + visibleRowCount()) {
    verticalScrollBar()->setValue(static_cast<int>(
        (row - visibleRowCount() / 2 > 0 ? row - visibleRowCount() / 2 : 0) / rowsPerStep_));
  }
  select(offset);
}

void HexView::keyPressEvent(QKeyEvent* event) {
  const qint64 current = std::max<qint64>(0, selected_);
  const qint64 page = static_cast<qint64>(visibleRowCount()) * kBytesPerRow;
  switch (event->key()) {
    case Qt::Key_Left:
      goToOffset(current - 1);
      break;
    case Qt::Key_Right:
      goToOffset(current + 1);
      break;
    case Qt::Key_Up:
      goToOffset(current - kBytesPerRow);
      break;
    case Qt::Key_Down:
      goToOffset(current + kBytesPerRow);
      break;
    case Qt::Key_PageUp:
      goToOffset(current - page);
      break;
    case Qt::Key_PageDown:
      goToOffset(current + page);
      break;
    case Qt::Key_Home:
      goToOffset(0);
      break;
    case Qt::Key_End:
      goToOffset(size_ - 1);
      break;
    default:
      QAbstractScrollArea::keyPressEvent(event);
      return;
  }
}

}  // namespace quorvel::ui
