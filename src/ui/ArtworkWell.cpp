#include "ui/ArtworkWell.h"

#include <QApplication>
#include <QBuffer>
#include <QDrag>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileInfo>
#include <QImageReader>
#include <QMimeData>
#include <QMouseEvent>
#include <QPainter>
#include <QTemporaryDir>
#include <QUrl>

#include <algorithm>

#include "platform/ImageCodec.h"
#include "ui/QtConversions.h"
#include "ui/Theme.h"

namespace quorvel::ui {

ArtworkWell::ArtworkWell(QWidget* parent) : QFrame(parent) {
  setFrameShape(QFrame::StyledPanel);
  setFrameShadow(QFrame::Sunken);
  setAcceptDrops(true);
  setMinimumSize(120, 120);
  QSizePolicy policy(QSizePolicy::Preferred, QSizePolicy::Preferred);
  policy.setHeightForWidth(true);
  setSizePolicy(policy);
  setToolTip(tr("Drop an image here, or drag the artwork to a folder"));
}

ArtworkWell::~ArtworkWell() = default;

QSize ArtworkWell::sizeHint() const { return {240, 240}; }

QImage ArtworkWell::displayImage(const AlbumArtwork& artwork, int maxSide) {
  const QByteArray bytes = toQByteArray(artwork.data());
  QBuffer buffer;
  buffer.setData(bytes);
  buffer.open(QIODevice::ReadOnly);
  QImageReader reader(&buffer);
  reader.setAutoTransform(true);
  const QSize size = reader.size();
  if (size.isValid() && std::max(size.width(), size.height()) > maxSide) {
    reader.setScaledSize(size.scaled(maxSide, maxSide, Qt::KeepAspectRatio));
  }
  QImage image = reader.read();
  if (!image.isNull()) {
    return image;
  }
  // TIFF and whatever else Qt has no plugin for: let the core render a PNG.
  const Data png = ImageCodec::convert(artwork.data(), BitmapFileType::PNG, 1.0f);
  image = QImage::fromData(toQByteArray(png));
  if (!image.isNull() && std::max(image.width(), image.height()) > maxSide) {
    image = image.scaled(maxSide, maxSide, Qt::KeepAspectRatio, Qt::SmoothTransformation);
  }
  return image;
}

void ArtworkWell::setArtwork(const AlbumArtworkPtr& artwork, bool preview) {
  if (artwork != artwork_ || (artwork && image_.isNull())) {
    artwork_ = artwork;
    image_ = artwork ? displayImage(*artwork, 1024) : QImage();
  }
  preview_ = preview;
  update();
}

void ArtworkWell::setDropEnabled(bool enabled) { dropEnabled_ = enabled; }

void ArtworkWell::paintEvent(QPaintEvent* event) {
  QFrame::paintEvent(event);
  QPainter painter(this);
  painter.setRenderHint(QPainter::SmoothPixmapTransform);
  const QRect area = contentsRect().adjusted(6, 6, -6, -6);
  if (image_.isNull()) {
    painter.setPen(palette().color(QPalette::PlaceholderText));
    painter.drawText(area, Qt::AlignCenter | Qt::TextWordWrap,
                     artwork_ ? tr("Artwork cannot be shown") : tr("No Artwork"));
    return;
  }
  const QSize scaled = image_.size().scaled(area.size(), Qt::KeepAspectRatio);
  const QRect target(area.center().x() - scaled.width() / 2 + 1,
                     area.center().y() - scaled.height() / 2 + 1, scaled.width(), scaled.height());
  painter.drawImage(target, image_);
  if (preview_) {
    QPen pen(Theme::previewColor(palette()), 3);
    painter.setPen(pen);
    painter.setBrush(Qt::NoBrush);
    painter.drawRect(target.adjusted(-2, -2, 1, 1));
  }
}

void ArtworkWell::dragEnterEvent(QDragEnterEvent* event) {
  if (!dropEnabled_ || event->source() == this) {
    event->ignore();
    return;
  }
  const QMimeData* mime = event->mimeData();
  bool imageFile = false;
  for (const QUrl& url : mime->urls()) {
    imageFile = imageFile || (url.isLocalFile() && QFileInfo(url.toLocalFile()).isFile());
  }
  if (mime->hasImage() || imageFile) {
    event->acceptProposedAction();
  } else {
    event->ignore();
  }
}

void ArtworkWell::dropEvent(QDropEvent* event) {
  const QMimeData* mime = event->mimeData();
  for (const QUrl& url : mime->urls()) {
    if (url.isLocalFile() && QFileInfo(url.toLocalFile()).isFile()) {
      event->acceptProposedAction();
      Q_EMIT imageFileDropped(url.toLocalFile());
      return;
    }
  }
  if (mime->hasImage()) {
    const QImage image = qvariant_cast<QImage>(mime->imageData());
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    if (!image.isNull() && image.save(&buffer, "PNG")) {
      event->acceptProposedAction();
      Q_EMIT imageDataDropped(bytes);
      return;
    }
  }
  event->ignore();
}

void ArtworkWell::mousePressEvent(QMouseEvent* event) {
  pressPosition_ = event->position().toPoint();
  QFrame::mousePressEvent(event);
}

void ArtworkWell::mouseMoveEvent(QMouseEvent* event) {
  if ((event->buttons() & Qt::LeftButton) && artwork_ &&
      (event->position().toPoint() - pressPosition_).manhattanLength() >=
          QApplication::startDragDistance()) {
    startDrag();
    return;
  }
  QFrame::mouseMoveEvent(event);
}

void ArtworkWell::startDrag() {
  // File managers take a dragged file from a URL: write the artwork's bytes,
  // unchanged, to a private folder that lives as long as the well.
  if (!dragFolder_) {
    dragFolder_ = std::make_unique<QTemporaryDir>();
  }
  if (!dragFolder_->isValid()) {
    return;
  }
  QString name = artwork_->originalFilename()
                     ? QFileInfo(toQString(*artwork_->originalFilename())).completeBaseName()
                     : QString();
  if (name.isEmpty()) {
    name = tr("Artwork");
  }
  const QString path =
      dragFolder_->filePath(name + QLatin1Char('.') + toQString(artwork_->extension()));
  if (!artwork_->writeToFile(toStdString(path))) {
    return;
  }
  auto* mime = new QMimeData;  // owned by the drag
  mime->setUrls({QUrl::fromLocalFile(path)});
  mime->setImageData(image_);
  auto* drag = new QDrag(this);  // Qt disposes of it after the drag
  drag->setMimeData(mime);
  if (!image_.isNull()) {
    drag->setPixmap(
        QPixmap::fromImage(image_.scaled(96, 96, Qt::KeepAspectRatio, Qt::SmoothTransformation)));
  }
  drag->exec(Qt::CopyAction);
}

}  // namespace quorvel::ui
