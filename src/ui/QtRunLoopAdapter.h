#pragma once

#include <QObject>

#include <atomic>
#include <memory>

namespace quorvel::ui {

// Drives the core's main run loop (RunLoop::main()) from Qt's event loop.
// Whenever the core queues work, from any thread, one call of
// processPendingEvents() is posted to Qt's loop; work scheduled for the end of
// the current event (the undo manager closing its automatic group) is queued
// work too, so it runs right after the Qt event that scheduled it.
//
// Create one on the main thread after QApplication and keep it until the
// event loop has ended.
class QtRunLoopAdapter : public QObject {
  Q_OBJECT

 public:
  explicit QtRunLoopAdapter(QObject* parent = nullptr);
  ~QtRunLoopAdapter() override;

  // Runs whatever the core has queued now. Main thread.
  static void drain();

 private:
  // Coalesces wake-ups: at most one drain is posted at a time.
  std::shared_ptr<std::atomic<bool>> posted_;
};

}  // namespace quorvel::ui
