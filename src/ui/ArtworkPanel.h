#pragma once

#include <QWidget>

#include <cstddef>
#include <vector>

#include "model/AlbumArtwork.h"

class QLabel;
class QLineEdit;
class QPushButton;
class QToolButton;

namespace quorvel {
class AppDelegate;
}

namespace quorvel::ui {

class ArtworkWell;

// The artwork viewer: one artwork of the selection at a time ("n of m"),
// its size, type and description, and the buttons to choose, paste, remove
// and convert artwork. The shown position is what Remove and Convert act on.
class ArtworkPanel : public QWidget {
  Q_OBJECT

 public:
  explicit ArtworkPanel(AppDelegate& delegate, QWidget* parent = nullptr);

  // Shows the selection's artwork again. Main thread.
  void refresh();
  std::size_t shownIndex() const { return shownIndex_; }
  // The artwork shown, or none.
  AlbumArtworkPtr shownArtwork() const;
  void showPrevious();
  void showNext();
  // Commits a description being typed.
  void commitDescription();

  // The picture type's name (front cover, back cover, ...).
  static QString artworkTypeName(std::uint32_t type);

 Q_SIGNALS:
  void chooseRequested();
  void pasteRequested();
  void removeRequested();
  void convertRequested();
  void imageFileDropped(const QString& path);
  void imageDataDropped(const QByteArray& data);

 private:
  void redisplay();

  AppDelegate& delegate_;
  ArtworkWell* well_;
  QToolButton* previous_;
  QToolButton* next_;
  QLabel* position_;
  QLabel* info_;
  QLineEdit* description_;
  QPushButton* choose_;
  QPushButton* paste_;
  QPushButton* remove_;
  QPushButton* convert_;
  std::vector<AlbumArtworkPtr> artworks_;
  bool differs_ = false;
  bool preview_ = false;
  std::size_t shownIndex_ = 0;
  QString shownDescription_;
};

}  // namespace quorvel::ui
