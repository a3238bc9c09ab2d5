#include "ui/PreferencesDialog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollArea>
#include <QSignalBlocker>
#include <QSlider>
#include <QTabWidget>
#include <QVBoxLayout>

#include <cmath>

#include "platform/UserDefaults.h"
#include "ui/QtConversions.h"

namespace quorvel::ui {

namespace {

UserDefaults& defaults() { return UserDefaults::standard(); }

const std::vector<std::pair<int, QString>>& id3v2Versions() {
  static const std::vector<std::pair<int, QString>> choices = {
      {1, QStringLiteral("ID3v2.4, UTF-8")},   {2, QStringLiteral("ID3v2.3, UTF-16")},
      {3, QStringLiteral("ID3v2.3, Latin-1")}, {4, QStringLiteral("ID3v2.4, UTF-16")},
      {5, QStringLiteral("ID3v2.4, Latin-1")},
  };
  return choices;
}

// A page that scrolls when the window is smaller than its groups.
QWidget* scrolling(QWidget* content) {
  auto* area = new QScrollArea;
  area->setWidget(content);
  area->setWidgetResizable(true);
  area->setFrameShape(QFrame::NoFrame);
  return area;
}

}  // namespace

PreferencesDialog::PreferencesDialog(QWidget* parent) : QDialog(parent) {
  setWindowTitle(tr("Preferences"));
  auto* tabs = new QTabWidget(this);
  tabs_ = tabs;
  tabs->addTab(scrolling(makeGeneralPage()), tr("General"));
  tabs->addTab(scrolling(makeReadingPage()), tr("Reading"));
  tabs->addTab(scrolling(makeWritingPage()), tr("Writing"));
  tabs->addTab(scrolling(makeArtworkPage()), tr("Artwork"));
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::close);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(tabs);
  layout->addWidget(buttons);
  resize(560, 680);
}

void PreferencesDialog::setCurrentPage(int index) { tabs_->setCurrentIndex(index); }

void PreferencesDialog::showEvent(QShowEvent* event) {
  for (const auto& refresh : refreshers_) {
    refresh();
  }
  QDialog::showEvent(event);
}

QGroupBox* PreferencesDialog::group(const QString& title, QVBoxLayout** layout) {
  auto* box = new QGroupBox(title);
  *layout = new QVBoxLayout(box);
  return box;
}

QCheckBox* PreferencesDialog::addCheck(QVBoxLayout* layout, const char* key, const QString& title,
                                       const QString& toolTip) {
  auto* check = new QCheckBox(title);
  check->setToolTip(toolTip);
  const std::string k = key;
  refreshers_.push_back([check, k] {
    const QSignalBlocker block(check);
    check->setChecked(defaults().boolForKey(k));
  });
  refreshers_.back()();
  connect(check, &QCheckBox::toggled, this, [k](bool on) { defaults().setBool(on, k); });
  layout->addWidget(check);
  return check;
}

QCheckBox* PreferencesDialog::addBitCheck(QVBoxLayout* layout, const char* key, int bit,
                                          const QString& title, const QString& toolTip) {
  auto* check = new QCheckBox(title);
  check->setToolTip(toolTip);
  const std::string k = key;
  refreshers_.push_back([check, k, bit] {
    const QSignalBlocker block(check);
    check->setChecked((defaults().integerForKey(k) & bit) != 0);
  });
  refreshers_.back()();
  connect(check, &QCheckBox::toggled, this, [k, bit](bool on) {
    std::int64_t value = defaults().integerForKey(k);
    value = on ? (value | bit) : (value & ~static_cast<std::int64_t>(bit));
    defaults().setInteger(value, k);
  });
  layout->addWidget(check);
  return check;
}

