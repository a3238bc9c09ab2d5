#pragma once

#include <QFrame>
#include <QImage>
#include <QPoint>

#include <memory>

#include "model/AlbumArtwork.h"

class QTemporaryDir;

namespace quorvel::ui {

// The artwork well: draws one artwork scaled to fit (with an outline when it
// is a preview), takes images and image files dropped on it, and lets the
// shown artwork be dragged out to a folder as an image file.
class ArtworkWell : public QFrame {
  Q_OBJECT

 public:
  explicit ArtworkWell(QWidget* parent = nullptr);
  ~ArtworkWell() override;

  // Shows `artwork` (none: the drop hint). `preview` draws the outline.
  void setArtwork(const AlbumArtworkPtr& artwork, bool preview);
  const AlbumArtworkPtr& artwork() const { return artwork_; }
  void setDropEnabled(bool enabled);

  QSize sizeHint() const override;
  bool hasHeightForWidth() const override { return true; }
  int heightForWidth(int width) const override { return width; }

  // A decoded, downscaled image of `artwork` for display (through the
  // core's codec for formats Qt cannot read). Null when it cannot be decoded.
  static QImage displayImage(const AlbumArtwork& artwork, int maxSide);

 Q_SIGNALS:
  // Encoded image bytes dropped or pasted onto the well.
  void imageDataDropped(const QByteArray& data);
  // An image file dropped onto the well.
  void imageFileDropped(const QString& path);

 protected:
  void paintEvent(QPaintEvent* event) override;
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dropEvent(QDropEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;

 private:
  void startDrag();

  AlbumArtworkPtr artwork_;
  QImage image_;
  bool preview_ = false;
  bool dropEnabled_ = true;
  QPoint pressPosition_;
  std::unique_ptr<QTemporaryDir> dragFolder_;
};

}  // namespace quorvel::ui
