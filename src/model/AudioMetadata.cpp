#include "model/AudioMetadata.h"

#include <algorithm>
#include <cstdio>
#include <utility>

#include "platform/ZRUndoManager.h"
#include "support/MD5.h"
#include "support/Text.h"

namespace quorvel {

namespace {

// Selector names of the inverse operations, as the undo manager shows them.
constexpr const char* kSetMetadataValue = "setMetadataValue:forKey:";
constexpr const char* kSetMetadataObjectValues = "setMetadataObjectValues:forKey:";
constexpr const char* kAddMetadataObjectValue = "addMetadataObjectValue:forKey:";
constexpr const char* kRemoveMetadataObjectValue = "removeMetadataObjectValue:forKey:";
constexpr const char* kInsertMetadataObjectValue = "insertMetadataObjectValue:forKey:atIndex:";
constexpr const char* kRemoveMetadataObjectValueAtIndex =
    "removeMetadataObjectValueForKey:atIndex:";
constexpr const char* kReplaceObjectAtMetadataIndex =
    "replaceObjectAtMetadataIndex:withObject:forKey:";
constexpr const char* kAddArtwork = "addArtwork:";
constexpr const char* kAddArtworks = "addArtworks:";
constexpr const char* kRemoveArtwork = "removeArtwork:";
constexpr const char* kRemoveArtworks = "removeArtworks:";
constexpr const char* kReplaceArtwork = "replaceArtwork:withArtwork:";
constexpr const char* kSetAlbumArtworkType = "setAlbumArtworkType:forAlbumArtwork:";
constexpr const char* kSetAlbumArtworkComments = "setAlbumArtworkComments:forAlbumArtwork:";
constexpr const char* kSetContents = "setContents:";

constexpr const char* kArtworkKey = "ARTWORK";

// Moves out of what the caller gave up, copies what it keeps.
template <typename T>
T take(T& value) {
  return std::move(value);
}
template <typename T>
T take(const T& value) {
  return value;
}

// `Value` is PlistValue (consumed) or const PlistValue (copied from).
template <typename Value>
std::optional<Object> objectFromPlist(Value& value) {
  if (auto* text = value.template get<std::string>()) {
    return Object(take(*text));
  }
  if (const auto* integer = value.template get<std::int64_t>()) {
    return Object(Number(*integer));
  }
  if (const auto* real = value.template get<double>()) {
    return Object(Number(*real));
  }
  if (auto* data = value.template get<Data>()) {
    return Object(take(*data));
  }
  if (const auto* flag = value.template get<bool>()) {
    return Object(Number(*flag ? 1 : 0));
  }
  return std::nullopt;
}

Object numberOrNone(const std::optional<Number>& number) {
  return number ? Object(*number) : Object();
}

Object textOrNone(const std::optional<std::string>& text) {
  return text ? Object(*text) : Object();
}

Object dateOrNone(const std::optional<std::chrono::system_clock::time_point>& date) {
  if (!date) {
    return Object();
  }
  return Object(std::chrono::duration<double>(date->time_since_epoch()).count());
}

std::string percentEncodedPath(const std::string& path) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string result;
  result.reserve(path.size());
  for (unsigned char c : path) {
    bool keep = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                c == '/' || c == '-' || c == '.' || c == '_' || c == '~';
    if (keep) {
      result += static_cast<char>(c);
    } else {
      result += '%';
      result += kHex[c >> 4];
      result += kHex[c & 0x0F];
    }
  }
  return result;
}

// The indexes of `tags` in the locale's case-insensitive order of their keys;
// keys that order as equal ("Genre", "GENRE") keep their byte-wise order so
// the digest is stable. The records of one library mostly hold the same keys,
// and ordering them is much of a digest's cost, so the last order made on
// this thread is kept with the keys and the locale it was made for. Valid
// until the next call on the same thread.
template <typename Entries>
const std::vector<std::uint32_t>& keyOrder(const Entries& tags) {
  struct Cache {
    std::string locale;
    std::vector<std::string> keys;
    std::vector<std::uint32_t> order;
  };
  thread_local Cache cache;
  std::string locale = defaultLocaleName();
  if (cache.locale == locale && cache.keys.size() == tags.size() &&
      std::equal(tags.begin(), tags.end(), cache.keys.begin(),
                 [](const auto& entry, const std::string& key) { return entry.first == key; })) {
    return cache.order;
  }
  std::vector<std::pair<std::string, std::uint32_t>> sortKeys;
  sortKeys.reserve(tags.size());
  cache.keys.clear();
  for (std::uint32_t i = 0; i < tags.size(); ++i) {
    sortKeys.emplace_back(localizedCaseInsensitiveSortKey(tags[i].first), i);
    cache.keys.push_back(tags[i].first);
  }
  std::stable_sort(sortKeys.begin(), sortKeys.end(),
                   [](const auto& a, const auto& b) { return a.first < b.first; });
  cache.order.clear();
  for (const auto& sortKey : sortKeys) {
    cache.order.push_back(sortKey.second);
  }
  cache.locale = std::move(locale);
  return cache.order;
}

}  // namespace

