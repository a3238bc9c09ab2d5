#pragma once

#include <QPointer>

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/UIHost.h"

class QMessageBox;
class QPushButton;
class QWidget;

namespace quorvel::ui {

class MainWindow;
class ProgressSheet;

// The desktop's answers to the core: window-modal message boxes for alerts
// (buttons in the given order, the first one default), file dialogs for the
// panels, the progress sheet, the clipboard, and the main window for table,
// editor and search updates.
//
// Calls from other threads (the reader's folder-access request) are carried
// to the main thread; questions wait there for the answer.
class QtUIHost : public UIHost {
 public:
  // Clipboard formats of our own.
  static constexpr const char* kArtworkMimeType = "application/x-quorvel-artwork";
  static constexpr const char* kMetadataMimeType = "application/x-quorvel-metadata";

  explicit QtUIHost(MainWindow& window);

  int runAlert(const std::string& heading, const std::string& text,
               const std::vector<std::string>& buttons) override;
  int runAlertWithIcon(const std::string& heading, const std::string& text,
                       const std::vector<std::string>& buttons, const Data& icon) override;
  std::optional<std::string> chooseFolder(const std::string& title, const std::string& startFolder,
                                          const std::string& buttonTitle) override;
  std::vector<std::string> chooseFilesToOpen(
      const std::vector<std::string>& allowedExtensions) override;
  std::optional<std::string> chooseSaveFile(
      const std::string& title, const std::string& suggestedName,
      const std::vector<std::string>& allowedExtensions) override;
  std::optional<std::string> chooseFileToOpen(
      const std::string& title, const std::vector<std::string>& allowedExtensions) override;
  std::optional<std::string> chooseSaveFileWithAccessory(const std::string& title,
                                                         const std::string& suggestedName,
                                                         SavePanelAccessory& accessory) override;

  void beginProgressSheet(const std::string& message, bool indeterminate, double value) override;
  void setProgressText(const std::string& message) override;
  void setProgressValue(double value) override;
  void setProgressIndeterminate(bool indeterminate) override;
  void endProgressSheet(int returnCode) override;

  void reloadTable() override;
  void selectionDidChange() override;
  void refreshEditor() override;
  void endEditing() override;
  void setSearchPlaceholder(const std::string& placeholder) override;
  void showErrorLog() override;
  void closeAllAuxillaryWindows() override;

  PasteboardContents readPasteboard() override;
  void writePasteboard(const PasteboardContents& contents) override;

  void replyToApplicationShouldTerminate(bool shouldTerminate) override;

  // --- For the window --------------------------------------------------------

  // Alerts and panels shown right now; no command starts while one is up.
  int modalDepth() const { return modalDepth_; }
  // Answers every alert with its first button and every panel with
  // "cancel", without showing anything (the offscreen smoke test).
  void setNonInteractive(bool value) { nonInteractive_ = value; }
  // The next open panel chooses one folder instead of files (Add Folder).
  void setNextOpenPanelChoosesFolder(bool value) { nextPanelChoosesFolder_ = value; }
  // Wired to the controller's cancel flag by the window.
  void setCancelHandler(std::function<void()> handler) { cancelHandler_ = std::move(handler); }
  ProgressSheet* progressSheet();
  // The message box of an alert on `parent`: `added` gets its buttons in
  // the order given, `escape` the one Escape presses (or null).
  static std::unique_ptr<QMessageBox> makeAlert(QWidget* parent, const std::string& heading,
                                                const std::string& text,
                                                const std::vector<std::string>& buttons,
                                                const Data* icon, std::vector<QPushButton*>* added,
                                                QPushButton** escape);
  // The window is going away: later calls show nothing and answer as a
  // host without a window does.
  void detachWindow() { window_ = nullptr; }

 private:
  // Runs `fn` on the main thread, waiting for it when called elsewhere.
  void onMainThread(const std::function<void()>& fn, bool wait);
  // Shows a file panel made by `show` (given the window as parent) on the
  // main thread, modally; none when cancelled or when no one can answer.
  std::optional<std::string> runPanel(
      const std::function<std::optional<std::string>(QWidget*)>& show);
  int alert(const std::string& heading, const std::string& text,
            const std::vector<std::string>& buttons, const Data* icon);

  QPointer<MainWindow> window_;
  QPointer<ProgressSheet> sheet_;
  int modalDepth_ = 0;
  bool nonInteractive_ = false;
  bool nextPanelChoosesFolder_ = false;
  std::function<void()> cancelHandler_;
};

}  // namespace quorvel::ui
