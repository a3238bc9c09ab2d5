#pragma once

#include <QWidget>

#include <cstddef>
#include <memory>
#include <string>

class QLabel;
class QLineEdit;
class QToolButton;

namespace quorvel {
class MetadataValue;
}

namespace quorvel::ui {

// One field of the editor panel: the value of one key for the selection,
// showing one of the key's values at a time (its displayed index, with up
// and down buttons and "n/m" when there are several), the multiple-values
// placeholder when the selection differs, preview values in the preview
// colour, and add/subtract buttons. It only shows and reports; the window
// hands the reports to the controller.
class EditorField : public QWidget {
  Q_OBJECT

 public:
  EditorField(int tag, std::string key, QWidget* parent = nullptr);

  int tag() const { return tag_; }
  const std::string& key() const { return key_; }
  std::size_t displayedIndex() const { return displayedIndex_; }
  std::size_t count() const { return count_; }

  // Shows `merged` (none: no value; the multiple-values marker: the
  // placeholder). `editable` is false while previews show.
  void showValue(const std::shared_ptr<MetadataValue>& merged, bool editable);
  // A narrow field for numbers, at most `maxWidth` pixels wide.
  void setCompact(bool compact, int maxWidth = 64);
  QLineEdit* lineEdit() const { return edit_; }

 Q_SIGNALS:
  // Editing ended with a text that differs from the one shown.
  void edited(int tag, std::size_t displayedIndex, const QString& text);
  void subtractPressed(int tag, std::size_t displayedIndex);
  void addPressed(const QString& key);

 protected:
  void enterEvent(QEnterEvent* event) override;
  void leaveEvent(QEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void redisplay();
  void updateButtons();
  void move(int delta);

  int tag_;
  std::string key_;
  QLineEdit* edit_;
  QLabel* index_;
  QToolButton* up_;
  QToolButton* down_;
  QToolButton* add_;
  QToolButton* subtract_;
  std::shared_ptr<MetadataValue> merged_;
  std::size_t displayedIndex_ = 0;
  std::size_t count_ = 0;
  QString shownText_;
  bool hovered_ = false;
  bool editable_ = true;
  bool compact_ = false;
};

}  // namespace quorvel::ui
