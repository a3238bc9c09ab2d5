#include "functions/TQMetadataFunctionWindowController.h"

#include <utility>

#include "document/MetadataFunctionController.h"
#include "functions/TQMetadataFunction.h"
#include "platform/UserDefaults.h"

namespace quorvel {

TQMetadataFunctionWindowController::Window::~Window() = default;

TQMetadataFunctionWindowController::TQMetadataFunctionWindowController(
    std::shared_ptr<TQMetadataFunction> function, MetadataFunctionController& controller)
    : function_(std::move(function)), controller_(controller) {}

TQMetadataFunctionWindowController::~TQMetadataFunctionWindowController() = default;

std::string TQMetadataFunctionWindowController::windowNibName() const { return {}; }

void TQMetadataFunctionWindowController::loadSettingsFromDefaults() {}

bool TQMetadataFunctionWindowController::isFunctionRunning() const {
  return controller_.isApplying();
}

void TQMetadataFunctionWindowController::open(bool setsPreviewMode) {
  controller_.willShowFunctionWindow(setsPreviewMode);
  showWindow();
  controller_.updatePreview();
}

void TQMetadataFunctionWindowController::showWindow() {
  if (!loaded_) {
    windowDidLoad();
  }
  controller_.setCurrentMetadataFunction(function_);
  visible_ = true;
  if (window_) {
    window_->show();
  }
}

void TQMetadataFunctionWindowController::windowDidLoad() {
  if (loaded_) {
    return;
  }
  loaded_ = true;
  level_ = kFloatingWindowLevel;
  if (window_) {
    window_->setLevel(level_);
  }
  loadSettingsFromDefaults();
  function_->setApplyToAll(UserDefaults::standard().integerForKey("metadataFunctionApplyTo") == 1);
}

void TQMetadataFunctionWindowController::applyToChanged(int tag) {
  if (isFunctionRunning()) {
    return;
  }
  function_->setApplyToAll(tag == 1);
  UserDefaults::standard().setInteger(tag, "metadataFunctionApplyTo");
  controller_.updatePreview();
}

void TQMetadataFunctionWindowController::previewModeChanged(bool state) {
  controller_.setPreviewMode(state);
  UserDefaults::standard().setBool(state, "previewMode");
  controller_.updatePreview();
}

void TQMetadataFunctionWindowController::okButtonPressed() {
  if (window_) {
    window_->setControlsEnabled(false);
  }
  std::weak_ptr<int> alive = lifetime_;
  bool started = controller_.applyCurrentMetadataFunction([this, alive] {
    if (!alive.expired() && window_) {
      window_->setControlsEnabled(true);
    }
  });
  if (!started && window_) {
    window_->setControlsEnabled(true);
  }
  if (closeWindowWhenDone_.has_value() && !*closeWindowWhenDone_) {
    visible_ = true;
    if (window_) {
      window_->show();
    }
    return;
  }
  closeWindow();
}

void TQMetadataFunctionWindowController::cancelButonPressed() { closeWindow(); }

void TQMetadataFunctionWindowController::windowWillClose() {
  visible_ = false;
  controller_.setPreviewMode(false);
  controller_.updatePreview();
}

void TQMetadataFunctionWindowController::settingsChanged() {
  if (isFunctionRunning()) {
    return;
  }
  controller_.updatePreview();
}

void TQMetadataFunctionWindowController::closeWindow() {
  windowWillClose();
  if (window_) {
    window_->close();
  }
}

}  // namespace quorvel