AudioMetadata::DeferredDigest::DeferredDigest(AudioMetadata& record) : record_(record) {
  ++record_.digestBatchDepth_;
}

AudioMetadata::DeferredDigest::~DeferredDigest() {
  if (--record_.digestBatchDepth_ == 0 && record_.digestPending_) {
    record_.digestPending_ = false;
    record_.currentMetadataMD5_ = record_.calculateMD5();
  }
}

AudioMetadata::AudioMetadata() = default;
AudioMetadata::~AudioMetadata() = default;

// --- Storage ------------------------------------------------------------------

AudioMetadata::Entries::iterator AudioMetadata::find(Entries& entries, const std::string& key) {
  auto it = std::lower_bound(entries.begin(), entries.end(), key,
                             [](const Entry& e, const std::string& k) { return e.first < k; });
  return (it != entries.end() && it->first == key) ? it : entries.end();
}

AudioMetadata::Entries::const_iterator AudioMetadata::find(const Entries& entries,
                                                           const std::string& key) {
  auto it = std::lower_bound(entries.begin(), entries.end(), key,
                             [](const Entry& e, const std::string& k) { return e.first < k; });
  return (it != entries.end() && it->first == key) ? it : entries.end();
}

void AudioMetadata::store(Entries& entries, const std::string& key, MetadataValuePtr value) {
  auto it = std::lower_bound(entries.begin(), entries.end(), key,
                             [](const Entry& e, const std::string& k) { return e.first < k; });
  if (it != entries.end() && it->first == key) {
    it->second = std::move(value);
  } else {
    entries.emplace(it, key, std::move(value));
  }
}

void AudioMetadata::erase(Entries& entries, const std::string& key) {
  if (auto it = find(entries, key); it != entries.end()) {
    entries.erase(it);
  }
}

void AudioMetadata::updateDigest() {
  if (digestBatchDepth_ > 0) {
    digestPending_ = true;
    return;
  }
  currentMetadataMD5_ = calculateMD5();
}

void AudioMetadata::registerUndo(const char* selector, std::function<void(AudioMetadata&)> call) {
  if (!undoManager_ || undoSuspendDepth_ > 0) {
    return;
  }
  // The manager holds its targets weakly; a record not owned by a shared_ptr
  // cannot be a target.
  std::shared_ptr<AudioMetadata> self = weak_from_this().lock();
  if (!self) {
    return;
  }
  undoManager_->registerUndoWithTarget<AudioMetadata>(self, selector, std::move(call));
}

// --- Current values ---------------------------------------------------------------

void AudioMetadata::setMetadataValue(MetadataValuePtr value, const std::string& key) {
  auto it = find(tags_, key);
  MetadataValuePtr previous = it != tags_.end() ? it->second : nullptr;
  if (previous == value) {
    return;
  }
  registerUndo(kSetMetadataValue,
               [previous, key](AudioMetadata& m) { m.setMetadataValue(previous, key); });
  if (value) {
    if (it != tags_.end()) {
      it->second = std::move(value);
    } else {
      store(tags_, key, std::move(value));
    }
  } else {
    tags_.erase(it);
  }
  updateDigest();
}

