#pragma once

#include <QDialog>

#include <functional>
#include <memory>

#include "model/AlbumArtwork.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QSlider;
class QToolButton;

namespace quorvel {
class TQConvertArtworkWindowController;
}

namespace quorvel::ui {

// The Convert Artwork sheet: the core's TQConvertArtworkWindowController
// with fields for the new size (pixels or percent, proportions locked or
// not), the image format and the JPEG quality, and the live estimate of the
// result. Every control forwards to the controller and every text shown is
// the controller's.
class ConvertArtworkDialog : public QDialog {
  Q_OBJECT

 public:
  explicit ConvertArtworkDialog(QWidget* parent = nullptr);
  ~ConvertArtworkDialog() override;

  // Starts the sheet on `artwork`; OK hands the converted artwork to `replace`.
  void begin(const AlbumArtworkPtr& artwork, std::function<void(const AlbumArtworkPtr&)> replace);

  void accept() override;
  void reject() override;

 private:
  void syncFromController();

  std::unique_ptr<TQConvertArtworkWindowController> controller_;
  QLabel* source_;
  QLineEdit* width_;
  QLineEdit* height_;
  QComboBox* units_;
  QToolButton* lock_;
  QCheckBox* proportional_;
  QComboBox* format_;
  QSlider* quality_;
  QLabel* qualityValue_;
  QLabel* dimensionsResult_;
  QLabel* sizeResult_;
  bool syncing_ = false;
};

}  // namespace quorvel::ui
