#include "ui/ConvertArtworkDialog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalBlocker>
#include <QSlider>
#include <QToolButton>
#include <QVBoxLayout>

#include <cmath>

#include "document/FileSizeFormatter.h"
#include "document/TQConvertArtworkWindowController.h"
#include "ui/QtConversions.h"
#include "ui/Theme.h"

namespace quorvel::ui {

namespace {

using Controller = TQConvertArtworkWindowController;

// Puts `text` in `edit` without moving the cursor more than the text changed.
void setFieldText(QLineEdit* edit, const QString& text) {
  if (edit->text() == text) {
    return;
  }
  const int cursor = edit->cursorPosition();
  const QSignalBlocker block(edit);
  edit->setText(text);
  edit->setCursorPosition(std::min(cursor, static_cast<int>(text.size())));
}

}  // namespace

ConvertArtworkDialog::ConvertArtworkDialog(QWidget* parent)
    : QDialog(parent),
      source_(new QLabel(this)),
      width_(new QLineEdit(this)),
      height_(new QLineEdit(this)),
      units_(new QComboBox(this)),
      lock_(new QToolButton(this)),
      proportional_(new QCheckBox(tr("Scale proportionally"), this)),
      format_(new QComboBox(this)),
      quality_(new QSlider(Qt::Horizontal, this)),
      qualityValue_(new QLabel(this)),
      dimensionsResult_(new QLabel(this)),
      sizeResult_(new QLabel(this)) {
  setWindowTitle(tr("Convert Artwork"));
  setWindowModality(Qt::WindowModal);
  source_->setForegroundRole(QPalette::PlaceholderText);
  for (QLineEdit* field : {width_, height_}) {
    field->setMaxLength(static_cast<int>(Controller::kMaxFieldLength));
    field->setMaximumWidth(80);
    field->setAlignment(Qt::AlignRight);
  }
  units_->addItem(tr("pixels"), Controller::DimensionsPixels);
  units_->addItem(tr("percent"), Controller::DimensionsPercent);
  lock_->setCheckable(true);
  lock_->setAutoRaise(true);
  lock_->setToolTip(tr("Keep the proportions"));
  format_->addItem(tr("Original Format"), Controller::ImageTypeSource);
  format_->addItem(tr("JPEG"), Controller::ImageTypeJPEG);
  format_->addItem(tr("PNG"), Controller::ImageTypePNG);
  quality_->setRange(0, 100);
  qualityValue_->setMinimumWidth(40);

  auto* size = new QHBoxLayout;
  size->addWidget(width_);
  size->addWidget(new QLabel(QStringLiteral("×"), this));
  size->addWidget(height_);
  size->addWidget(units_);
  size->addWidget(lock_);
  size->addStretch(1);
  auto* qualityRow = new QHBoxLayout;
  qualityRow->addWidget(quality_, 1);
  qualityRow->addWidget(qualityValue_);

  auto* form = new QFormLayout;
  form->addRow(tr("Original:"), source_);
  form->addRow(tr("New size:"), size);
  form->addRow(QString(), proportional_);
  form->addRow(tr("Format:"), format_);
  form->addRow(tr("Quality:"), qualityRow);
  form->addRow(tr("Result:"), dimensionsResult_);
  form->addRow(QString(), sizeResult_);

  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  buttons->button(QDialogButtonBox::Ok)->setText(tr("Convert"));
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(form);
  layout->addWidget(buttons);
  connect(buttons, &QDialogButtonBox::accepted, this, &ConvertArtworkDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &ConvertArtworkDialog::reject);

  connect(width_, &QLineEdit::textEdited, this, [this](const QString& text) {
    if (controller_) {
      controller_->widthTextDidChange(toStdString(text));
      syncFromController();
    }
  });
  connect(height_, &QLineEdit::textEdited, this, [this](const QString& text) {
    if (controller_) {
      controller_->heightTextDidChange(toStdString(text));
      syncFromController();
    }
  });
  connect(units_, &QComboBox::activated, this, [this](int index) {
    if (controller_) {
      controller_->setDimensionsType(units_->itemData(index).toInt());
      syncFromController();
    }
  });
  connect(lock_, &QToolButton::clicked, this, [this] {
    if (controller_) {
      controller_->lockButtonPressed();
      syncFromController();
    }
  });
  connect(proportional_, &QCheckBox::clicked, this, [this](bool on) {
    if (controller_) {
      controller_->setScaleProportionally(on);
      syncFromController();
    }
  });
  connect(format_, &QComboBox::activated, this, [this](int index) {
    if (controller_) {
      controller_->setImageType(format_->itemData(index).toInt());
      syncFromController();
    }
  });
  connect(quality_, &QSlider::valueChanged, this, [this](int value) {
    qualityValue_->setText(QStringLiteral("%1 %").arg(value));
    if (controller_ && !syncing_) {
      controller_->setQuality(static_cast<float>(value) / 100.0f);
      syncFromController();
    }
  });
}

ConvertArtworkDialog::~ConvertArtworkDialog() = default;

void ConvertArtworkDialog::begin(const AlbumArtworkPtr& artwork,
                                 std::function<void(const AlbumArtworkPtr&)> replace) {
  // A fresh controller per sheet: it reads its settings when it is made.
  controller_ = std::make_unique<Controller>();
  controller_->setReplaceArtworkHandler(std::move(replace));
  controller_->setDisplayChangedHandler([this] { syncFromController(); });
  controller_->setAlbumArtwork(artwork);
  source_->setText(tr("%1, %2 %3")
                       .arg(toQString(artwork->dimensions()),
                            toQString(FileSizeFormatter().stringForObjectValue(
                                Object(static_cast<std::int64_t>(artwork->dataSize())))),
                            toQString(artwork->extension()).toUpper()));
  syncFromController();
  width_->setFocus();
  width_->selectAll();
  open();
}

void ConvertArtworkDialog::syncFromController() {
  if (!controller_) {
    return;
  }
  syncing_ = true;
  setFieldText(width_, toQString(controller_->widthText()));
  setFieldText(height_, toQString(controller_->heightText()));
  {
    const QSignalBlocker block(units_);
    units_->setCurrentIndex(units_->findData(controller_->dimensionsType()));
  }
  {
    const QSignalBlocker block(proportional_);
    proportional_->setChecked(controller_->scaleProportionally());
  }
  lock_->setChecked(controller_->lockButtonShowsLocked());
  lock_->setIcon(Theme::lockIcon(palette(), controller_->lockButtonShowsLocked()));
  {
    const QSignalBlocker block(format_);
    format_->setCurrentIndex(format_->findData(controller_->imageType()));
  }
  quality_->setValue(static_cast<int>(std::lround(controller_->quality() * 100)));
  qualityValue_->setText(QStringLiteral("%1 %").arg(quality_->value()));
  dimensionsResult_->setText(toQString(controller_->dimensionsResultText()));
  sizeResult_->setText(toQString(controller_->dataSizeResultText()));
  syncing_ = false;
}

void ConvertArtworkDialog::accept() {
  if (!controller_ || controller_->okButtonPressed()) {
    QDialog::accept();
  }
}

void ConvertArtworkDialog::reject() {
  if (controller_) {
    controller_->cancelButtonPressed();
  }
  QDialog::reject();
}

}  // namespace quorvel::ui