void AudioMetadata::removeMetadataValueForKey(const std::string& key) {
  auto it = find(tags_, key);
  if (it == tags_.end()) {
    return;
  }
  MetadataValuePtr removed = std::move(it->second);
  tags_.erase(it);
  registerUndo(kSetMetadataValue,
               [removed, key](AudioMetadata& m) { m.setMetadataValue(removed, key); });
  updateDigest();
}

AudioMetadata::MetadataValuePtr AudioMetadata::metadataValueForKey(const std::string& key) const {
  auto it = find(tags_, key);
  return it != tags_.end() ? it->second : nullptr;
}

Object AudioMetadata::metadataObjectValueForKey(const std::string& key) const {
  return metadataObjectValueForkey(key, 0);
}

Object AudioMetadata::metadataObjectValueForkey(const std::string& key, std::size_t index) const {
  auto it = find(tags_, key);
  if (it == tags_.end() || index >= it->second->allValues().size()) {
    return Object();
  }
  return it->second->allValues()[index];
}

std::optional<ObjectList> AudioMetadata::metadataObjectValuesForKey(const std::string& key) const {
  auto it = find(tags_, key);
  if (it == tags_.end()) {
    return std::nullopt;
  }
  return it->second->allValues();
}

void AudioMetadata::setMetadataObjectValue(const Object& value, const std::string& key) {
  setObjectValue(value, key);
}

void AudioMetadata::setMetadataObjectValue(Object&& value, const std::string& key) {
  setObjectValue(std::move(value), key);
}

template <typename Value>
void AudioMetadata::setObjectValue(Value&& value, const std::string& key) {
  auto it = find(tags_, key);
  if (value.isNone() || value.hasZeroLength()) {
    if (it == tags_.end()) {
      return;  // nothing held, nothing to remove
    }
    ObjectList previous = it->second->allValues();
    tags_.erase(it);
    registerUndo(kSetMetadataObjectValues, [previous = std::move(previous), key](AudioMetadata& m) {
      m.setMetadataObjectValues(previous, key);
    });
    updateDigest();
    return;
  }
  ObjectList previous;
  if (it != tags_.end()) {
    previous = it->second->allValues();
    it->second->setValue(value);
    it->second->setType(MetadataValue::TypeUser);
  } else {
    store(
        tags_, key,
        std::make_shared<MetadataValue>(key, std::forward<Value>(value), MetadataValue::TypeUser));
  }
  registerUndo(kSetMetadataObjectValues, [previous = std::move(previous), key](AudioMetadata& m) {
    m.setMetadataObjectValues(previous, key);
  });
  updateDigest();
}

void AudioMetadata::setMetadataObjectValue(const ObjectList& values, const std::string& key) {
  setMetadataObjectValues(values, key);
}

void AudioMetadata::setMetadataObjectValues(const ObjectList& values, const std::string& key) {
  auto it = find(tags_, key);
  if (values.empty()) {
    if (it == tags_.end()) {
      return;
    }
    ObjectList previous = it->second->allValues();
    tags_.erase(it);
    registerUndo(kSetMetadataObjectValues, [previous = std::move(previous), key](AudioMetadata& m) {
      m.setMetadataObjectValues(previous, key);
    });
    updateDigest();
    return;
  }
  ObjectList previous;
  if (it != tags_.end()) {
    MetadataValue& existing = *it->second;
    previous = existing.allValues();
    existing.removeAllValues();
    for (const Object& value : values) {
      existing.addValue(value);
    }
  } else {
    store(tags_, key, std::make_shared<MetadataValue>(key, values, MetadataValue::TypeUser));
  }
  registerUndo(kSetMetadataObjectValues, [previous = std::move(previous), key](AudioMetadata& m) {
    m.setMetadataObjectValues(previous, key);
  });
  updateDigest();
}

