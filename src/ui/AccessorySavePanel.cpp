#include "ui/AccessorySavePanel.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFileInfo>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>

#include "ui/QtConversions.h"

namespace quorvel::ui {

AccessorySavePanel::AccessorySavePanel(QWidget* parent, const QString& title,
                                       const QString& suggestedName, SavePanelAccessory& accessory)
    : QFileDialog(parent, title), accessory_(accessory), popup_(new QComboBox), checkbox_(nullptr) {
  // The desktop's own dialog has no room for the accessory.
  setOption(QFileDialog::DontUseNativeDialog, true);
  setAcceptMode(QFileDialog::AcceptSave);
  setFileMode(QFileDialog::AnyFile);
  setDirectory(QDir::homePath());

  // The pop-up and the check box share one row; its label stands in the
  // column of the dialog's own labels.
  auto* label =
      accessory_.popupLabel.empty() ? nullptr : new QLabel(toQString(accessory_.popupLabel));
  if (label != nullptr) {
    label->setBuddy(popup_);
  }
  for (const auto& [itemTitle, tag] : accessory_.popupItems) {
    popup_->addItem(toQString(itemTitle), tag);
    if (tag == accessory_.selectedTag) {
      popup_->setCurrentIndex(popup_->count() - 1);
    }
  }
  auto* row = new QWidget;
  auto* layout = new QHBoxLayout(row);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->addWidget(popup_);
  layout->addSpacing(18);
  if (!accessory_.checkboxTitle.empty()) {
    checkbox_ = new QCheckBox(toQString(accessory_.checkboxTitle));
    checkbox_->setChecked(accessory_.checkboxState);
    connect(checkbox_, &QCheckBox::toggled, this,
            [this](bool checked) { accessory_.checkboxState = checked; });
    layout->addWidget(checkbox_);
  }
  layout->addStretch(1);
  // Qt's dialog lays itself out on a grid whose first column holds the
  // labels of the file name and type fields.
  if (auto* grid = qobject_cast<QGridLayout*>(this->layout())) {
    const int at = grid->rowCount();
    if (label != nullptr) {
      grid->addWidget(label, at, 0);
    }
    grid->addWidget(row, at, 1, 1, grid->columnCount() - 1);
  } else if (this->layout() != nullptr) {
    if (label != nullptr) {
      layout->insertWidget(0, label);
    }
    this->layout()->addWidget(row);
  }
  connect(popup_, &QComboBox::currentIndexChanged, this, &AccessorySavePanel::popupChanged);

  for (const auto& extension : accessory_.allowedExtensions) {
    knownExtensions_ << toQString(extension).toLower();
  }
  applyAccessory();
  const QString extension = currentExtension();
  selectFile(extension.isEmpty() ? suggestedName : suggestedName + QLatin1Char('.') + extension);
}

QString AccessorySavePanel::currentExtension() const {
  return accessory_.allowedExtensions.empty()
             ? QString()
             : toQString(accessory_.allowedExtensions.front()).toLower();
}

void AccessorySavePanel::applyAccessory() {
  if (checkbox_ != nullptr) {
    checkbox_->setEnabled(accessory_.checkboxEnabled);
  }
  QStringList filters;
  for (const auto& extension : accessory_.allowedExtensions) {
    const QString e = toQString(extension);
    filters << tr("%1 files (*.%2)").arg(e.toUpper(), e.toLower());
  }
  filters << tr("All files (*)");
  setNameFilters(filters);
  setDefaultSuffix(currentExtension());
}

void AccessorySavePanel::popupChanged(int index) {
  accessory_.selectedTag = popup_->itemData(index).toInt();
  if (accessory_.popupChanged) {
    accessory_.popupChanged(accessory_);
  }
  for (const auto& extension : accessory_.allowedExtensions) {
    const QString e = toQString(extension).toLower();
    if (!knownExtensions_.contains(e)) {
      knownExtensions_ << e;
    }
  }
  applyAccessory();
  // The name typed so far follows the new type, as "Metadata.csv" becomes
  // "Metadata.xml". The field is found by the name Qt gives it.
  if (auto* nameField = findChild<QLineEdit*>(QStringLiteral("fileNameEdit"))) {
    if (!nameField->text().isEmpty()) {
      nameField->setText(withAllowedExtension(nameField->text()));
    }
  }
}

QString AccessorySavePanel::withAllowedExtension(const QString& path) const {
  const QString extension = currentExtension();
  if (extension.isEmpty()) {
    return path;
  }
  const QFileInfo info(path);
  const QString suffix = info.suffix().toLower();
  if (suffix == extension) {
    return path;
  }
  if (knownExtensions_.contains(suffix)) {
    return path.left(path.size() - info.suffix().size()) + extension;
  }
  return path + QLatin1Char('.') + extension;
}

std::optional<std::string> AccessorySavePanel::run() {
  if (exec() != QDialog::Accepted || selectedFiles().isEmpty()) {
    return std::nullopt;
  }
  return toStdString(withAllowedExtension(selectedFiles().front()));
}

}  // namespace quorvel::ui
