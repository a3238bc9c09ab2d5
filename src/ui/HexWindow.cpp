#include "ui/HexWindow.h"

#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QVBoxLayout>

#include "ui/HexView.h"

namespace quorvel::ui {

HexWindow::HexWindow(QWidget* parent)
    : QWidget(parent, Qt::Window),
      view_(new HexView(this)),
      status_(new QLabel(this)),
      goTo_(new QLineEdit(this)) {
  setAttribute(Qt::WA_DeleteOnClose);
  goTo_->setPlaceholderText(tr("Go to offset"));
  goTo_->setClearButtonEnabled(true);
  goTo_->setMaximumWidth(200);
  auto* bottom = new QHBoxLayout;
  bottom->addWidget(status_, 1);
  bottom->addWidget(goTo_);
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(6, 6, 6, 6);
  layout->addWidget(view_, 1);
  layout->addLayout(bottom);
  resize(760, 560);

  connect(view_, &HexView::selectedOffsetChanged, this, &HexWindow::showOffset);
  connect(goTo_, &QLineEdit::returnPressed, this, [this] {
    const QString text = goTo_->text().trimmed();
    bool ok = false;
    const qint64 offset = text.startsWith(QStringLiteral("0x"), Qt::CaseInsensitive)
                              ? text.mid(2).toLongLong(&ok, 16)
                              : text.toLongLong(&ok, 10);
    if (ok) {
      view_->goToOffset(offset);
      view_->setFocus();
    }
  });
}

bool HexWindow::openFile(const QString& path) {
  setWindowTitle(tr("%1 — Hex").arg(QFileInfo(path).fileName()));
  if (!view_->openFile(path)) {
    status_->setText(tr("Could not read %1").arg(path));
    return false;
  }
  showOffset(-1);
  return true;
}

void HexWindow::showOffset(qint64 offset) {
  const QLocale locale;
  const QString size = tr("%1 bytes").arg(locale.toString(view_->fileSize()));
  if (offset < 0) {
    status_->setText(size);
    return;
  }
  status_->setText(tr("Offset 0x%1 (%2) of %3")
                       .arg(QString::number(offset, 16).toUpper(), locale.toString(offset), size));
}

}  // namespace quorvel::ui
