#pragma once

#include <QAbstractScrollArea>
#include <QFile>

#include <cstdint>
#include <memory>

namespace quorvel::ui {

// A read-only hex dump of one file: offset, sixteen bytes in hex and as
// ASCII per row. The file is memory-mapped and only the rows on screen are
// painted, so a file of several gigabytes opens and scrolls at once. A file
// that cannot be mapped (a pipe, say) is read row by row instead.
class HexView : public QAbstractScrollArea {
  Q_OBJECT

 public:
  static constexpr int kBytesPerRow = 16;

  explicit HexView(QWidget* parent = nullptr);
  ~HexView() override;

  // Opens `path`; false (showing nothing) when it cannot be read.
  bool openFile(const QString& path);
  qint64 fileSize() const { return size_; }
  // Scrolls so that `offset` is visible and marks it.
  void goToOffset(qint64 offset);
  qint64 selectedOffset() const { return selected_; }

 Q_SIGNALS:
  void selectedOffsetChanged(qint64 offset);

 protected:
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void changeEvent(QEvent* event) override;

 private:
  void updateMetrics();
  void updateScrollBars();
  qint64 rowCount() const;
  qint64 firstVisibleRow() const;
  int visibleRowCount() const;
  // Copies up to `count` bytes at `offset` into `out`; returns how many.
  qint64 readBytes(qint64 offset, std::uint8_t* out, qint64 count);
  qint64 offsetAt(const QPoint& point) const;
  void select(qint64 offset);

  std::unique_ptr<QFile> file_;
  const uchar* map_ = nullptr;
  qint64 size_ = 0;
  qint64 selected_ = -1;
  // Rows per scroll-bar step: 1, unless the file has more rows than an int holds.
  qint64 rowsPerStep_ = 1;
  int charWidth_ = 8;
  int lineHeight_ = 16;
  int offsetDigits_ = 8;
};

}  // namespace quorvel::ui
