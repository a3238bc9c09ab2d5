#pragma once

#include <QWidget>

#include <map>
#include <string>

class QCheckBox;
class QLabel;
class QPlainTextEdit;

namespace quorvel {
class AppDelegate;
}

namespace quorvel::ui {

class EditorField;

// The editor panel: the common tags of the selection, one field per key of
// the editor's tag table, the compilation and show-movement check boxes and
// the lyrics. Every change goes to the controller's edit entry points; the
// panel redraws from the controller's merged values on refresh().
class EditorPanel : public QWidget {
  Q_OBJECT

 public:
  explicit EditorPanel(AppDelegate& delegate, QWidget* parent = nullptr);

  // Shows the merged values of the selection again. Main thread.
  void refresh();
  // Commits the lyrics when they are being edited (editing in the window ends).
  void commitLyrics();

 Q_SIGNALS:
  // The add button of a field: the Add Tag window with the key filled in.
  void addTagRequested(const QString& key);

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  EditorField* field(int tag);
  QWidget* pair(EditorField* first, const QString& between, EditorField* second);
  void connectField(EditorField* field);
  QCheckBox* checkBox(const QString& title, const std::string& key, const std::string& actionName);

  AppDelegate& delegate_;
  QLabel* header_;
  std::map<int, EditorField*> fields_;
  std::map<QCheckBox*, std::string> checkBoxes_;
  QPlainTextEdit* lyrics_;
  QString shownLyrics_;
};

}  // namespace quorvel::ui
