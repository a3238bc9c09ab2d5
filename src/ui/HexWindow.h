#pragma once

#include <QWidget>

class QLabel;
class QLineEdit;

namespace quorvel::ui {

class HexView;

// A window with the hex view of one file, the offset under the cursor and a
// field to jump to an offset (decimal, or hex with "0x").
class HexWindow : public QWidget {
  Q_OBJECT

 public:
  explicit HexWindow(QWidget* parent = nullptr);
  // False when the file cannot be read; the window then says so.
  bool openFile(const QString& path);

 private:
  void showOffset(qint64 offset);

  HexView* view_;
  QLabel* status_;
  QLineEdit* goTo_;
};

}  // namespace quorvel::ui