void AudioMetadata::addMetadataObjectValue(const Object& value, const std::string& key) {
  if (value.isNone()) {
    return;
  }
  auto it = find(tags_, key);
  if (it != tags_.end()) {
    it->second->addValue(value);
    it->second->setType(MetadataValue::TypeUser);
  } else {
    store(tags_, key, std::make_shared<MetadataValue>(key, value, MetadataValue::TypeUser));
  }
  registerUndo(kRemoveMetadataObjectValue,
               [value, key](AudioMetadata& m) { m.removeMetadataObjectValue(value, key); });
  updateDigest();
}

void AudioMetadata::removeMetadataObjectValue(const Object& value, const std::string& key) {
  if (value.isNone()) {
    return;
  }
  auto it = find(tags_, key);
  if (it == tags_.end()) {
    return;
  }
  ObjectList& values = it->second->allValues();
  auto found = std::find(values.begin(), values.end(), value);
  if (found == values.end()) {
    return;
  }
  Object removed = *found;
  values.erase(found);
  if (values.empty()) {
    tags_.erase(it);
  }
  registerUndo(kAddMetadataObjectValue, [removed = std::move(removed), key](AudioMetadata& m) {
    m.addMetadataObjectValue(removed, key);
  });
  updateDigest();
}

void AudioMetadata::insertMetadataObjectValue(const Object& value, const std::string& key,
                                              std::size_t index) {
  auto it = find(tags_, key);
  if (it == tags_.end() || !it->second->insertValue(value, index)) {
    return;
  }
  registerUndo(kRemoveMetadataObjectValueAtIndex,
               [key, index](AudioMetadata& m) { m.removeMetadataObjectValueForKey(key, index); });
  updateDigest();
}

void AudioMetadata::removeMetadataObjectValueForKey(const std::string& key, std::size_t index) {
  auto it = find(tags_, key);
  if (it == tags_.end()) {
    return;
  }
  MetadataValuePtr holder = it->second;
  ObjectList& values = holder->allValues();
  if (index >= values.size()) {
    return;
  }
  Object removed = values[index];
  values.erase(values.begin() + static_cast<std::ptrdiff_t>(index));
  if (values.empty()) {
    tags_.erase(it);
    // Inserting needs the key to exist, so the last value comes back as a
    // whole MetadataValue of the same origin.
    auto restored = std::make_shared<MetadataValue>(holder->key(), holder->type());
    restored->addValue(removed);
    registerUndo(kSetMetadataValue,
                 [restored, key](AudioMetadata& m) { m.setMetadataValue(restored, key); });
  } else {
    registerUndo(kInsertMetadataObjectValue,
                 [removed = std::move(removed), key, index](AudioMetadata& m) {
                   m.insertMetadataObjectValue(removed, key, index);
                 });
  }
  updateDigest();
}

void AudioMetadata::replaceObjectAtMetadataIndex(std::size_t index, const Object& value,
                                                 const std::string& key) {
  auto it = find(tags_, key);
  if (it == tags_.end()) {
    setMetadataObjectValue(value, key);
    return;
  }
  ObjectList& values = it->second->allValues();
  if (index >= values.size()) {
    addMetadataObjectValue(value, key);
    return;
  }
  if (value.isNone()) {
    // Undoing a removal must put the value back, not overwrite its neighbour,
    // so this takes the removal's own inverse.
    removeMetadataObjectValueForKey(key, index);
    return;
  }
  Object previous = values[index];
  if (!it->second->replaceValue(index, value)) {
    return;
  }
  registerUndo(kReplaceObjectAtMetadataIndex,
               [index, previous = std::move(previous), key](AudioMetadata& m) {
                 m.replaceObjectAtMetadataIndex(index, previous, key);
               });
  updateDigest();
}

std::vector<std::string> AudioMetadata::allMetadataKeys() const {
  std::vector<std::string> keys;
  keys.reserve(tags_.size());
  for (const auto& entry : tags_) {
    keys.push_back(entry.first);
  }
  return keys;
}

bool AudioMetadata::valueForKey(const std::string& key, const AudioMetadata& other) const {
  MetadataValuePtr mine = metadataValueForKey(key);
  MetadataValuePtr theirs = other.metadataValueForKey(key);
  if (mine == theirs) {
    return true;
  }
  return mine && theirs && mine->isEqualToMetadataValue(*theirs);
}