void PreferencesDialog::addChoice(QFormLayout* layout, const char* key, const QString& title,
                                  const std::vector<std::pair<int, QString>>& choices, int fallback,
                                  const QString& toolTip) {
  auto* combo = new QComboBox;
  combo->setToolTip(toolTip);
  for (const auto& [value, text] : choices) {
    combo->addItem(text, value);
  }
  const std::string k = key;
  refreshers_.push_back([combo, k, fallback] {
    const QSignalBlocker block(combo);
    int index = combo->findData(static_cast<int>(defaults().integerForKey(k)));
    if (index < 0) {
      index = combo->findData(fallback);
    }
    combo->setCurrentIndex(index);
  });
  refreshers_.back()();
  connect(combo, &QComboBox::activated, this,
          [combo, k](int index) { defaults().setInteger(combo->itemData(index).toInt(), k); });
  layout->addRow(title, combo);
}

QLineEdit* PreferencesDialog::addText(QFormLayout* layout, const char* key, const QString& title,
                                      const QString& toolTip) {
  auto* edit = new QLineEdit;
  edit->setToolTip(toolTip);
  const std::string k = key;
  refreshers_.push_back([edit, k] {
    const QSignalBlocker block(edit);
    edit->setText(toQString(defaults().stringForKey(k).value_or(std::string())));
  });
  refreshers_.back()();
  connect(edit, &QLineEdit::textEdited, this,
          [k](const QString& text) { defaults().setObject(PlistValue(toStdString(text)), k); });
  layout->addRow(title, edit);
  return edit;
}

void PreferencesDialog::addFraction(QFormLayout* layout, const char* key, const QString& title,
                                    const QString& toolTip) {
  auto* slider = new QSlider(Qt::Horizontal);
  slider->setRange(0, 100);
  slider->setToolTip(toolTip);
  auto* label = new QLabel;
  label->setMinimumWidth(QFontMetrics(label->font()).horizontalAdvance(QStringLiteral("100 %")));
  const std::string k = key;
  auto show = [label](int value) { label->setText(QStringLiteral("%1 %").arg(value)); };
  refreshers_.push_back([slider, k, show] {
    const QSignalBlocker block(slider);
    const int value = static_cast<int>(std::lround(defaults().floatForKey(k) * 100));
    slider->setValue(value);
    show(value);
  });
  refreshers_.back()();
  connect(slider, &QSlider::valueChanged, this, [k, show](int value) {
    show(value);
    defaults().setObject(PlistValue(value / 100.0), k);
  });
  auto* row = new QHBoxLayout;
  row->addWidget(slider, 1);
  row->addWidget(label);
  layout->addRow(title, row);
}

QWidget* PreferencesDialog::makeGeneralPage() {
  auto* page = new QWidget;
  auto* layout = new QVBoxLayout(page);
  QVBoxLayout* box = nullptr;

  layout->addWidget(group(tr("Saving"), &box));
  addCheck(box, "onlySaveChangedFiles", tr("Only save files that have changed"),
           tr("Untouched files keep their bytes and dates, and saving a long list stays quick."));
  addCheck(box, "preserveModificationDate", tr("Keep the modification date of saved files"),
           tr("Backup and sync tools that compare dates may then miss a tag edit."));
  addCheck(box, "clearAfterSaving", tr("Clear the file list after saving"),
           tr("Not while \"Save changes at once\" is on."));
  addCheck(box, "saveAfterChange", tr("Save changes at once"),
           tr("Write every edit, undo and applied function to the files immediately."));

  layout->addWidget(group(tr("File List"), &box));
  addCheck(box, "clearFilesWhenAdding", tr("Clear the list when files are dropped or opened"),
           tr("Unsaved changes are asked about first."));

  layout->addWidget(group(tr("Batch Functions"), &box));
  addCheck(box, "previewMode", tr("Preview a function's changes while its window is open"),
           tr("Previewed values are drawn in a distinct colour in the table and the editor."));
  auto* form = new QFormLayout;
  box->addLayout(form);
  addChoice(form, "metadataFunctionApplyTo", tr("Functions work on:"),
            {{0, tr("Selected files")}, {1, tr("All files in the list")}}, 0,
            tr("The files a batch function changes when it is applied."));
  layout->addStretch(1);
  return page;
}

