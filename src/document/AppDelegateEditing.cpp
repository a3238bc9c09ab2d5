// Edits of the selection, copy and paste, artwork and the search field.

#include <algorithm>
#include <filesystem>
#include <unordered_set>

#include "document/AppDelegate.h"
#include "document/ErrorLogWindowController.h"
#include "document/MetadataFunctionController.h"
#include "model/AudioFileWriter.h"
#include "model/MetadataValue.h"
#include "model/TagMappings.h"
#include "platform/ImageCodec.h"
#include "platform/UIHost.h"
#include "platform/UserDefaults.h"
#include "platform/ZRUndoManager.h"
#include "support/StringFormat.h"
#include "support/Text.h"

namespace quorvel {

namespace fs = std::filesystem;

namespace {

// Ends the undo group it opened even when a change throws.
class UndoGroup {
 public:
  explicit UndoGroup(ZRUndoManager& manager) : manager_(manager), level_(manager.groupingLevel()) {
    manager_.beginUndoGrouping();
  }
  // Only a group that was opened is closed: while registration is disabled
  // none opens, and an outer group must stay open.
  ~UndoGroup() {
    if (manager_.groupingLevel() > level_) {
      manager_.endUndoGrouping();
    }
  }
  UndoGroup(const UndoGroup&) = delete;
  UndoGroup& operator=(const UndoGroup&) = delete;
  // Names the group while it is still open: a group that ends empty is
  // thrown away and must not rename the step before it.
  void setActionName(const std::string& name) {
    if (!name.empty()) {
      manager_.setActionName(name);
    }
  }

