#include "ui/AddTagDialog.h"

#include <QComboBox>
#include <QCompleter>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLineEdit>
#include <QPushButton>

#include "model/TagKeys.h"
#include "ui/QtConversions.h"

namespace quorvel::ui {

AddTagDialog::AddTagDialog(QWidget* parent)
    : QDialog(parent), key_(new QComboBox(this)), value_(new QLineEdit(this)) {
  setWindowTitle(tr("Add Tag"));
  setWindowModality(Qt::WindowModal);
  key_->setEditable(true);
  key_->setInsertPolicy(QComboBox::NoInsert);
  for (const auto& key : allTagKeys()) {
    if (key == "ARTWORK") {
      continue;
    }
    const QString name = toQString(tagDisplayName(key)).trimmed();
    key_->addItem(
        name == toQString(key) ? name : QStringLiteral("%1 — %2").arg(toQString(key), name),
        toQString(key));
  }
  key_->completer()->setCaseSensitivity(Qt::CaseInsensitive);
  key_->completer()->setFilterMode(Qt::MatchContains);
  key_->setToolTip(tr("A tag key, a tag format's own name for it (TIT2, ©nam), or a new key"));
  key_->setMinimumWidth(320);

  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  buttons->button(QDialogButtonBox::Ok)->setText(tr("Add"));
  auto* form = new QFormLayout(this);
  form->addRow(tr("Tag:"), key_);
  form->addRow(tr("Value:"), value_);
  form->addRow(buttons);
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
}

void AddTagDialog::prepare(const QString& key) {
  value_->clear();
  if (key.isEmpty()) {
    key_->setCurrentIndex(-1);
    key_->setEditText(QString());
    key_->setFocus();
    return;
  }
  const int index = key_->findData(key);
  if (index >= 0) {
    key_->setCurrentIndex(index);
  } else {
    key_->setEditText(key);
  }
  value_->setFocus();
}

QString AddTagDialog::key() const {
  // A chosen entry stands for its key; typed text is the key as typed.
  const int index = key_->findText(key_->currentText());
  if (index >= 0) {
    return key_->itemData(index).toString();
  }
  return key_->currentText().trimmed();
}

QString AddTagDialog::value() const { return value_->text(); }

}  // namespace quorvel::ui
