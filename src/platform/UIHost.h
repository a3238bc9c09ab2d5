#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/PropertyList.h"
#include "support/Value.h"

namespace quorvel {

// What the system pasteboard holds, or is to hold, in the forms the core
// understands. Every member is optional; reading takes the first useful one.
struct PasteboardContents {
  std::optional<Data> artworkArchive;  // an artwork record (AlbumArtwork::archivedData)
  std::vector<std::string> fileURLs;   // "file://" URLs
  std::optional<std::string> string;   // plain text
  std::optional<Data> image;           // an image in any format the image codec decodes
  std::optional<PlistValue> metadata;  // metadata dictionaries (the export form)
};

// The controls a save panel shows below its file chooser: a pop-up of
// choices and one check box. The host writes the person's choices back into
// `selectedTag` and `checkboxState` and, after every change of the pop-up,
// calls `popupChanged`, which may change `checkboxEnabled` and
// `allowedExtensions`; the host then shows those again.
struct SavePanelAccessory {
  std::string popupLabel;
  std::vector<std::pair<std::string, int>> popupItems;  // title and tag, in order
  int selectedTag = 0;
  std::string checkboxTitle;
  bool checkboxState = false;
  bool checkboxEnabled = true;
  std::vector<std::string> allowedExtensions;  // lower case, no dot; the first is added
  std::function<void(SavePanelAccessory&)> popupChanged;
};

// Everything the core asks of a person goes through this interface: the
// desktop application answers with dialogs, the CLI and the tests with
// scripted answers. Calls arrive on the main thread unless stated otherwise.
//
// Only runAlert and chooseFolder must be implemented; every other call has
// the answer of a host without a window (panels cancelled, nothing shown).
class UIHost {
 public:
  virtual ~UIHost() = default;

  // --- Questions --------------------------------------------------------------

  // Shows an alert (as a sheet on the main window when there is one) and
  // returns the pressed button: 1000, 1001, 1002 in the order of `buttons`.
  virtual int runAlert(const std::string& heading, const std::string& text,
                       const std::vector<std::string>& buttons) = 0;
  // runAlert with an image (encoded bytes) as the alert's icon. Default:
  // runAlert without it.
  virtual int runAlertWithIcon(const std::string& heading, const std::string& text,
                               const std::vector<std::string>& buttons, const Data& icon);

  // Asks for one folder, starting in `startFolder`. None when cancelled.
  virtual std::optional<std::string> chooseFolder(const std::string& title,
                                                  const std::string& startFolder,
                                                  const std::string& buttonTitle) = 0;
  // The open panel: files and folders, several at once, files limited to
  // `allowedExtensions` (lower case, no dot). Empty when cancelled. Default: empty.
  virtual std::vector<std::string> chooseFilesToOpen(
      const std::vector<std::string>& allowedExtensions);
  // The save panel with a suggested file name and the allowed extensions.
  // None when cancelled. Default: none.
  virtual std::optional<std::string> chooseSaveFile(
      const std::string& title, const std::string& suggestedName,
      const std::vector<std::string>& allowedExtensions);
  // The open panel for exactly one file (no folders) of `allowedExtensions`
  // (lower case, no dot), titled `title`. None when cancelled. Default: none.
  virtual std::optional<std::string> chooseFileToOpen(
      const std::string& title, const std::vector<std::string>& allowedExtensions);
  // The save panel with `accessory` below the chooser, starting from
  // `suggestedName` (without extension). The path carries one of the
  // accessory's allowed extensions as it stood when the panel closed; the
  // accessory holds the final choices. None when cancelled. Default: none.
  virtual std::optional<std::string> chooseSaveFileWithAccessory(const std::string& title,
                                                                 const std::string& suggestedName,
                                                                 SavePanelAccessory& accessory);

  // --- The progress sheet -----------------------------------------------------
  // One modal panel with a message, a bar (determinate 0 to 100, or
  // indeterminate and animated) and a Cancel button, which the host wires to
  // AppDelegate::progressPanelCancelButtonPressed(). Defaults do nothing.

  virtual void beginProgressSheet(const std::string& message, bool indeterminate, double value);
  virtual void setProgressText(const std::string& message);
  virtual void setProgressValue(double value);
  virtual void setProgressIndeterminate(bool indeterminate);
  // Closes the sheet; `returnCode` is 1, or 0 when the run was cancelled.
  virtual void endProgressSheet(int returnCode);

  // --- The main window ----------------------------------------------------------
  // Defaults do nothing.

  // The file table must be drawn again (rows, order or values changed).
  virtual void reloadTable();
  // The file table's selection changed in the controller; show it.
  virtual void selectionDidChange();
  // The editor panel must show the controller's merged values again.
  virtual void refreshEditor();
  // Ends any editing in progress in the main window (no first responder), so
  // a typed value is committed before the operation reads the records.
  virtual void endEditing();
  // The search field's placeholder text.
  virtual void setSearchPlaceholder(const std::string& placeholder);
  // Shows the error log window.
  virtual void showErrorLog();
  // Closes every batch-function, look-up and tool window, one at a time.
  virtual void closeAllAuxillaryWindows();

  // --- Pasteboard -------------------------------------------------------------

  // What the system pasteboard holds now. Default: nothing.
  virtual PasteboardContents readPasteboard();
  // Replaces the pasteboard's contents. Default: dropped.
  virtual void writePasteboard(const PasteboardContents& contents);

  // --- Application --------------------------------------------------------------

  // The answer to a quit request that was answered "later": true quits now,
  // false cancels the quit. Default: nothing.
  virtual void replyToApplicationShouldTerminate(bool shouldTerminate);

  // The host in use. Never null: until one is installed, a host that answers
  // every alert with its first button and cancels every panel. Any thread.
  static std::shared_ptr<UIHost> current();
  // Installs `host` (null restores the default); returns the previous one.
  // Any thread.
  static std::shared_ptr<UIHost> install(std::shared_ptr<UIHost> host);
};

}  // namespace quorvel