 private:
  ZRUndoManager& manager_;
  std::int64_t level_;
};

// Add Tag accepts an MP4 atom or an ID3v2 frame id for a key.
std::string normalizedAddTagKey(const std::string& key) {
  return keyForID3v2FrameId(keyForMP4Atom(key));
}

// Edit Tag accepts the name of any format for a key.
std::string normalizedEditTagKey(const std::string& key) {
  std::string normalized = keyForVorbisField(key);
  normalized = keyForMP4Atom(normalized);
  normalized = keyForID3v2FrameId(normalized);
  normalized = keyForASFAttributeName(normalized);
  return keyForAPEItemKey(normalized);
}

bool looksLikeURL(const std::string& text) {
  auto colon = text.find("://");
  if (colon == std::string::npos || colon == 0) {
    return false;
  }
  return std::all_of(
      text.begin(), text.begin() + static_cast<std::ptrdiff_t>(colon),
      [](unsigned char c) { return std::isalnum(c) || c == '+' || c == '-' || c == '.'; });
}

}  // namespace

// --- The frame of every edit ---------------------------------------------------------------

std::optional<std::string> AppDelegate::keyForEditorFieldTag(int tag) {
  switch (tag) {
    case 1:
      return "ALBUM";
    case 2:
      return "ALBUMARTIST";
    case 3:
      return "BPM";
    case 4:
      return "COMMENTS";
    case 5:
      return "COMPOSER";
    case 6:
      return "DISCNUMBER";
    case 7:
      return "DISCTOTAL";
    case 8:
      return "GENRE";
    case 9:
      return "GROUPING";
    case 10:
      return "LYRICS";
    case 11:
      return "TRACKTITLE";
    case 12:
      return "TRACKARTIST";
    case 13:
      return "TRACKNUMBER";
    case 14:
      return "TRACKTOTAL";
    case 15:
      return "YEAR";
    case 31:
      return "TRACKTITLESORTORDER";
    case 32:
      return "ARTISTSORTORDER";
    case 33:
      return "ALBUMARTISTSORTORDER";
    case 34:
      return "COMPOSERSORTORDER";
    case 35:
      return "ALBUMSORTORDER";
    case 39:
      return "MOVEMENTNAME";
    case 40:
      return "MOVEMENTNUMBER";
    case 41:
      return "MOVEMENTTOTAL";
    case 42:
      return "WORK";
    default:
      return std::nullopt;
  }
}

bool AppDelegate::performEdit(const std::string& actionName, EditSource source,
                              const std::function<void(AudioMetadata&)>& change) {
  if (previewMode()) {
    return false;
  }
  return performEditOn(arrayController_.selectedObjects(), actionName, source, change);
}

bool AppDelegate::performEditOn(const std::vector<AudioMetadataPtr>& records,
                                const std::string& actionName, EditSource source,
                                const std::function<void(AudioMetadata&)>& change) {
  if (records.empty()) {
    return false;
  }
  {
    UndoGroup group(*undoManager_);
    for (const auto& record : records) {
      change(*record);
    }
    group.setActionName(actionName);
  }
  saveAfterChange(source);
  updatePreview();
  return true;
}

void AppDelegate::saveAfterChange(EditSource source) {
  if (!boolSetting("saveAfterChange")) {
    return;
  }
  if (source == EditSource::EditorField && running_) {
    return;
  }
  if (source == EditSource::AllTags && undoManager_->groupingLevel() > 0) {
    return;
  }
  save();
}

Object AppDelegate::editedValue(const Object& value) {
  if (value.isText() && value.text().empty()) {
    return Object();
  }
  return value;
}

bool AppDelegate::isNumberKey(const std::string& key) {
  return key == "TRACKNUMBER" || key == "DISCNUMBER";
}

void AppDelegate::applyNumberRule(AudioMetadata& record, const std::string& key,
                                  const Object& value) {
  // "3/12": the number stays under the key, the total goes to its own key.
  const std::string text = value.stringValue().value_or(std::string());
  const std::string totalKey = key == "TRACKNUMBER" ? "TRACKTOTAL" : "DISCTOTAL";
  const auto slash = text.find('/');
  const std::string numberPart =
      trimWhitespaceAndNewlines(slash == std::string::npos ? text : text.substr(0, slash));
  record.setMetadataObjectValue(Object(numberPart), key);
  if (slash == std::string::npos) {
    return;
  }
  const std::string total = trimWhitespaceAndNewlines(text.substr(slash + 1));
  if (total.empty()) {
    return;
  }
  auto numberValue = record.metadataValueForKey(key);
  const std::int32_t type = numberValue ? numberValue->type() : MetadataValue::TypeUser;
  record.setMetadataValue(std::make_shared<MetadataValue>(totalKey, Object(total), type), totalKey);
}

std::shared_ptr<MetadataValue> AppDelegate::mergedValueForKey(const std::string& key) const {
  const auto& values = functions_->selectionValues().values;
  auto it = values.find(key);
  return it != values.end() ? it->second : nullptr;
}

// --- Edit entry points ---------------------------------------------------------------------

void AppDelegate::metadataValueWasEdited(int fieldTag, std::size_t displayedIndex,
                                         const Object& value) {
  auto key = keyForEditorFieldTag(fieldTag);
  if (!key) {
    return;
  }
  const Object edited = editedValue(value);
  performEdit(stringWithFormat(localized("Set %@"), {*key}), EditSource::EditorField,
              [&](AudioMetadata& record) {
                if (isNumberKey(*key) && !edited.isNone()) {
                  applyNumberRule(record, *key, edited);
                } else {
                  record.replaceObjectAtMetadataIndex(displayedIndex, edited, *key);
                }
              });
}

void AppDelegate::textFieldSubtractButtonPressed(int fieldTag, std::size_t displayedIndex) {
  auto key = keyForEditorFieldTag(fieldTag);
  if (!key) {
    return;
  }
  auto merged = mergedValueForKey(*key);
  const bool differs = merged && MetadataFunctionController::isMultipleValuesMarker(*merged);
  performEdit(stringWithFormat(localized("Delete %@"), {*key}), EditSource::EditorField,
              [&](AudioMetadata& record) {
                if (differs) {
                  record.removeMetadataValueForKey(*key);
                } else {
                  record.removeMetadataObjectValueForKey(*key, displayedIndex);
                }
              });
}

void AppDelegate::setMetadataObjectValue(const Object& value, const std::string& key) {
  if (key.empty()) {
    return;
  }
  const Object edited = editedValue(value);
  if (isNumberKey(key)) {
    performEdit(localized("Add Tag"), EditSource::Other, [&](AudioMetadata& record) {
      if (!edited.isNone()) {
        applyNumberRule(record, key, edited);
      }
    });
    return;
  }
  const std::string normalized = normalizedAddTagKey(key);
  performEdit(localized("Add Tag"), EditSource::Other,
              [&](AudioMetadata& record) { record.addMetadataObjectValue(edited, normalized); });
}

void AppDelegate::editMetadataObjectValue(const Object& value, const std::string& key,
                                          std::size_t index) {
  if (key.empty()) {
    return;
  }
  const Object edited = editedValue(value);
  const bool numberKey = isNumberKey(key);
  const std::string normalized = numberKey ? key : normalizedEditTagKey(key);
  performEdit(localized("Edit Tag"), EditSource::Other, [&](AudioMetadata& record) {
    if (numberKey && !edited.isNone()) {
      applyNumberRule(record, key, edited);
    } else {
      record.replaceObjectAtMetadataIndex(index, edited, normalized);
    }
  });
}

void AppDelegate::outlineViewSetObjectValue(const Object& value, const AllTagsRow& row) {
  const std::string& key = row.key;
  if (key.empty()) {
    return;
  }
  const std::size_t index = row.isChild ? row.valueIndex : 0;
  Object edited = editedValue(value);
  if ((key == "DISCTOTAL" || key == "TRACKTOTAL" || key == "PARTOFACOMPILATION" ||
       key == "SHOWMOVEMENT") &&
      edited.isText()) {
    if (auto parsed = numberFromLocalizedString(trimWhitespaceAndNewlines(edited.text()))) {
      edited = Object(Number(parsed->int64Value()));
    }
  }
  const std::string setName = stringWithFormat(localized("Set %@"), {key});
  const std::string deleteName = stringWithFormat(localized("Delete %@"), {key});
  if (!row.isChild && edited.isNone()) {
    performEdit(deleteName, EditSource::AllTags,
                [&](AudioMetadata& record) { record.removeMetadataValueForKey(key); });
  } else if (isNumberKey(key) && !edited.isNone()) {
    performEdit(setName, EditSource::AllTags,
                [&](AudioMetadata& record) { applyNumberRule(record, key, edited); });
  } else if (edited.isNone()) {
    performEdit(deleteName, EditSource::AllTags,
                [&](AudioMetadata& record) { record.removeMetadataObjectValueForKey(key, index); });
  } else {
    performEdit(setName, EditSource::AllTags, [&](AudioMetadata& record) {
      record.replaceObjectAtMetadataIndex(index, edited, key);
    });
  }
}

void AppDelegate::allTagsDeleteTagButtonPressed(const std::vector<AllTagsRow>& rows) {
  if (rows.empty()) {
    return;
  }
  performEdit(localized("Delete Selected Tags"), EditSource::AllTags, [&](AudioMetadata& record) {
    // Last row first, so the value indexes of earlier child rows still hold.
    for (auto row = rows.rbegin(); row != rows.rend(); ++row) {
      if (row->isChild) {
        record.removeMetadataObjectValueForKey(row->key, row->valueIndex);
      } else {
        record.removeMetadataValueForKey(row->key);
      }
    }
  });
}

void AppDelegate::metadataCheckboxClicked(bool checked, const std::string& key,
                                          const std::string& actionName) {
  performEdit(localized(actionName), EditSource::Other, [&](AudioMetadata& record) {
    if (checked) {
      record.setMetadataObjectValue(Object("1"), key);
    } else {
      record.removeMetadataValueForKey(key);
    }
  });
}

void AppDelegate::textShouldEndEditing(const std::string& lyrics) {
  performEdit(localized("Set Lyrics"), EditSource::Other, [&](AudioMetadata& record) {
    record.setMetadataObjectValue(Object(lyrics), "LYRICS");
  });
}

void AppDelegate::setDataValue(const Data& data, const std::string& key) {
  performEdit(localized("Set Data"), EditSource::Other,
              [&](AudioMetadata& record) { record.setMetadataObjectValue(Object(data), key); });
}

void AppDelegate::tableViewSetObjectValue(const Object& value, const std::string& columnIdentifier,
                                          std::size_t row) {
  if (previewMode()) {
    return;
  }
  const auto& shown = arrayController_.arrangedObjects();
  if (row >= shown.size()) {
    return;
  }
  std::vector<AudioMetadataPtr> records = arrayController_.isSelected(row)
                                              ? arrayController_.selectedObjects()
                                              : std::vector<AudioMetadataPtr>{shown[row]};
  if (columnIdentifier == "_FILENAME") {
    const std::string name = value.stringValue().value_or(std::string());
    if (!name.empty()) {
      renameFiles(records, name);
    }
    return;
  }
  if (columnIdentifier.starts_with("_")) {
    return;  // file and audio properties are read-only
  }
  const Object edited = editedValue(value);
  performEditOn(records, "", EditSource::Other, [&](AudioMetadata& record) {
    record.setMetadataObjectValue(edited, columnIdentifier);
  });
}

void AppDelegate::renameFiles(const std::vector<AudioMetadataPtr>& records,
                              const std::string& name) {
  bool failed = false;
  for (const auto& record : records) {
    if (!record->sourceLocation()) {
      continue;
    }
    const fs::path destination = fs::path(*record->sourceLocation()).parent_path() / name;
    Error error;
    if (!AudioFileWriter::renameFileTo(*record, destination.string(), false, &error)) {
      errorLog().logMessage(stringWithFormat(
          localized("Error Renaming File: %@.  %@"),
          {record->sourceFilename().value_or(std::string()), error.localizedDescription}));
      failed = true;
    }
  }
  if (failed) {
    ui()->showErrorLog();
  }
  ui()->reloadTable();
  updatePreview();
}

// --- Copy and paste ------------------------------------------------------------------------

AlbumArtworkPtr AppDelegate::copyOfArtwork(const AlbumArtwork& artwork) {
  auto copy = std::make_shared<AlbumArtwork>();
  copy->setData(artwork.data());
  copy->setArtworkType(artwork.artworkType());
  copy->setMimeType(artwork.mimeType());
  copy->setOriginalFilename(artwork.originalFilename());
  copy->setComments(artwork.comments());
  return copy;
}

AudioMetadataPtr AppDelegate::detachedCopy(const AudioMetadata& source,
                                           const std::vector<std::string>* keys) {
  auto copy = std::make_shared<AudioMetadata>();
  const std::vector<std::string> allKeys = keys ? *keys : source.allMetadataKeys();
  for (const std::string& key : allKeys) {
    if (auto values = source.metadataObjectValuesForKey(key)) {
      for (const Object& value : *values) {
        copy->addMetadataObjectValue(value, key);
      }
    }
  }
  if (!keys) {
    for (const auto& artwork : source.artworks()) {
      copy->addArtwork(copyOfArtwork(*artwork));
    }
  }
  return copy;
}

void AppDelegate::copyAllMetadata() {
  copied_.clear();
  for (const auto& record : arrayController_.selectedObjects()) {
    copied_.push_back(detachedCopy(*record, nullptr));
  }
}

void AppDelegate::copySelectedMetadata(const std::vector<std::string>& keys) {
  std::vector<std::string> unique;
  std::unordered_set<std::string> seen;
  for (const auto& key : keys) {
    if (seen.insert(key).second) {
      unique.push_back(key);
    }
  }
  copied_.clear();
  for (const auto& record : arrayController_.selectedObjects()) {
    copied_.push_back(detachedCopy(*record, &unique));
  }
}

void AppDelegate::pasteMetadataReplacingExisting() { pasteMetadataDeleteAllValues(false, false); }

void AppDelegate::pasteMetadataAddingToExisting() { pasteMetadataDeleteAllValues(false, true); }

void AppDelegate::pasteMetadataReplacingAll() { pasteMetadataDeleteAllValues(true, true); }

void AppDelegate::pasteMetadataDeleteAllValues(bool deleteAllValues, bool addToExisting) {
  auto targets = arrayController_.selectedObjects();
  const std::size_t copies = copied_.size();
  const std::size_t selected = targets.size();
  if (copies == 0 || selected == 0) {
    return;
  }
  if (copies < selected) {
    const std::string c = std::to_string(copies);
    int answer = ui()->runAlert(
        localized("Copied Count Does Not Match Selected Count"),
        stringWithFormat(localized("Metadata for %ld files were copied, but there are %ld files "
                                   "selected.  What would you like to do?"),
                         {c, std::to_string(selected)}),
        {stringWithFormat(localized("Paste To First %ld Files"), {c}),
         localized("Paste To All Selected Files"), localized("Cancel")});
    if (answer == kAlertFirstButtonReturn) {
      targets.resize(copies);
    } else if (answer != kAlertSecondButtonReturn) {
      return;
    }
  }
  {
    UndoGroup group(*undoManager_);
    for (std::size_t i = 0; i < targets.size(); ++i) {
      AudioMetadata& target = *targets[i];
      const AudioMetadata& copy = *copied_[i % copies];
      if (deleteAllValues) {
        for (const std::string& key : target.allMetadataKeys()) {
          target.removeMetadataValueForKey(key);
        }
        target.removeAllArtwork();
      } else if (!addToExisting && copy.metadataHasArtwork()) {
        target.removeAllArtwork();
      }
      for (const std::string& key : copy.allMetadataKeys()) {
        if (!addToExisting) {
          target.removeMetadataValueForKey(key);
        }
        if (auto values = copy.metadataObjectValuesForKey(key)) {
          for (const Object& value : *values) {
            target.addMetadataObjectValue(value, key);
          }
        }
      }
      for (const auto& artwork : copy.artworks()) {
        target.addArtwork(copyOfArtwork(*artwork));
      }
    }
    group.setActionName(localized("Paste Metadata"));
  }
  updatePreview();
}

// --- Artwork -------------------------------------------------------------------------------

void AppDelegate::setOrAddAlbumArtwork(const AlbumArtworkPtr& artwork,
                                       const std::vector<AudioMetadataPtr>& records) {
  if (!artwork || records.empty()) {
    return;
  }
  const bool someHaveArtwork =
      std::any_of(records.begin(), records.end(),
                  [](const AudioMetadataPtr& record) { return record->metadataHasArtwork(); });
  bool setOnly = false;
  std::string actionName = "Set Album Artwork";
  if (someHaveArtwork) {
    int answer = ui()->runAlertWithIcon(
        localized("Add Album Artwork"),
        localized("Some files already have album artwork.  Would you like to add to the existing "
                  "artwork or set this image as the only artwork?"),
        {localized("Set As Only Artwork"), localized("Cancel"),
         localized("Add To Existing Artworks")},
        artwork->data());
    if (answer == kAlertFirstButtonReturn) {
      setOnly = true;
    } else if (answer == kAlertThirdButtonReturn) {
      actionName = "Add Album Artwork";
    } else {
      return;
    }
  }
  {
    UndoGroup group(*undoManager_);
    for (const auto& record : records) {
      // Each record gets its own artwork object (the bytes are shared), so a
      // later change of one record's artwork leaves the others alone.
      auto copy = copyOfArtwork(*artwork);
      if (setOnly) {
        record->setArtwork(copy);
      } else {
        record->addArtwork(copy);
      }
    }
    group.setActionName(localized(actionName));
  }
  saveAfterChange(EditSource::Other);
  updatePreview();
}

AlbumArtworkPtr AppDelegate::artworkFromURL(const std::string& url) const {
  if (url.starts_with("file:")) {
    return AlbumArtwork::albumArtworkFromURL(url);
  }
  if (!urlLoader_) {
    return nullptr;
  }
  auto data = urlLoader_(url);
  if (!data) {
    return nullptr;
  }
  std::string name = url.substr(url.find_last_of('/') + 1);
  name = name.substr(0, name.find_first_of("?#"));
  return AlbumArtwork::albumArtworkFromData(*data, name);
}

AlbumArtworkPtr AppDelegate::artworkFromImageData(const Data& data) const {
  const auto& defaults = UserDefaults::standard();
  const BitmapFileType type = defaults.integerForKey("pasteImageDataFormat") == 1
                                  ? BitmapFileType::JPEG
                                  : BitmapFileType::PNG;
  const auto compression = static_cast<float>(defaults.floatForKey("pasteImageJPEGCompression"));
  Data encoded = ImageCodec::convert(data, type, compression);
  if (encoded.empty()) {
    return nullptr;
  }
  return AlbumArtwork::albumArtworkFromData(encoded, "");
}

void AppDelegate::setAlbumArtworkFromURL(const std::string& url) {
  auto records = arrayController_.selectedObjects();
  if (records.empty()) {
    return;
  }
  auto artwork = artworkFromURL(url);
  if (!artwork) {
    ui()->runAlert(
        localized("Unable to create artwork from URL"),
        stringWithFormat(localized("The following URL does not point to a valid image file: %@"),
                         {url}),
        {localized("OK")});
    return;
  }
  setOrAddAlbumArtwork(artwork, records);
}

void AppDelegate::pasteArtwork() {
  auto records = arrayController_.selectedObjects();
  if (records.empty()) {
    return;
  }
  const PasteboardContents contents = ui()->readPasteboard();
  AlbumArtworkPtr artwork;
  if (contents.artworkArchive) {
    artwork = AlbumArtwork::fromArchivedData(*contents.artworkArchive);
  } else if (!contents.fileURLs.empty()) {
    artwork = artworkFromURL(contents.fileURLs.front());
  } else if (contents.string && looksLikeURL(trimWhitespaceAndNewlines(*contents.string))) {
    artwork = artworkFromURL(trimWhitespaceAndNewlines(*contents.string));
  } else if (contents.image) {
    artwork = artworkFromImageData(*contents.image);
  }
  setOrAddAlbumArtwork(artwork, records);
}

void AppDelegate::albumArtworkDropViewReceivedImageData(const Data& data) {
  ui()->endEditing();
  auto records = arrayController_.selectedObjects();
  if (records.empty()) {
    return;
  }
  setOrAddAlbumArtwork(artworkFromImageData(data), records);
}

void AppDelegate::removeArtwork(std::size_t shownIndex) {
  auto records = arrayController_.selectedObjects();
  if (records.empty()) {
    return;
  }
  {
    UndoGroup group(*undoManager_);
    for (const auto& record : records) {
      if (shownIndex < record->artworks().size()) {
        AlbumArtworkPtr artwork = record->artworks()[shownIndex];
        record->removeArtwork(artwork);
      }
    }
    group.setActionName(localized("Remove Album Artwork"));
  }
  saveAfterChange(EditSource::Other);
  updatePreview();
}

void AppDelegate::albumArtworkDescriptionChanged(std::size_t shownIndex,
                                                 const std::string& description) {
  auto records = arrayController_.selectedObjects();
  if (records.empty()) {
    return;
  }
  const std::optional<std::string> comments =
      description.empty() ? std::nullopt : std::optional<std::string>(description);
  const bool groupedByEvent = undoManager_->groupsByEvent();
  undoManager_->setGroupsByEvent(false);
  {
    // A group in which nothing changed ends empty and is thrown away, so no
    // empty step is left to undo.
    UndoGroup group(*undoManager_);
    bool changed = false;
    for (const auto& record : records) {
      if (shownIndex >= record->artworks().size()) {
        continue;
      }
      AlbumArtworkPtr artwork = record->artworks()[shownIndex];
      if (artwork->comments() != comments) {
        record->setAlbumArtworkComments(comments, artwork);
        changed = true;
      }
    }
    if (changed) {
      group.setActionName(localized("Set Artwork Description"));
    }
  }
  undoManager_->setGroupsByEvent(groupedByEvent);
  saveAfterChange(EditSource::Other);
  updatePreview();
}

// --- Search --------------------------------------------------------------------------------

void AppDelegate::setSearchColumns(std::vector<SearchColumn> columns) {
  searchColumns_ = std::move(columns);
}

void AppDelegate::search(const std::string& text) {
  searchText_ = text;
  std::vector<std::string> keys;
  for (const auto& column : searchColumns_) {
    if (column.identifier == kNeedsSavingColumnIdentifier ||
        column.identifier == kHasArtworkColumnIdentifier) {
      continue;
    }
    if (searchCategory_ == kSearchAllColumns || column.category == searchCategory_) {
      keys.push_back(column.identifier);
    }
  }
  if (text.empty() || keys.empty()) {
    arrayController_.setFilterPredicate(std::nullopt);
  } else {
    arrayController_.setFilterPredicate(ArrayController::FilterPredicate(std::move(keys), text));
  }
  ui()->reloadTable();
  ui()->selectionDidChange();
  updatePreview();
}

void AppDelegate::setSearchCategoryFrom(int category, const std::string& title) {
  searchCategory_ = category;
  ui()->setSearchPlaceholder(stringWithFormat(localized("Search %@"), {title}));
  search(searchText_);
}

}  // namespace quorvel
