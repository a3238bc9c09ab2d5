#pragma once

#include <QDialog>

#include <functional>
#include <vector>

class QCheckBox;
class QFormLayout;
class QGroupBox;
class QLineEdit;
class QTabWidget;
class QVBoxLayout;

namespace quorvel::ui {

// Preferences: General, Reading, Writing and Artwork, one control per
// setting. Each control writes its setting the moment it changes; the core
// reads settings where it uses them, so nothing else needs telling.
class PreferencesDialog : public QDialog {
  Q_OBJECT

 public:
  explicit PreferencesDialog(QWidget* parent = nullptr);
  // Shows page `index` (0 General, 1 Reading, 2 Writing, 3 Artwork).
  void setCurrentPage(int index);

 Q_SIGNALS:
  // The user asked for the tag-mappings window.
  void tagMappingsRequested();

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  QWidget* makeGeneralPage();
  QWidget* makeReadingPage();
  QWidget* makeWritingPage();
  QWidget* makeArtworkPage();

  // Controls bound to one setting. Each reads the setting now and whenever
  // the dialog is shown again.
  QCheckBox* addCheck(QVBoxLayout* layout, const char* key, const QString& title,
                      const QString& toolTip);
  // One bit of an integer bit-set setting.
  QCheckBox* addBitCheck(QVBoxLayout* layout, const char* key, int bit, const QString& title,
                         const QString& toolTip);
  // A pop-up of integer choices; `fallback` is shown for values not listed.
  void addChoice(QFormLayout* layout, const char* key, const QString& title,
                 const std::vector<std::pair<int, QString>>& choices, int fallback,
                 const QString& toolTip);
  QLineEdit* addText(QFormLayout* layout, const char* key, const QString& title,
                     const QString& toolTip);
  // A float setting from 0 to 1 shown as a percentage slider.
  void addFraction(QFormLayout* layout, const char* key, const QString& title,
                   const QString& toolTip);

  static QGroupBox* group(const QString& title, QVBoxLayout** layout);

  std::vector<std::function<void()>> refreshers_;
  QTabWidget* tabs_ = nullptr;
};

}  // namespace quorvel::ui