void AudioMetadata::clearAll() {
  DeferredDigest deferred(*this);
  for (const std::string& key : allMetadataKeys()) {
    removeMetadataValueForKey(key);
  }
  // Last first: undo re-appends them in reverse order of removal, which is
  // then their original order.
  const std::vector<AlbumArtworkPtr> artworks(artworks_);
  for (auto artwork = artworks.rbegin(); artwork != artworks.rend(); ++artwork) {
    removeArtwork(*artwork);
  }
}

Object AudioMetadata::sourceValueForKey(const std::string& sourceKey) const {
  if (sourceKey == "_BITRATE") return numberOrNone(sourceBitrate_);
  if (sourceKey == "_BITRATEMETHOD") return textOrNone(sourceBitrateMode_);
  if (sourceKey == "_CHANNELMODE") return textOrNone(sourceChannelMode_);
  if (sourceKey == "_CHANNELS") return numberOrNone(sourceChannels_);
  if (sourceKey == "_FILEDATECREATED") return dateOrNone(sourceDateCreated_);
  if (sourceKey == "_FILEDATEMODIFIED") return dateOrNone(sourceDateModified_);
  if (sourceKey == "_FILEEXTENSION") return textOrNone(sourceFileExtension());
  if (sourceKey == "_FILEFORMAT") return textOrNone(sourceFormat_);
  if (sourceKey == "_FILEFULLPATH") return textOrNone(sourceLocation_);
  if (sourceKey == "_FILEKIND") return textOrNone(sourceKind_);
  if (sourceKey == "_FILELENGTH") {
    return sourceLength_ ? Object(Number(*sourceLength_)) : Object();
  }
  if (sourceKey == "_FILENAME") return textOrNone(sourceFilename());
  if (sourceKey == "_FILESIZE") return numberOrNone(sourceFileSize_);
  if (sourceKey == "_SAMPLERATE") return numberOrNone(sourceSampleRate_);
  if (sourceKey == "_SAMPLESIZE") return numberOrNone(sourceSampleSize_);
  if (sourceKey == "_TAGFORMAT") return textOrNone(sourceTagFormat_);
  return Object();
}

// --- Preview values -----------------------------------------------------------------

AudioMetadata::MetadataValuePtr AudioMetadata::previewValueForKey(const std::string& key) const {
  auto it = find(previewTags_, key);
  return it != previewTags_.end() ? it->second : nullptr;
}

void AudioMetadata::setPreviewValue(MetadataValuePtr value, const std::string& key) {
  if (value) {
    store(previewTags_, key, std::move(value));
  } else {
    erase(previewTags_, key);
  }
}

Object AudioMetadata::previewObjectValueForKey(const std::string& key) const {
  return previewObjectValueForkey(key, 0);
}

Object AudioMetadata::previewObjectValueForkey(const std::string& key, std::size_t index) const {
  auto it = find(previewTags_, key);
  if (it == previewTags_.end() || index >= it->second->allValues().size()) {
    return Object();
  }
  return it->second->allValues()[index];
}

std::optional<ObjectList> AudioMetadata::previewObjectValuesForKey(const std::string& key) const {
  auto it = find(previewTags_, key);
  if (it == previewTags_.end()) {
    return std::nullopt;
  }
  return it->second->allValues();
}

void AudioMetadata::setPreviewObjectValue(const Object& value, const std::string& key) {
  if (value.isNone() || value.hasZeroLength()) {
    erase(previewTags_, key);
    return;
  }
  if (auto it = find(previewTags_, key); it != previewTags_.end()) {
    it->second->setValue(value);
  } else {
    store(previewTags_, key,
          std::make_shared<MetadataValue>(key, value, MetadataValue::TypePreview));
  }
}

void AudioMetadata::setPreviewObjectValue(const ObjectList& values, const std::string& key) {
  setPreviewObjectValues(values, key);
}

