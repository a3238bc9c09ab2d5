#include "document/AppDelegate.h"

#include <algorithm>
#include <exception>
#include <iostream>

#include "document/ErrorLogWindowController.h"
#include "document/MetadataFunctionController.h"
#include "platform/RunLoop.h"
#include "platform/UIHost.h"
#include "platform/UserDefaults.h"
#include "platform/ZRUndoManager.h"
#include "support/Localization.h"

// The controller's operations are split by concern: this file holds its
// life cycle, threads and the progress sheet; AppDelegateLoading.cpp,
// AppDelegateSaving.cpp and AppDelegateEditing.cpp the rest.

namespace quorvel {

struct AppDelegate::Worker {
  std::thread thread;
  std::atomic<bool> done{false};
};

AppDelegate::AppDelegate(std::shared_ptr<UIHost> host)
    : host_(std::move(host)),
      undoManager_(std::make_shared<ZRUndoManager>()),
      readingThreads_(std::clamp(std::thread::hardware_concurrency(), 1u, 4u)) {
  // First use of the store registers the shipped first values.
  UserDefaults::standard();
  functions_ = std::make_unique<MetadataFunctionController>(*this);
  undoObserver_ = undoManager_->addObserver([this](const std::string& name, bool) {
    if (name == NSUndoManagerDidUndoChangeNotification ||
        name == NSUndoManagerDidRedoChangeNotification) {
      undoManagerDidUndoOrRedo();
    }
  });
  undoManager_->removeAllActions();
}

AppDelegate::~AppDelegate() {
  cancelled_ = true;
  // Workers and queued saves finish by waiting for the main thread, so keep
  // its loop running until they are done.
  auto idle = [this] {
    return activeWorkers_ == 0 && pendingSaves_ == 0 && !functions_->isApplying();
  };
  if (RunLoop::isMainThread()) {
    while (!idle()) {
      RunLoop::main().runUntil(idle, std::chrono::seconds(1));
    }
  }
  saveQueue_.waitUntilAllOperationsAreFinished();
  {
    std::lock_guard lock(workersMutex_);
    for (auto& worker : workers_) {
      if (worker->thread.joinable()) {
        worker->thread.join();
      }
    }
    workers_.clear();
  }
  functions_.reset();
  undoManager_->removeObserver(undoObserver_);
  alive_.reset();
}

// --- State ------------------------------------------------------------------------------

const std::vector<AudioMetadataPtr>& AppDelegate::metadatas() const {
  return arrayController_.content();
}

std::vector<AudioMetadataPtr> AppDelegate::metadatasInDisplayOrder() const {
  return arrayController_.arrangedObjects();
}

std::vector<AudioMetadataPtr> AppDelegate::selectedMetadatas() const {
  return arrayController_.selectedObjects();
}

bool AppDelegate::setSelectionIndexes(const std::vector<std::size_t>& indexes) {
  if (!arrayController_.setSelectionIndexes(indexes)) {
    return false;
  }
  ui()->selectionDidChange();
  updatePreview();
  return true;
}

ErrorLogWindowController& AppDelegate::errorLog() const {
  return ErrorLogWindowController::sharedController();
}

std::shared_ptr<UIHost> AppDelegate::host() const { return host_ ? host_ : UIHost::current(); }

std::shared_ptr<UIHost> AppDelegate::ui() const { return host(); }

bool AppDelegate::isBusy() const {
  return running_ || activeWorkers_ > 0 || pendingSaves_ > 0 || functions_->isApplying();
}

bool AppDelegate::recordsAreBusy() const { return busyRecords_ > 0 || functions_->isApplying(); }

bool AppDelegate::mainThread() const { return RunLoop::isMainThread(); }

void AppDelegate::performOnMainThread(std::function<void()> fn, bool wait) {
  if (wait) {
    RunLoop::main().perform(std::move(fn), true);
    return;
  }
  RunLoop::main().perform(
      [alive = std::weak_ptr<char>(alive_), fn = std::move(fn)] {
        if (alive.lock()) {
          fn();
        }
      },
      false);
}

std::string AppDelegate::localized(const std::string& text) { return localizedString(text, ""); }

bool AppDelegate::boolSetting(const char* key) const {
  return UserDefaults::standard().boolForKey(key);
}

void AppDelegate::detachNewThread(std::function<void()> work) {
  std::lock_guard lock(workersMutex_);
  // Reap the threads that have finished.
  std::erase_if(workers_, [](const std::unique_ptr<Worker>& worker) {
    if (!worker->done) {
      return false;
    }
    worker->thread.join();
    return true;
  });
  auto worker = std::make_unique<Worker>();
  Worker* raw = worker.get();
  ++activeWorkers_;
  worker->thread = std::thread([this, raw, work = std::move(work)] {
    try {
      work();
    } catch (const std::exception& e) {
      std::cerr << "quorvel: a worker failed: " << e.what() << '\n';
    } catch (...) {
      std::cerr << "quorvel: a worker failed\n";
    }
    raw->done = true;
    --activeWorkers_;
    // Whoever runs the main loop until the controller is idle looks again.
    RunLoop::main().perform([] {}, false);
  });
  workers_.push_back(std::move(worker));
}

// --- Progress sheet -------------------------------------------------------------------

void AppDelegate::beginProgressSheet(const std::string& message, bool indeterminate, double value) {
  cancelled_ = false;
  running_ = true;
  ui()->beginProgressSheet(localized(message), indeterminate, value);
}

void AppDelegate::endProgressSheet(int returnCode) {
  ui()->endProgressSheet(returnCode);
  performOnMainThread([this] { progressPanelEndActions(); }, false);
}

void AppDelegate::progressPanelEndActions() {
  running_ = false;
  cancelled_ = false;
  if (!recordsAreBusy()) {
    ui()->reloadTable();
  }
}

void AppDelegate::setProgressPanelTextValue(const std::string& text) {
  if (mainThread()) {
    ui()->setProgressText(text);
  } else {
    performOnMainThread([this, text] { ui()->setProgressText(text); }, false);
  }
}

void AppDelegate::setProgressPanelIndicatorValue(double value) {
  if (mainThread()) {
    ui()->setProgressValue(value);
  } else {
    performOnMainThread([this, value] { ui()->setProgressValue(value); }, false);
  }
}

void AppDelegate::setProgressPanelIndicatorIndeterminate(bool indeterminate) {
  if (mainThread()) {
    ui()->setProgressIndeterminate(indeterminate);
  } else {
    performOnMainThread([this, indeterminate] { ui()->setProgressIndeterminate(indeterminate); },
                        false);
  }
}

// --- Batch functions ------------------------------------------------------------------

void AppDelegate::updatePreview() {
  if (busyRecords_ > 0) {
    // A worker is changing records; its finishing step refreshes.
    previewPending_ = true;
    return;
  }
  previewPending_ = false;
  functions_->updatePreview();
}

void AppDelegate::applyCurrentMetadataFunction() { functions_->applyCurrentMetadataFunction(); }

void AppDelegate::closeAllAuxillaryWindows() { ui()->closeAllAuxillaryWindows(); }

void AppDelegate::beginFunctionProgress(const std::string& message) {
  beginProgressSheet(message, false, 0);
}

void AppDelegate::setFunctionProgress(double percent) { setProgressPanelIndicatorValue(percent); }

void AppDelegate::endFunctionProgress() { endProgressSheet(1); }

bool AppDelegate::previewMode() const { return functions_->previewMode(); }

void AppDelegate::beginRecordsBusy() { ++busyRecords_; }

void AppDelegate::endRecordsBusy() {
  if (busyRecords_ > 0) {
    --busyRecords_;
  }
  if (busyRecords_ == 0 && previewPending_) {
    updatePreview();
  }
}

}  // namespace quorvel
