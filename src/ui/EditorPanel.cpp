#include "ui/EditorPanel.h"

#include <QCheckBox>
#include <QEvent>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QToolButton>
#include <QVBoxLayout>

#include "document/AppDelegate.h"
#include "document/MetadataFunctionController.h"
#include "model/MetadataValue.h"
#include "model/TagKeys.h"
#include "ui/EditorField.h"
#include "ui/QtConversions.h"
#include "ui/Theme.h"

namespace quorvel::ui {

namespace {

constexpr int kLyricsTag = 10;

QString label(int tag) {
  const auto key = AppDelegate::keyForEditorFieldTag(tag);
  if (!key) {
    return {};
  }
  if (*key == "WORK") {
    return QObject::tr("Work");
  }
  return toQString(tagDisplayName(*key)).trimmed();
}

// A section that folds away, for the fields most people rarely touch.
QWidget* foldingSection(const QString& title, QWidget* content, bool open) {
  auto* section = new QWidget;
  auto* toggle = new QToolButton(section);
  toggle->setText(title);
  toggle->setCheckable(true);
  toggle->setChecked(open);
  toggle->setAutoRaise(true);
  toggle->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
  toggle->setArrowType(open ? Qt::DownArrow : Qt::RightArrow);
  QFont bold = toggle->font();
  bold.setBold(true);
  toggle->setFont(bold);
  content->setVisible(open);
  QObject::connect(toggle, &QToolButton::toggled, content, [toggle, content](bool on) {
    toggle->setArrowType(on ? Qt::DownArrow : Qt::RightArrow);
    content->setVisible(on);
  });
  auto* layout = new QVBoxLayout(section);
  layout->setContentsMargins(0, 6, 0, 0);
  layout->setSpacing(2);
  layout->addWidget(toggle);
  layout->addWidget(content);
  return section;
}

QFormLayout* newForm(QWidget* owner) {
  auto* form = new QFormLayout(owner);
  form->setContentsMargins(0, 0, 0, 0);
  form->setFieldGrowthPolicy(QFormLayout::AllNonFixedFieldsGrow);
  form->setLabelAlignment(Qt::AlignRight | Qt::AlignVCenter);
  form->setHorizontalSpacing(8);
  form->setVerticalSpacing(4);
  return form;
}

}  // namespace

EditorPanel::EditorPanel(AppDelegate& delegate, QWidget* parent)
    : QWidget(parent), delegate_(delegate), header_(new QLabel(this)), lyrics_(new QPlainTextEdit) {
  QFont headerFont = header_->font();
  headerFont.setBold(true);
  header_->setFont(headerFont);
  header_->setTextInteractionFlags(Qt::TextSelectableByMouse);
  header_->setWordWrap(true);

  // Main fields.
  auto* main = new QWidget;
  auto* form = newForm(main);
  form->addRow(label(11), field(11));
  form->addRow(label(12), field(12));
  form->addRow(label(1), field(1));
  form->addRow(label(2), field(2));
  form->addRow(tr("Track"), pair(field(13), tr("of"), field(14)));
  form->addRow(tr("Disc"), pair(field(6), tr("of"), field(7)));
  form->addRow(label(15), pair(field(15), label(3), field(3)));
  form->addRow(label(8), field(8));
  form->addRow(label(5), field(5));
  form->addRow(label(9), field(9));
  form->addRow(label(4), field(4));
  form->addRow(QString(), checkBox(tr("Part of a compilation"), "PARTOFACOMPILATION",
                                   "Set Part of a Compilation"));

  // Work and movement.
  auto* work = new QWidget;
  auto* workForm = newForm(work);
  workForm->addRow(label(42), field(42));
  workForm->addRow(tr("Movement"), field(39));
  workForm->addRow(tr("Number"), pair(field(40), tr("of"), field(41)));
  workForm->addRow(
      QString(), checkBox(tr("Show work and movement"), "SHOWMOVEMENT", "Set Show Work/Movement"));

  // Sort order.
  auto* sorting = new QWidget;
  auto* sortForm = newForm(sorting);
  sortForm->addRow(tr("Title"), field(31));
  sortForm->addRow(tr("Artist"), field(32));
  sortForm->addRow(tr("Album Artist"), field(33));
  sortForm->addRow(tr("Album"), field(35));
  sortForm->addRow(tr("Composer"), field(34));

  // Lyrics.
  lyrics_->setTabChangesFocus(true);
  lyrics_->setMinimumHeight(90);
  lyrics_->installEventFilter(this);
  lyrics_->setToolTip(toQString(tagDescription("LYRICS")));

  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(8, 8, 8, 8);
  layout->setSpacing(4);
  layout->addWidget(header_);
  layout->addSpacing(4);
  layout->addWidget(main);
  layout->addWidget(foldingSection(tr("Work and Movement"), work, false));
  layout->addWidget(foldingSection(tr("Sort Order"), sorting, false));
  layout->addWidget(foldingSection(label(kLyricsTag), lyrics_, true));
  layout->addStretch(1);

  for (int tag : {13, 14, 6, 7, 3, 40, 41}) {
    fields_[tag]->setCompact(true);
  }
  fields_[15]->setCompact(true, 96);  // a year, or a whole date
  refresh();
}

EditorField* EditorPanel::field(int tag) {
  if (auto it = fields_.find(tag); it != fields_.end()) {
    return it->second;
  }
  auto* f = new EditorField(tag, AppDelegate::keyForEditorFieldTag(tag).value_or(std::string()));
  fields_[tag] = f;
  connectField(f);
  return f;
}

QWidget* EditorPanel::pair(EditorField* first, const QString& between, EditorField* second) {
  auto* row = new QWidget;
  auto* layout = new QHBoxLayout(row);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(6);
  layout->addWidget(first);
  auto* text = new QLabel(between);
  layout->addWidget(text);
  layout->addWidget(second);
  layout->addStretch(1);
  return row;
}

void EditorPanel::connectField(EditorField* f) {
  connect(f, &EditorField::edited, this, [this](int tag, std::size_t index, const QString& text) {
    delegate_.metadataValueWasEdited(tag, index, Object(toStdString(text)));
  });
  connect(f, &EditorField::subtractPressed, this, [this](int tag, std::size_t index) {
    delegate_.textFieldSubtractButtonPressed(tag, index);
  });
  connect(f, &EditorField::addPressed, this, &EditorPanel::addTagRequested);
}

QCheckBox* EditorPanel::checkBox(const QString& title, const std::string& key,
                                 const std::string& actionName) {
  auto* box = new QCheckBox(title);
  box->setToolTip(toQString(tagDescription(key)));
  checkBoxes_[box] = key;
  connect(box, &QCheckBox::clicked, this, [this, box, key, actionName] {
    // From the mixed state a click means "on for all".
    delegate_.metadataCheckboxClicked(box->checkState() != Qt::Unchecked, key, actionName);
    refresh();
  });
  return box;
}

void EditorPanel::refresh() {
  const auto& selection = delegate_.metadataArrayController();
  const std::size_t selected = selection.selectionCount();
  const bool busy = delegate_.recordsAreBusy();
  if (selected == 0) {
    header_->setText(tr("No Selection"));
  } else if (selected == 1) {
    if (!busy) {
      const auto records = selection.selectedObjects();
      header_->setText(records.empty()
                           ? QString()
                           : toQString(records.front()->sourceFilename().value_or(std::string())));
    }
  } else {
    header_->setText(tr("%n files selected", nullptr, static_cast<int>(selected)));
  }

  const auto& values = delegate_.functionController().selectionValues().values;
  const bool editable = selected > 0 && !delegate_.previewMode() && !busy;
  auto valueFor = [&values](const std::string& key) -> std::shared_ptr<MetadataValue> {
    if (auto it = values.find(key); it != values.end()) {
      return it->second;
    }
    return nullptr;
  };
  for (auto& [tag, f] : fields_) {
    f->showValue(selected > 0 ? valueFor(f->key()) : nullptr, editable);
    f->setEnabled(selected > 0);
  }

  for (auto& [box, key] : checkBoxes_) {
    const auto value = selected > 0 ? valueFor(key) : nullptr;
    const bool marker = value && MetadataFunctionController::isMultipleValuesMarker(*value);
    Qt::CheckState state = Qt::Unchecked;
    if (marker) {
      state = Qt::PartiallyChecked;
    } else if (value) {
      const auto number = value->numberValue();
      state = number && number->doubleValue() != 0 ? Qt::Checked : Qt::Unchecked;
    }
    box->setTristate(marker);
    box->setCheckState(state);
    box->setEnabled(editable);
    QPalette palette = box->palette();
    const bool preview = value && (value->type() & MetadataValue::TypePreview) != 0;
    palette.setColor(QPalette::WindowText, preview
                                               ? Theme::previewColor(palette)
                                               : QWidget::palette().color(QPalette::WindowText));
    box->setPalette(palette);
  }

  const auto lyrics = selected > 0 ? valueFor("LYRICS") : nullptr;
  const bool lyricsMarker = lyrics && MetadataFunctionController::isMultipleValuesMarker(*lyrics);
  QString text;
  if (lyrics && !lyricsMarker && !lyrics->allValues().empty()) {
    text = displayText(lyrics->allValues().front());
  }
  lyrics_->setPlaceholderText(lyricsMarker ? tr("Multiple Values") : QString());
  if (!lyrics_->hasFocus() || !lyrics_->document()->isModified()) {
    lyrics_->setPlainText(text);
    lyrics_->document()->setModified(false);
  }
  shownLyrics_ = text;
  QPalette palette = lyrics_->palette();
  const bool preview = lyrics && (lyrics->type() & MetadataValue::TypePreview) != 0;
  palette.setColor(QPalette::Text, preview ? Theme::previewColor(palette)
                                           : QWidget::palette().color(QPalette::Text));
  lyrics_->setPalette(palette);
  lyrics_->setReadOnly(!editable);
  lyrics_->setEnabled(selected > 0);
}

void EditorPanel::commitLyrics() {
  if (lyrics_->isReadOnly() || !lyrics_->document()->isModified()) {
    return;
  }
  lyrics_->document()->setModified(false);
  const QString text = lyrics_->toPlainText();
  if (text == shownLyrics_) {
    return;
  }
  shownLyrics_ = text;
  delegate_.textShouldEndEditing(toStdString(text));
}

bool EditorPanel::eventFilter(QObject* watched, QEvent* event) {
  if (watched == lyrics_ && event->type() == QEvent::FocusOut) {
    commitLyrics();
  }
  return QWidget::eventFilter(watched, event);
}

}  // namespace quorvel::ui