QWidget* PreferencesDialog::makeReadingPage() {
  auto* page = new QWidget;
  auto* layout = new QVBoxLayout(page);
  auto* intro =
      new QLabel(tr("A tag type that is not read loses its values at the next save, "
                    "because saving rewrites every tag of a file from what was read."));
  intro->setWordWrap(true);
  layout->addWidget(intro);
  QVBoxLayout* box = nullptr;
  const QString readTip = tr("Read this tag when the file has one.");

  layout->addWidget(group(tr("MP3"), &box));
  addCheck(box, "readMP3ID3v2Tag", tr("ID3v2"), readTip);
  addCheck(box, "readMP3ID3v1Tag", tr("ID3v1"), readTip);
  addCheck(box, "readMP3ApeTag", tr("APE"), readTip);

  layout->addWidget(group(tr("FLAC"), &box));
  addCheck(box, "readFLACVorbisTag", tr("Vorbis comment"), readTip);
  addCheck(box, "readFLACID3v2Tag", tr("ID3v2"), readTip);
  addCheck(box, "readFLACID3v1Tag", tr("ID3v1"), readTip);

  auto* grid = new QHBoxLayout;
  auto* left = new QVBoxLayout;
  auto* right = new QVBoxLayout;
  grid->addLayout(left);
  grid->addLayout(right);
  layout->addLayout(grid);
  left->addWidget(group(tr("Monkey's Audio"), &box));
  addCheck(box, "readMonkeysAPETag", tr("APE"), readTip);
  addCheck(box, "readMonkeysID3v1Tag", tr("ID3v1"), readTip);
  right->addWidget(group(tr("True Audio"), &box));
  addCheck(box, "readTrueAudioID3v2Tag", tr("ID3v2"), readTip);
  addCheck(box, "readTrueAudioID3v1Tag", tr("ID3v1"), readTip);
  left->addWidget(group(tr("WavPack"), &box));
  addCheck(box, "readWavPackAPETag", tr("APE"), readTip);
  addCheck(box, "readWavPackID3v1Tag", tr("ID3v1"), readTip);
  right->addWidget(group(tr("Musepack"), &box));
  addCheck(box, "readMusepackAPETag", tr("APE"), readTip);
  addCheck(box, "readMusepackID3v1Tag", tr("ID3v1"), readTip);

  layout->addWidget(group(tr("Titles"), &box));
  addCheck(box, "fallbackOnFilenameWhenTitleIsMissing",
           tr("Use the file name as the title when a file has none"),
           tr("Such files then count as changed as soon as they are loaded."));
  layout->addStretch(1);
  return page;
}

