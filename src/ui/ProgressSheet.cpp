#include "ui/ProgressSheet.h"

#include <QCloseEvent>
#include <QDialogButtonBox>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>

namespace quorvel::ui {

ProgressSheet::ProgressSheet(QWidget* parent)
    : QDialog(parent, Qt::Sheet | Qt::CustomizeWindowHint | Qt::WindowTitleHint),
      message_(new QLabel(this)),
      bar_(new QProgressBar(this)),
      cancel_(new QPushButton(tr("Cancel"), this)) {
  setWindowModality(Qt::WindowModal);
  setWindowTitle(tr("Working"));
  message_->setMinimumWidth(360);
  bar_->setRange(0, 100);
  bar_->setTextVisible(false);
  auto* buttons = new QDialogButtonBox(this);
  buttons->addButton(cancel_, QDialogButtonBox::RejectRole);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(message_);
  layout->addWidget(bar_);
  layout->addWidget(buttons);
  connect(cancel_, &QPushButton::clicked, this, &ProgressSheet::reject);
}

void ProgressSheet::setMessage(const QString& message) { message_->setText(message); }

void ProgressSheet::setValue(double value) {
  if (!std::isfinite(value)) {
    return;
  }
  bar_->setValue(static_cast<int>(std::clamp(value, 0.0, 100.0)));
}

void ProgressSheet::setIndeterminate(bool indeterminate) {
  // A range of 0..0 is Qt's busy indicator.
  bar_->setRange(0, indeterminate ? 0 : 100);
}

void ProgressSheet::begin(const QString& message, bool indeterminate, double value) {
  setMessage(message);
  setIndeterminate(indeterminate);
  setValue(value);
  cancel_->setEnabled(true);
  if (!isVisible()) {
    open();
  }
}

void ProgressSheet::end() {
  hide();
  setResult(QDialog::Accepted);
}

void ProgressSheet::reject() {
  // One press is enough; the worker stops at its next check.
  cancel_->setEnabled(false);
  Q_EMIT cancelRequested();
}

void ProgressSheet::closeEvent(QCloseEvent* event) {
  event->ignore();
  reject();
}

}  // namespace quorvel::ui