void AudioMetadata::addPreviewObjectValue(const Object& value, const std::string& key) {
  if (value.isNone()) {
    return;
  }
  if (auto it = find(previewTags_, key); it != previewTags_.end()) {
    it->second->addValue(value);
  } else {
    store(previewTags_, key,
          std::make_shared<MetadataValue>(key, value, MetadataValue::TypePreview));
  }
}

void AudioMetadata::insertPreviewObjectValue(const Object& value, const std::string& key,
                                             std::size_t index) {
  if (auto it = find(previewTags_, key); it != previewTags_.end()) {
    it->second->insertValue(value, index);
  }
}

void AudioMetadata::removePreviewObjectValueForKey(const std::string& key, std::size_t index) {
  auto it = find(previewTags_, key);
  if (it == previewTags_.end()) {
    return;
  }
  ObjectList& values = it->second->allValues();
  if (index >= values.size()) {
    return;
  }
  values.erase(values.begin() + static_cast<std::ptrdiff_t>(index));
  if (values.empty()) {
    previewTags_.erase(it);
  }
}

void AudioMetadata::setPreviewObjectValues(const ObjectList& values, const std::string& key) {
  if (auto it = find(previewTags_, key); it != previewTags_.end()) {
    MetadataValue& existing = *it->second;
    existing.removeAllValues();
    for (const Object& value : values) {
      existing.addValue(value);
    }
  } else {
    store(previewTags_, key,
          std::make_shared<MetadataValue>(key, values, MetadataValue::TypePreview));
  }
}

void AudioMetadata::removePreviewValueForKey(const std::string& key) { erase(previewTags_, key); }

std::vector<std::string> AudioMetadata::allPreviewKeys() const {
  std::vector<std::string> keys;
  keys.reserve(previewTags_.size());
  for (const auto& entry : previewTags_) {
    keys.push_back(entry.first);
  }
  return keys;
}

// --- Artworks -----------------------------------------------------------------------

std::vector<AlbumArtworkPtr>::iterator AudioMetadata::findArtwork(const AlbumArtworkPtr& artwork) {
  return std::find(artworks_.begin(), artworks_.end(), artwork);
}

void AudioMetadata::setArtwork(const AlbumArtworkPtr& artwork) {
  if (!artwork) {
    return;
  }
  std::vector<AlbumArtworkPtr> previous = std::move(artworks_);
  artworks_.assign(1, artwork);
  // A group performs its tasks last to first: registering the additions in
  // reverse and the removal last makes undo remove the new artwork first and
  // then add the previous ones back in their order.
  for (auto it = previous.rbegin(); it != previous.rend(); ++it) {
    registerUndo(kAddArtwork, [old = *it](AudioMetadata& m) { m.addArtwork(old); });
  }
  registerUndo(kRemoveArtwork, [artwork](AudioMetadata& m) { m.removeArtwork(artwork); });
  updateDigest();
}

void AudioMetadata::addArtwork(const AlbumArtworkPtr& artwork) {
  if (!artwork) {
    return;
  }
  artworks_.push_back(artwork);
  registerUndo(kRemoveArtwork, [artwork](AudioMetadata& m) { m.removeArtwork(artwork); });
  updateDigest();
}

void AudioMetadata::addArtworks(const std::vector<AlbumArtworkPtr>& artworks) {
  std::vector<AlbumArtworkPtr> added;
  added.reserve(artworks.size());
  for (const AlbumArtworkPtr& artwork : artworks) {
    if (artwork) {
      added.push_back(artwork);
    }
  }
  if (added.empty()) {
    return;
  }
  artworks_.insert(artworks_.end(), added.begin(), added.end());
  registerUndo(kRemoveArtworks,
               [added = std::move(added)](AudioMetadata& m) { m.removeArtworks(added); });
  updateDigest();
}

void AudioMetadata::removeArtwork(const AlbumArtworkPtr& artwork) {
  if (!artwork) {
    return;
  }
  auto end = std::remove(artworks_.begin(), artworks_.end(), artwork);
  if (end == artworks_.end()) {
    return;
  }
  artworks_.erase(end, artworks_.end());
  registerUndo(kAddArtwork, [artwork](AudioMetadata& m) { m.addArtwork(artwork); });
  updateDigest();
}

