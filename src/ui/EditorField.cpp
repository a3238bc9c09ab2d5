#include "ui/EditorField.h"

#include <QEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QToolButton>

#include "document/MetadataFunctionController.h"
#include "model/MetadataValue.h"
#include "model/TagKeys.h"
#include "ui/QtConversions.h"
#include "ui/Theme.h"

namespace quorvel::ui {

namespace {

QToolButton* smallButton(const QString& text, const QString& toolTip, QWidget* parent) {
  auto* button = new QToolButton(parent);
  button->setText(text);
  button->setToolTip(toolTip);
  button->setAutoRaise(true);
  button->setFocusPolicy(Qt::NoFocus);
  button->setFixedSize(18, 22);
  // Hidden buttons keep their room, so the field does not jump as they come and go.
  QSizePolicy policy = button->sizePolicy();
  policy.setRetainSizeWhenHidden(true);
  button->setSizePolicy(policy);
  return button;
}

}  // namespace

EditorField::EditorField(int tag, std::string key, QWidget* parent)
    : QWidget(parent),
      tag_(tag),
      key_(std::move(key)),
      edit_(new QLineEdit(this)),
      index_(new QLabel(this)),
      up_(smallButton(QStringLiteral("▲"), tr("Previous value"), this)),
      down_(smallButton(QStringLiteral("▼"), tr("Next value"), this)),
      add_(smallButton(QStringLiteral("+"), tr("Add a value"), this)),
      subtract_(smallButton(QStringLiteral("−"), tr("Remove this value"), this)) {
  const QString description = toQString(tagDescription(key_));
  if (description != toQString(key_)) {
    edit_->setToolTip(description);
  }
  index_->setForegroundRole(QPalette::PlaceholderText);
  QFont small = index_->font();
  small.setPointSizeF(small.pointSizeF() * 0.85);
  index_->setFont(small);
  // Navigation appears only for keys with several values; the field gives
  // it room then.
  for (QWidget* navigation : {static_cast<QWidget*>(up_), static_cast<QWidget*>(down_)}) {
    QSizePolicy policy = navigation->sizePolicy();
    policy.setRetainSizeWhenHidden(false);
    navigation->setSizePolicy(policy);
  }

  auto* layout = new QHBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(1);
  layout->addWidget(edit_, 1);
  layout->addWidget(index_);
  layout->addWidget(up_);
  layout->addWidget(down_);
  layout->addWidget(subtract_);
  layout->addWidget(add_);

  edit_->installEventFilter(this);
  connect(edit_, &QLineEdit::editingFinished, this, [this] {
    if (!editable_ || edit_->text() == shownText_) {
      return;
    }
    shownText_ = edit_->text();  // a second editingFinished (Enter, then focus out) is no edit
    Q_EMIT edited(tag_, displayedIndex_, edit_->text());
  });
  connect(up_, &QToolButton::clicked, this, [this] { move(-1); });
  connect(down_, &QToolButton::clicked, this, [this] { move(1); });
  connect(subtract_, &QToolButton::clicked, this,
          [this] { Q_EMIT subtractPressed(tag_, displayedIndex_); });
  connect(add_, &QToolButton::clicked, this, [this] { Q_EMIT addPressed(toQString(key_)); });
  updateButtons();
}

void EditorField::setCompact(bool compact, int maxWidth) {
  compact_ = compact;
  edit_->setMinimumWidth(compact ? 44 : 80);
  edit_->setMaximumWidth(compact ? maxWidth : QWIDGETSIZE_MAX);
}

void EditorField::showValue(const std::shared_ptr<MetadataValue>& merged, bool editable) {
  merged_ = merged;
  editable_ = editable;
  const bool marker = merged_ && MetadataFunctionController::isMultipleValuesMarker(*merged_);
  count_ = (merged_ && !marker) ? merged_->allValues().size() : 0;
  if (count_ == 0 || displayedIndex_ >= count_) {
    displayedIndex_ = 0;
  }
  redisplay();
}

void EditorField::redisplay() {
  const bool marker = merged_ && MetadataFunctionController::isMultipleValuesMarker(*merged_);
  const bool preview = merged_ && (merged_->type() & MetadataValue::TypePreview) != 0;
  QString text;
  if (merged_ && !marker && displayedIndex_ < merged_->allValues().size()) {
    text = displayText(merged_->allValues()[displayedIndex_]);
  }
  // A narrow number field has no room for the whole phrase.
  edit_->setPlaceholderText(marker ? (compact_ ? tr("Mixed") : tr("Multiple Values")) : QString());
  QPalette palette = edit_->palette();
  palette.setColor(QPalette::Text, preview ? Theme::previewColor(palette)
                                           : QWidget::palette().color(QPalette::Text));
  palette.setColor(
      QPalette::PlaceholderText,
      preview ? Theme::previewColor(palette) : QWidget::palette().color(QPalette::PlaceholderText));
  edit_->setPalette(palette);
  // Keep what the user is typing when a refresh arrives meanwhile.
  if (!edit_->hasFocus() || !edit_->isModified() || edit_->isReadOnly() != !editable_) {
    edit_->setText(text);
    edit_->setModified(false);
    edit_->setCursorPosition(0);  // a long value shows its beginning
  }
  shownText_ = text;
  edit_->setReadOnly(!editable_);
  updateButtons();
}

void EditorField::move(int delta) {
  if (delta < 0 && displayedIndex_ > 0) {
    --displayedIndex_;
  } else if (delta > 0 && displayedIndex_ + 1 < count_) {
    ++displayedIndex_;
  } else {
    return;
  }
  edit_->setModified(false);
  redisplay();
}

void EditorField::updateButtons() {
  const bool several = count_ > 1;
  index_->setVisible(several);
  index_->setText(several ? QStringLiteral("%1/%2").arg(displayedIndex_ + 1).arg(count_)
                          : QString());
  up_->setVisible(several);
  down_->setVisible(several);
  up_->setEnabled(displayedIndex_ > 0);
  down_->setEnabled(displayedIndex_ + 1 < count_);
  const bool showEditButtons = (hovered_ || edit_->hasFocus()) && editable_;
  add_->setVisible(showEditButtons);
  subtract_->setVisible(showEditButtons);
  subtract_->setEnabled(merged_ != nullptr);
}

void EditorField::enterEvent(QEnterEvent* event) {
  hovered_ = true;
  updateButtons();
  QWidget::enterEvent(event);
}

void EditorField::leaveEvent(QEvent* event) {
  hovered_ = false;
  updateButtons();
  QWidget::leaveEvent(event);
}

bool EditorField::eventFilter(QObject* watched, QEvent* event) {
  if (watched == edit_ && (event->type() == QEvent::FocusIn || event->type() == QEvent::FocusOut)) {
    updateButtons();
  }
  return QWidget::eventFilter(watched, event);
}

}  // namespace quorvel::ui