QWidget* PreferencesDialog::makeWritingPage() {
  auto* page = new QWidget;
  auto* layout = new QVBoxLayout(page);
  QVBoxLayout* box = nullptr;
  const QString versionTip =
      tr("ID3v2.3 with UTF-16 is read by every player; ID3v2.4 only by modern software.");
  const QString writeTip = tr("Write this tag when saving; tags not written are removed.");

  layout->addWidget(group(tr("MP3"), &box));
  addCheck(box, "writeMP3ID3v2Tag", tr("ID3v2"), writeTip);
  addCheck(box, "writeMP3ApeTag", tr("APE"), writeTip);
  addCheck(box, "writeMP3ID3v1Tag", tr("ID3v1"), writeTip);
  auto* form = new QFormLayout;
  box->addLayout(form);
  addChoice(form, "WriteMP3ID3v2TagVersion", tr("ID3v2 version:"), id3v2Versions(), 1, versionTip);

  layout->addWidget(group(tr("WAVE"), &box));
  addCheck(box, "writeWAVID3v2Tag", tr("ID3v2 chunk"), writeTip);
  addCheck(box, "writeWAVInfoChunkTag", tr("INFO chunk"), writeTip);
  form = new QFormLayout;
  box->addLayout(form);
  addChoice(form, "WriteWAVID3v2TagVersion", tr("ID3v2 version:"), id3v2Versions(), 1, versionTip);

  layout->addWidget(group(tr("AIFF"), &box));
  form = new QFormLayout;
  box->addLayout(form);
  addChoice(form, "WriteAIFFID3v2TagVersion", tr("ID3v2 version:"), id3v2Versions(), 1, versionTip);

  layout->addWidget(group(tr("True Audio"), &box));
  addCheck(box, "writeTrueAudioID3v2Tag", tr("ID3v2"), writeTip);
  addCheck(box, "writeTrueAudioID3v1Tag", tr("ID3v1"), writeTip);

  layout->addWidget(group(tr("Tag Names"), &box));
  auto* note = new QLabel(tr("The names each tag format uses for every tag can be changed."));
  note->setWordWrap(true);
  box->addWidget(note);
  auto* mappings = new QPushButton(tr("Tag Mappings…"));
  connect(mappings, &QPushButton::clicked, this, &PreferencesDialog::tagMappingsRequested);
  auto* row = new QHBoxLayout;
  row->addWidget(mappings);
  row->addStretch(1);
  box->addLayout(row);
  layout->addStretch(1);
  return page;
}

QWidget* PreferencesDialog::makeArtworkPage() {
  auto* page = new QWidget;
  auto* layout = new QVBoxLayout(page);
  QVBoxLayout* box = nullptr;

  layout->addWidget(group(tr("FLAC Artwork"), &box));
  box->addWidget(new QLabel(tr("Read pictures from:")));
  addBitCheck(box, "readFLACAlbumArtworkFrom", 1, tr("Picture blocks"),
              tr("The standard place for FLAC artwork."));
  addBitCheck(box, "readFLACAlbumArtworkFrom", 2, tr("The Vorbis comment"),
              tr("Where some taggers put pictures."));
  box->addWidget(new QLabel(tr("Write pictures into:")));
  addBitCheck(box, "writeFLACAlbumArtworkIn", 1, tr("Picture blocks"),
              tr("What every player reads."));
  addBitCheck(box, "writeFLACAlbumArtworkIn", 2, tr("The Vorbis comment"),
              tr("With both on, each picture is stored twice."));

  layout->addWidget(group(tr("Artwork Files"), &box));
  QCheckBox* fromFile = addCheck(
      box, "readAlbumArtworkFromFile", tr("Read artwork from an image file beside the audio file"),
      tr("The image replaces the embedded artwork when the file is loaded."));
  QCheckBox* skip =
      addCheck(box, "skipArtworkFileWhenEmbedded", tr("Unless the audio file has artwork already"),
               tr("Embedded artwork wins."));
  auto* form = new QFormLayout;
  box->addLayout(form);
  QLineEdit* name =
      addText(form, "readAlbumArtworkFileName", tr("Image file name:"),
              tr("A format string; * and ? are wildcards, case is ignored (cover.*)."));
  // The two below only matter while image files are read.
  auto follow = [skip, name](bool on) {
    skip->setEnabled(on);
    name->setEnabled(on);
  };
  connect(fromFile, &QCheckBox::toggled, this, follow);
  refreshers_.push_back([fromFile, follow] { follow(fromFile->isChecked()); });
  follow(fromFile->isChecked());

  layout->addWidget(group(tr("Pasted and Dropped Images"), &box));
  form = new QFormLayout;
  box->addLayout(form);
  addChoice(form, "pasteImageDataFormat", tr("Store as:"), {{1, tr("JPEG")}, {0, tr("PNG")}}, 0,
            tr("The format of images pasted or dropped onto the artwork well."));
  addFraction(form, "pasteImageJPEGCompression", tr("JPEG quality:"),
              tr("Higher is sharper and larger."));
  layout->addStretch(1);
  return page;
}

}  // namespace quorvel::ui