void AudioMetadata::removeArtworks(const std::vector<AlbumArtworkPtr>& artworks) {
  std::vector<AlbumArtworkPtr> removed;
  std::vector<AlbumArtworkPtr> kept;
  kept.reserve(artworks_.size());
  for (AlbumArtworkPtr& held : artworks_) {
    bool remove = std::find(artworks.begin(), artworks.end(), held) != artworks.end();
    (remove ? removed : kept).push_back(std::move(held));
  }
  artworks_ = std::move(kept);
  if (removed.empty()) {
    return;
  }
  registerUndo(kAddArtworks,
               [removed = std::move(removed)](AudioMetadata& m) { m.addArtworks(removed); });
  updateDigest();
}

void AudioMetadata::removeAllArtwork() { removeArtworks(std::vector<AlbumArtworkPtr>(artworks_)); }

void AudioMetadata::replaceArtwork(const AlbumArtworkPtr& artwork,
                                   const AlbumArtworkPtr& replacement) {
  if (!artwork || !replacement || artwork == replacement) {
    return;
  }
  auto it = findArtwork(artwork);
  if (it == artworks_.end()) {
    return;
  }
  *it = replacement;
  registerUndo(kReplaceArtwork, [artwork, replacement](AudioMetadata& m) {
    m.replaceArtwork(replacement, artwork);
  });
  updateDigest();
}

void AudioMetadata::setAlbumArtworkType(std::uint32_t type, const AlbumArtworkPtr& artwork) {
  if (!artwork || findArtwork(artwork) == artworks_.end()) {
    return;
  }
  std::uint32_t previous = artwork->artworkType();
  artwork->setArtworkType(type);
  registerUndo(kSetAlbumArtworkType,
               [previous, artwork](AudioMetadata& m) { m.setAlbumArtworkType(previous, artwork); });
  updateDigest();
}

void AudioMetadata::setAlbumArtworkComments(std::optional<std::string> comments,
                                            const AlbumArtworkPtr& artwork) {
  if (!artwork || findArtwork(artwork) == artworks_.end()) {
    return;
  }
  std::optional<std::string> previous = artwork->comments();
  artwork->setComments(std::move(comments));
  registerUndo(kSetAlbumArtworkComments,
               [previous = std::move(previous), artwork](AudioMetadata& m) {
                 m.setAlbumArtworkComments(previous, artwork);
               });
  updateDigest();
}

// --- Digests ------------------------------------------------------------------------

std::string AudioMetadata::calculateMD5() const {
  const std::vector<std::uint32_t>& order = keyOrder(tags_);
  std::string text;
  text.reserve(64 * tags_.size() + 48 * artworks_.size());
  for (std::uint32_t index : order) {
    const Entry* entry = &tags_[index];
    for (const Object& value : entry->second->allValues()) {
      text += entry->first;
      text += '1';
      if (value.isText()) {
        text += value.text();
      } else if (value.isNumber()) {
        text += value.number().stringValue();
      } else if (value.isData()) {
        text += md5Hex(value.data());
      }
    }
  }

  std::uint64_t counter = 1;
  for (const AlbumArtworkPtr& artwork : artworks_) {
    text += std::to_string(counter);
    text += artwork->md5();
    text += std::to_string(counter + 1);
    text += std::to_string(artwork->artworkType());
    text += std::to_string(counter + 2);
    if (artwork->comments()) {
      text += *artwork->comments();
    }
    counter += 3;
  }
  return md5Hex(text);
}

void AudioMetadata::takeOriginalDigest() {
  digestPending_ = false;
  currentMetadataMD5_ = calculateMD5();
  originalMetadataMD5_ = currentMetadataMD5_;
}

bool AudioMetadata::metadataNeedsSaving() const {
  if (originalMetadataMD5_.empty() || currentMetadataMD5_.empty()) {
    return true;
  }
  return originalMetadataMD5_ != currentMetadataMD5_;
}

// --- Import -------------------------------------------------------------------------

