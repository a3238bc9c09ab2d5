#include "ui/ArtworkPanel.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QToolButton>
#include <QVBoxLayout>

#include <array>

#include "document/AppDelegate.h"
#include "document/FileSizeFormatter.h"
#include "document/MetadataFunctionController.h"
#include "ui/ArtworkWell.h"
#include "ui/QtConversions.h"

namespace quorvel::ui {

namespace {

bool sameArtworks(const std::vector<AlbumArtworkPtr>& a, const std::vector<AlbumArtworkPtr>& b) {
  if (a.size() != b.size()) {
    return false;
  }
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (a[i]->md5() != b[i]->md5()) {
      return false;
    }
  }
  return true;
}

}  // namespace

QString ArtworkPanel::artworkTypeName(std::uint32_t type) {
  static const std::array<const char*, 21> names = {
      QT_TRANSLATE_NOOP("ArtworkPanel", "Other"),
      QT_TRANSLATE_NOOP("ArtworkPanel", "File Icon"),
      QT_TRANSLATE_NOOP("ArtworkPanel", "Other File Icon"),
      QT_TRANSLATE_NOOP("ArtworkPanel", "Front Cover"),
      QT_TRANSLATE_NOOP("ArtworkPanel", "Back Cover"),
      QT_TRANSLATE_NOOP("ArtworkPanel", "Leaflet Page"),
      QT_TRANSLATE_NOOP("ArtworkPanel", "Media"),
      QT_TRANSLATE_NOOP("ArtworkPanel", "Lead Artist"),
      QT_TRANSLATE_NOOP("ArtworkPanel", "Artist"),
      QT_TRANSLATE_NOOP("ArtworkPanel", "Conductor"),
      QT_TRANSLATE_NOOP("ArtworkPanel", "Band"),
      QT_TRANSLATE_NOOP("ArtworkPanel", "Composer"),
      QT_TRANSLATE_NOOP("ArtworkPanel", "Lyricist"),
      QT_TRANSLATE_NOOP("ArtworkPanel", "Recording Location"),
      QT_TRANSLATE_NOOP("ArtworkPanel", "During Recording"),
      QT_TRANSLATE_NOOP("ArtworkPanel", "During Performance"),
      QT_TRANSLATE_NOOP("ArtworkPanel", "Screen Capture"),
      QT_TRANSLATE_NOOP("ArtworkPanel", "Bright Coloured Fish"),
      QT_TRANSLATE_NOOP("ArtworkPanel", "Illustration"),
      QT_TRANSLATE_NOOP("ArtworkPanel", "Band Logo"),
      QT_TRANSLATE_NOOP("ArtworkPanel", "Publisher Logo"),
  };
  if (type < names.size()) {
    return tr(names[type]);
  }
  return tr("Type %1").arg(type);
}

ArtworkPanel::ArtworkPanel(AppDelegate& delegate, QWidget* parent)
    : QWidget(parent),
      delegate_(delegate),
      well_(new ArtworkWell(this)),
      previous_(new QToolButton(this)),
      next_(new QToolButton(this)),
      position_(new QLabel(this)),
      info_(new QLabel(this)),
      description_(new QLineEdit(this)),
      choose_(new QPushButton(tr("Choose…"), this)),
      paste_(new QPushButton(tr("Paste"), this)),
      remove_(new QPushButton(tr("Remove"), this)),
      convert_(new QPushButton(tr("Convert…"), this)) {
  previous_->setArrowType(Qt::LeftArrow);
  previous_->setAutoRaise(true);
  previous_->setToolTip(tr("Previous Artwork"));
  next_->setArrowType(Qt::RightArrow);
  next_->setAutoRaise(true);
  next_->setToolTip(tr("Next Artwork"));
  position_->setAlignment(Qt::AlignCenter);
  info_->setAlignment(Qt::AlignCenter);
  info_->setForegroundRole(QPalette::PlaceholderText);
  info_->setWordWrap(true);
  description_->setPlaceholderText(tr("Description"));
  choose_->setToolTip(tr("Choose an image file as artwork"));
  paste_->setToolTip(tr("Paste an image as artwork"));
  remove_->setToolTip(tr("Remove the shown artwork from the selected files"));
  convert_->setToolTip(tr("Resize or re-encode the shown artwork"));

  auto* navigation = new QHBoxLayout;
  navigation->addWidget(previous_);
  navigation->addWidget(position_, 1);
  navigation->addWidget(next_);
  auto* buttons = new QGridLayout;
  buttons->addWidget(choose_, 0, 0);
  buttons->addWidget(paste_, 0, 1);
  buttons->addWidget(remove_, 1, 0);
  buttons->addWidget(convert_, 1, 1);
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(8, 8, 8, 8);
  layout->addWidget(well_, 1);
  layout->addLayout(navigation);
  layout->addWidget(info_);
  layout->addWidget(description_);
  layout->addLayout(buttons);

  connect(previous_, &QToolButton::clicked, this, &ArtworkPanel::showPrevious);
  connect(next_, &QToolButton::clicked, this, &ArtworkPanel::showNext);
  connect(choose_, &QPushButton::clicked, this, &ArtworkPanel::chooseRequested);
  connect(paste_, &QPushButton::clicked, this, &ArtworkPanel::pasteRequested);
  connect(remove_, &QPushButton::clicked, this, &ArtworkPanel::removeRequested);
  connect(convert_, &QPushButton::clicked, this, &ArtworkPanel::convertRequested);
  connect(well_, &ArtworkWell::imageFileDropped, this, &ArtworkPanel::imageFileDropped);
  connect(well_, &ArtworkWell::imageDataDropped, this, &ArtworkPanel::imageDataDropped);
  connect(description_, &QLineEdit::editingFinished, this, &ArtworkPanel::commitDescription);
  refresh();
}

