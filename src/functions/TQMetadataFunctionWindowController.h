#pragma once

#include <memory>
#include <optional>
#include <string>

namespace quorvel {

class MetadataFunctionController;
class TQMetadataFunction;

// Base of every function window controller: the window-independent half of
// a function's settings window. It owns its function (one per window, made
// together with it) and speaks to the application's
// MetadataFunctionController. The desktop window implements Window and
// forwards its actions here; subclasses copy each changed control into the
// function and then call settingsChanged(). Main thread only.
class TQMetadataFunctionWindowController {
 public:
  // The desktop window behind this controller. Not owned.
  class Window {
   public:
    virtual ~Window();
    // Shows the window (or brings it to the front). The check box of preview
    // mode shows MetadataFunctionController::previewMode() when shown.
    virtual void show() = 0;
    // Closes the window without calling windowWillClose back.
    virtual void close() = 0;
    // Sets the window level (kFloatingWindowLevel: above document windows).
    virtual void setLevel(int level) = 0;
    // Enables or disables every control while the function runs.
    virtual void setControlsEnabled(bool enabled) = 0;
  };

  // Level of a floating panel.
  static constexpr int kFloatingWindowLevel = 3;

  // `controller` must outlive this object.
  TQMetadataFunctionWindowController(std::shared_ptr<TQMetadataFunction> function,
                                     MetadataFunctionController& controller);
  virtual ~TQMetadataFunctionWindowController();
  TQMetadataFunctionWindowController(const TQMetadataFunctionWindowController&) = delete;
  TQMetadataFunctionWindowController& operator=(const TQMetadataFunctionWindowController&) = delete;

  // The function this window configures.
  const std::shared_ptr<TQMetadataFunction>& function() const { return function_; }
  MetadataFunctionController& controller() const { return controller_; }
  // The window description's name ("TQNumberSequenceWindow"). Base: "".
  virtual std::string windowNibName() const;

  // Attaches the desktop window (null detaches). Not owned.
  void setWindow(Window* window) { window_ = window; }
  Window* window() const { return window_; }
  // The optional close-when-done check box: none when the window has none,
  // else its state.
  void setCloseWindowWhenDoneButton(std::optional<bool> state) { closeWindowWhenDone_ = state; }
  std::optional<bool> closeWindowWhenDoneButton() const { return closeWindowWhenDone_; }

  bool isWindowLoaded() const { return loaded_; }
  bool isWindowVisible() const { return visible_; }
  int windowLevel() const { return level_; }

  // Opens the window as the application's show-window commands do: closes
  // every auxiliary window, sets preview mode from the setting "previewMode"
  // when `setsPreviewMode` (the artwork windows pass false), shows the
  // window and refreshes the preview.
  void open(bool setsPreviewMode = true);
  // Makes this window's function the current one, then shows the window
  // (loading it first: windowDidLoad).
  void showWindow();
  // Once, when the window has loaded: floating level, then the subclass's
  // settings (loadSettingsFromDefaults), then applyToAll from the integer
  // setting "metadataFunctionApplyTo" (1 means every record).
  void windowDidLoad();
  // The apply-to pop-up: applyToAll becomes (tag == 1), stored in
  // "metadataFunctionApplyTo"; the preview is refreshed.
  void applyToChanged(int tag);
  // The preview check box: previewMode takes `state` (also stored in the
  // setting "previewMode"); the preview is refreshed.
  void previewModeChanged(bool state);
  // OK: applies the current function. Then, with a close-when-done check box
  // that is off, the window is shown again and stays; otherwise it closes
  // and preview mode goes off. The controls are disabled until the run ends.
  // Subclasses may refuse (not calling this) when their settings are invalid.
  virtual void okButtonPressed();
  // Cancel: preview mode off, preview refreshed, window closed.
  void cancelButonPressed();
  // The window is closing (by any means): preview mode off, preview refreshed.
  void windowWillClose();
  // A control changed a setting that the subclass has copied into the
  // function: refreshes the preview. Ignored while the function runs.
  void settingsChanged();

 protected:
  // Reads the subclass's settings from user defaults into the function.
  // Called by windowDidLoad. Base: nothing.
  virtual void loadSettingsFromDefaults();
  // True while an apply run is in progress: the function belongs to the
  // worker, so subclasses must not change its settings.
  bool isFunctionRunning() const;

 private:
  // Closes the window: windowWillClose, then the desktop window.
  void closeWindow();

  std::shared_ptr<TQMetadataFunction> function_;
  MetadataFunctionController& controller_;
  Window* window_ = nullptr;
  std::optional<bool> closeWindowWhenDone_;
  bool loaded_ = false;
  bool visible_ = false;
  int level_ = 0;
  // Lets a run that outlives this object skip its end-of-run call.
  std::shared_ptr<int> lifetime_ = std::make_shared<int>(0);
};

}  // namespace quorvel