void AudioMetadata::importMetadataFromDictionary(const PlistDict& dictionary) {
  importEntries(dictionary);
}

void AudioMetadata::importMetadataFromDictionary(PlistDict&& dictionary) {
  importEntries(dictionary);
}

template <typename Dictionary>
void AudioMetadata::importEntries(Dictionary& dictionary) {
  DeferredDigest deferred(*this);
  // Clearing is taking the content out whole: one inverse that puts these
  // very objects back restores what clearAll's per-key inverses would, at a
  // fraction of the cost for a library of records.
  Entries previousTags = std::exchange(tags_, Entries());
  std::vector<AlbumArtworkPtr> previousArtworks = std::exchange(artworks_, {});
  tags_.reserve(dictionary.size());
  {
    struct Resume {
      std::uint32_t& depth;
      ~Resume() { --depth; }
    } resume{++undoSuspendDepth_};
    for (auto& [key, value] : dictionary) {
      if (key == kArtworkKey) {
        auto restore = [this](const PlistValue& archive) {
          if (const auto* data = archive.template get<Data>()) {
            if (AlbumArtworkPtr artwork = AlbumArtwork::fromArchivedData(*data)) {
              addArtwork(artwork);
            }
          }
        };
        if (const auto* list = value.template get<PlistArray>()) {
          for (const PlistValue& archive : *list) {
            restore(archive);
          }
        } else {
          restore(value);
        }
        continue;
      }
      if (auto* list = value.template get<PlistArray>()) {
        ObjectList values;
        values.reserve(list->size());
        for (auto& element : *list) {
          if (auto object = objectFromPlist(element)) {
            values.push_back(std::move(*object));
          }
        }
        setMetadataObjectValues(values, key);
      } else if (auto object = objectFromPlist(value)) {
        setMetadataObjectValue(std::move(*object), key);
      }
    }
  }
  if (previousTags.empty() && previousArtworks.empty() && tags_.empty() && artworks_.empty()) {
    return;  // nothing removed, nothing set
  }
  registerUndo(kSetContents,
               [tags = std::move(previousTags), artworks = std::move(previousArtworks)](
                   AudioMetadata& m) { m.setContents(tags, artworks); });
  updateDigest();
}

void AudioMetadata::setContents(Entries tags, std::vector<AlbumArtworkPtr> artworks) {
  Entries replacedTags = std::exchange(tags_, std::move(tags));
  std::vector<AlbumArtworkPtr> replacedArtworks = std::exchange(artworks_, std::move(artworks));
  registerUndo(kSetContents,
               [tags = std::move(replacedTags), artworks = std::move(replacedArtworks)](
                   AudioMetadata& m) { m.setContents(tags, artworks); });
  updateDigest();
}

// --- File ---------------------------------------------------------------------------

std::optional<std::string> AudioMetadata::sourceFilename() const {
  if (!sourceLocation_) {
    return std::nullopt;
  }
  std::string_view path = *sourceLocation_;
  // The last component ignores trailing slashes, as a path's last component does.
  while (path.size() > 1 && path.back() == '/') {
    path.remove_suffix(1);
  }
  std::size_t slash = path.rfind('/');
  if (slash == std::string_view::npos || path.size() == 1) {
    return std::string(path);
  }
  return std::string(path.substr(slash + 1));
}

std::optional<std::string> AudioMetadata::sourceFileExtension() const {
  std::optional<std::string> name = sourceFilename();
  if (!name) {
    return std::nullopt;
  }
  std::size_t dot = name->rfind('.');
  // A leading dot names a hidden file, not an extension.
  if (dot == std::string::npos || dot == 0) {
    return std::string();
  }
  return name->substr(dot + 1);
}

std::string AudioMetadata::previewItemURL() const {
  if (!sourceLocation_) {
    return std::string();
  }
  return "file://" + percentEncodedPath(*sourceLocation_);
}

std::optional<std::string> AudioMetadata::previewItemTitle() const {
  return metadataObjectValueForKey("TRACKTITLE").stringValue();
}

}  // namespace quorvel
