#include "ui/QtRunLoopAdapter.h"

#include <QCoreApplication>
#include <QMetaObject>

#include "platform/RunLoop.h"

namespace quorvel::ui {

QtRunLoopAdapter::QtRunLoopAdapter(QObject* parent)
    : QObject(parent), posted_(std::make_shared<std::atomic<bool>>(false)) {
  RunLoop::main().attachToCurrentThread();
  auto posted = posted_;
  RunLoop::main().setWakeUpHandler([posted] {
    if (posted->exchange(true)) {
      return;  // a drain is already on its way and will see this work
    }
    QCoreApplication* app = QCoreApplication::instance();
    if (app == nullptr) {
      posted->store(false);
      return;
    }
    QMetaObject::invokeMethod(
        app,
        [posted] {
          // Cleared first: work queued while draining posts a fresh drain.
          posted->store(false);
          drain();
        },
        Qt::QueuedConnection);
  });
  // Anything queued before the adapter existed.
  QMetaObject::invokeMethod(
      this, [] { drain(); }, Qt::QueuedConnection);
}

QtRunLoopAdapter::~QtRunLoopAdapter() { RunLoop::main().setWakeUpHandler({}); }

void QtRunLoopAdapter::drain() { RunLoop::main().processPendingEvents(); }

}  // namespace quorvel::ui