AlbumArtworkPtr ArtworkPanel::shownArtwork() const {
  return shownIndex_ < artworks_.size() ? artworks_[shownIndex_] : nullptr;
}

void ArtworkPanel::refresh() {
  if (delegate_.recordsAreBusy()) {
    return;  // keep what is shown until the worker is done
  }
  const auto selected = delegate_.metadataArrayController().selectedObjects();
  const auto& values = delegate_.functionController().selectionValues();
  preview_ = values.artworkIsPreview;
  differs_ = false;
  artworks_.clear();
  if (preview_) {
    if (values.previewArtwork) {
      artworks_.push_back(values.previewArtwork);
    }
  } else if (!selected.empty()) {
    artworks_ = selected.front()->artworks();
    for (std::size_t i = 1; i < selected.size() && !differs_; ++i) {
      differs_ = !sameArtworks(artworks_, selected[i]->artworks());
    }
  }
  if (shownIndex_ >= artworks_.size()) {
    shownIndex_ = artworks_.empty() ? 0 : artworks_.size() - 1;
  }
  redisplay();
}

void ArtworkPanel::redisplay() {
  const bool hasSelection = delegate_.metadataArrayController().selectionCount() > 0;
  const bool editable = hasSelection && !delegate_.previewMode();
  const AlbumArtworkPtr artwork = shownArtwork();
  well_->setArtwork(artwork, preview_);
  well_->setDropEnabled(editable);
  const std::size_t count = artworks_.size();
  position_->setText(count == 0 ? QString() : tr("%1 of %2").arg(shownIndex_ + 1).arg(count));
  previous_->setEnabled(shownIndex_ > 0);
  next_->setEnabled(shownIndex_ + 1 < count);
  if (artwork) {
    QStringList parts;
    parts << toQString(artwork->dimensions());
    parts << toQString(artwork->extension()).toUpper();
    parts << toQString(FileSizeFormatter().stringForObjectValue(
        Object(static_cast<std::int64_t>(artwork->dataSize()))));
    QString text = parts.join(QStringLiteral(" · ")) + QStringLiteral("\n") +
                   artworkTypeName(artwork->artworkType());
    if (differs_) {
      text += QStringLiteral("\n") + tr("The selected files have different artwork");
    }
    info_->setText(text);
  } else {
    info_->setText(differs_ ? tr("The selected files have different artwork") : QString());
  }
  shownDescription_ = artwork ? toQString(artwork->comments().value_or(std::string())) : QString();
  if (!description_->hasFocus() || !description_->isModified()) {
    description_->setText(shownDescription_);
    description_->setModified(false);
  }
  description_->setEnabled(artwork != nullptr && editable && !preview_);
  choose_->setEnabled(editable);
  paste_->setEnabled(editable);
  remove_->setEnabled(artwork != nullptr && editable && !preview_);
  convert_->setEnabled(artwork != nullptr && editable && !preview_);
}

void ArtworkPanel::showPrevious() {
  if (shownIndex_ > 0) {
    commitDescription();
    --shownIndex_;
    redisplay();
  }
}

void ArtworkPanel::showNext() {
  if (shownIndex_ + 1 < artworks_.size()) {
    commitDescription();
    ++shownIndex_;
    redisplay();
  }
}

void ArtworkPanel::commitDescription() {
  if (!description_->isModified() || !shownArtwork() || preview_) {
    return;
  }
  description_->setModified(false);
  if (description_->text() == shownDescription_) {
    return;
  }
  shownDescription_ = description_->text();
  delegate_.albumArtworkDescriptionChanged(shownIndex_, toStdString(description_->text()));
}

}  // namespace quorvel::ui
