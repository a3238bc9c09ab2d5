#pragma once

#include <memory>
#include <string>
#include <vector>

#include "model/AudioMetadata.h"

namespace quorvel {

class UIHost;
class ZRUndoManager;

// What the batch-function machinery (MetadataFunctionController) needs from
// the application controller: the file list, the selection, the undo manager,
// saving, the auxiliary windows and the progress sheet. Alerts, the error
// log window and redrawing go through uiHost(). AppDelegate implements this;
// tests implement the pure methods with plain lists. Every method is called
// on the main thread.
class MetadataFunctionHost {
 public:
  virtual ~MetadataFunctionHost();

  // The records of the file table in display (arranged) order.
  virtual std::vector<AudioMetadataPtr> metadatasInDisplayOrder() const = 0;
  // The selected records in selection order (the table's arranged order).
  virtual std::vector<AudioMetadataPtr> selectedMetadatas() const = 0;
  // The document's one undo manager; null records nothing.
  virtual std::shared_ptr<ZRUndoManager> undoManager() const = 0;
  // Saves the list as the Save command does (its own run; may return before
  // the files are written).
  virtual void save() = 0;
  // Closes every function, look-up and tool window, one at a time.
  virtual void closeAllAuxillaryWindows() = 0;

  // The UI host that answers for this controller. Default: UIHost::current().
  virtual std::shared_ptr<UIHost> uiHost() const;
  // The progress sheet of an apply run: shown with `message` and a
  // determinate bar at 0 (the controller's cancelled flag cleared), the bar
  // set (0 to 100), then closed. Defaults: the same calls on uiHost().
  virtual void beginFunctionProgress(const std::string& message);
  virtual void setFunctionProgress(double percent);
  virtual void endFunctionProgress();
};

}  // namespace quorvel
