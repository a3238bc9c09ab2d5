#pragma once

#include <QDialog>

class QComboBox;
class QLineEdit;

namespace quorvel::ui {

// The Add Tag window: a key (a canonical key, or any format's own name for
// one, or a custom key) and a value to add to the selected files.
class AddTagDialog : public QDialog {
  Q_OBJECT

 public:
  explicit AddTagDialog(QWidget* parent = nullptr);

  // Fills in `key` and focuses the value; with no key, empties and focuses
  // the key box.
  void prepare(const QString& key);
  QString key() const;
  QString value() const;

 private:
  QComboBox* key_;
  QLineEdit* value_;
};

}  // namespace quorvel::ui
