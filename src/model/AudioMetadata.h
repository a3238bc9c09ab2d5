#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "model/AlbumArtwork.h"
#include "model/MetadataValue.h"
#include "platform/PropertyList.h"
#include "support/Value.h"

namespace quorvel {

class ZRUndoManager;

// One audio file of the open list: its tag values under canonical keys, its
// artworks, the preview values of batch functions, the audio and file
// properties found when it was read, and the digests that tell whether it
// needs saving.
//
// Records are shared objects: create them with std::make_shared, since every
// change registers its inverse with the attached undo manager, which refers to
// the record weakly (a record not owned by a shared_ptr registers nothing).
// Every change of values or artworks recomputes currentMetadataMD5; preview
// operations and source properties never do.
//
// Not thread-safe: one thread at a time may use a record (the main thread, or
// the one worker that holds it while the main thread accepts no edits).
class AudioMetadata : public std::enable_shared_from_this<AudioMetadata> {
 public:
  using MetadataValuePtr = std::shared_ptr<MetadataValue>;
  using TimePoint = std::chrono::system_clock::time_point;

  AudioMetadata();
  ~AudioMetadata();
  AudioMetadata(const AudioMetadata&) = delete;
  AudioMetadata& operator=(const AudioMetadata&) = delete;

  // --- Undo -----------------------------------------------------------------

  // The manager that receives the inverse of every change; none registers
  // nothing.
  const std::shared_ptr<ZRUndoManager>& undoManager() const { return undoManager_; }
  void setUndoManager(std::shared_ptr<ZRUndoManager> manager) { undoManager_ = std::move(manager); }

  // --- Current values (each change registers its inverse) -------------------

  // Stores `value` under `key`; none removes the key; storing the object
  // already stored does nothing. Inverse: setMetadataValue with the previous object.
  void setMetadataValue(MetadataValuePtr value, const std::string& key);
  // Removes the key. Inverse: setMetadataValue with the removed object.
  void removeMetadataValueForKey(const std::string& key);
  // The stored object, or none.
  MetadataValuePtr metadataValueForKey(const std::string& key) const;
  // The first value, or none.
  Object metadataObjectValueForKey(const std::string& key) const;
  // The value at `index`, or none when the key is missing or the index out of range.
  Object metadataObjectValueForkey(const std::string& key, std::size_t index) const;
  Object metadataObjectValueForKey(const std::string& key, std::size_t index) const {
    return metadataObjectValueForkey(key, index);
  }
  // A copy of the value list, or none when the key is missing.
  std::optional<ObjectList> metadataObjectValuesForKey(const std::string& key) const;
  // None or a value of length 0 (empty text or data) removes the key; else the
  // existing MetadataValue gets this one value and type 128, or a new one of
  // type 128 is stored. Inverse: setMetadataObjectValues with the previous list.
  void setMetadataObjectValue(const Object& value, const std::string& key);
  // The same, moving `value` into a new MetadataValue instead of copying it.
  void setMetadataObjectValue(Object&& value, const std::string& key);
  // A list argument: same as setMetadataObjectValues.
  void setMetadataObjectValue(const ObjectList& values, const std::string& key);
  // An empty list removes the key; else the existing MetadataValue is emptied
  // and refilled value by value (its type stays), or a new one of type 128 is
  // stored. Inverse: setMetadataObjectValues with the previous list.
  void setMetadataObjectValues(const ObjectList& values, const std::string& key);
  // Appends (converted to the kind held) and sets the type to 128, or stores a
  // new MetadataValue of type 128; none does nothing. Inverse:
  // removeMetadataObjectValue.
  void addMetadataObjectValue(const Object& value, const std::string& key);
  // Removes the first value equal to `value`, dropping the key when none is
  // left. None or a missing key or value changes nothing and registers nothing.
  // Inverse: addMetadataObjectValue.
  void removeMetadataObjectValue(const Object& value, const std::string& key);
  // Inserts (converted to the kind held) when the key exists and index <= count;
  // otherwise nothing. Inverse: removeMetadataObjectValueForKey at the index.
  void insertMetadataObjectValue(const Object& value, const std::string& key, std::size_t index);
  // Removes the value at `index` when the key exists and index < count,
  // dropping the key when none is left. Inverse: insertMetadataObjectValue of
  // the removed value (setMetadataValue of the restored value when the key was dropped).
  void removeMetadataObjectValueForKey(const std::string& key, std::size_t index);
  // Missing key: setMetadataObjectValue. index < count: replaces the value
  // (converted to the kind held), or with none removes it as
  // removeMetadataObjectValueForKey does. index >= count: addMetadataObjectValue.
  // Inverse of a replacement: replaceObjectAtMetadataIndex with the previous value.
  void replaceObjectAtMetadataIndex(std::size_t index, const Object& value, const std::string& key);
  // The keys present, in byte-wise order.
  std::vector<std::string> allMetadataKeys() const;
  // Number of keys present.
  std::size_t metadataKeyCount() const { return tags_.size(); }
  // True when both records hold the very same object under `key` (none in
  // both counts), or equal MetadataValues.
  bool valueForKey(const std::string& key, const AudioMetadata& other) const;
  // Removes every key (removeMetadataValueForKey) and every artwork (removeArtwork).
  void clearAll();

  // --- Generic key access (table columns, format strings) -------------------

  // metadataObjectValueForKey(key). Source keys ("_FILENAME") are not tags:
  // read them with sourceValueForKey.
  Object valueForKey(const std::string& key) const { return metadataObjectValueForKey(key); }
  // setMetadataObjectValue(value, key).
  void setValueForKey(const Object& value, const std::string& key) {
    setMetadataObjectValue(value, key);
  }
  void setValueForKey(const ObjectList& values, const std::string& key) {
    setMetadataObjectValue(values, key);
  }
  // The raw property named by a source key ("_FILENAME" -> sourceFilename,
  // "_FILEEXTENSION" -> extension of sourceLocation without the dot, dates as
  // seconds since 1970 as a Number). None for an absent property or a key that
  // is not a source key.
  Object sourceValueForKey(const std::string& sourceKey) const;

  // --- Preview values (no undo, no digest) ----------------------------------

  MetadataValuePtr previewValueForKey(const std::string& key) const;
  // None removes the key.
  void setPreviewValue(MetadataValuePtr value, const std::string& key);
  Object previewObjectValueForKey(const std::string& key) const;
  Object previewObjectValueForkey(const std::string& key, std::size_t index) const;
  std::optional<ObjectList> previewObjectValuesForKey(const std::string& key) const;
  // None or length 0 removes; else the existing preview value gets this one
  // value (type unchanged), or a new one of type 256 is stored.
  void setPreviewObjectValue(const Object& value, const std::string& key);
  void setPreviewObjectValue(const ObjectList& values, const std::string& key);
  // Appends, or stores a new preview value of type 256; none does nothing.
  void addPreviewObjectValue(const Object& value, const std::string& key);
  // Only into an existing preview value, index <= count.
  void insertPreviewObjectValue(const Object& value, const std::string& key, std::size_t index);
  // index < count; drops the key when none is left.
  void removePreviewObjectValueForKey(const std::string& key, std::size_t index);
  // Stores the list, even an empty one: an existing preview value is emptied
  // and refilled, else a new one of type 256 is stored.
  void setPreviewObjectValues(const ObjectList& values, const std::string& key);
  void removePreviewValueForKey(const std::string& key);
  // The preview keys, in byte-wise order.
  std::vector<std::string> allPreviewKeys() const;
  // Drops every preview value.
  void removeAllPreviewValues() { previewTags_.clear(); }

  // --- Artworks (identity is the object; each change registers its inverse) -

  const std::vector<AlbumArtworkPtr>& artworks() const { return artworks_; }
  // The list becomes exactly `artwork`; none does nothing. Inverse:
  // removeArtwork of the new one, then addArtwork of each previous one in order.
  void setArtwork(const AlbumArtworkPtr& artwork);
  // Appends; none does nothing. Inverse: removeArtwork.
  void addArtwork(const AlbumArtworkPtr& artwork);
  // Appends each (none skipped). Inverse: removeArtworks.
  void addArtworks(const std::vector<AlbumArtworkPtr>& artworks);
  // Removes every occurrence; none or an artwork not held does nothing.
  // Inverse: addArtwork (so undo appends it at the end).
  void removeArtwork(const AlbumArtworkPtr& artwork);
  // Removes every occurrence of each. Inverse: addArtworks of those removed,
  // in their former order.
  void removeArtworks(const std::vector<AlbumArtworkPtr>& artworks);
  // removeArtworks with a copy of the whole list.
  void removeAllArtwork();
  // When `artwork` is held, puts `replacement` at its (first) place. Inverse:
  // the reverse replacement.
  void replaceArtwork(const AlbumArtworkPtr& artwork, const AlbumArtworkPtr& replacement);
  // Only for an artwork held. Inverse: the previous type.
  void setAlbumArtworkType(std::uint32_t type, const AlbumArtworkPtr& artwork);
  // Only for an artwork held. Inverse: the previous comments.
  void setAlbumArtworkComments(std::optional<std::string> comments, const AlbumArtworkPtr& artwork);
  bool metadataHasArtwork() const { return !artworks_.empty(); }

  // --- Digests --------------------------------------------------------------

  // MD5 (32 lower-case hex digits) of the values and artworks: keys in the
  // locale's case-insensitive order, each value as key + "1" + text (data as
  // its MD5 hex, numbers in decimal), then per artwork c + md5, c+1 + type,
  // c+2 + comments with c = 1, 4, 7, ...
  std::string calculateMD5() const;
  // Empty until taken.
  const std::string& originalMetadataMD5() const { return originalMetadataMD5_; }
  void setOriginalMetadataMD5(std::string digest) { originalMetadataMD5_ = std::move(digest); }
  const std::string& currentMetadataMD5() const { return currentMetadataMD5_; }
  void setCurrentMetadataMD5(std::string digest) { currentMetadataMD5_ = std::move(digest); }
  // Sets both digests to calculateMD5(): after reading and after a successful write.
  void takeOriginalDigest();
  // True when the digests differ, or either was never taken.
  bool metadataNeedsSaving() const;

  // While one exists, changes to the record skip recomputing currentMetadataMD5;
  // it is recomputed once when the last one ends, if anything changed. For
  // code that makes many changes at once (readers filling a record, imports):
  // a digest per change would cost more than the changes. Same thread as the
  // record's other operations; must not outlive the record.
  class DeferredDigest {
   public:
    explicit DeferredDigest(AudioMetadata& record);
    ~DeferredDigest();
    DeferredDigest(const DeferredDigest&) = delete;
    DeferredDigest& operator=(const DeferredDigest&) = delete;

   private:
    AudioMetadata& record_;
  };

  // --- Import -----------------------------------------------------------------

  // clearAll, then each entry: "ARTWORK" holds one archived artwork (Data) or a
  // list of them, each restored and added (anything else there adds nothing);
  // any other key is set with setMetadataObjectValue (text, integer or real ->
  // Number, data, boolean -> 0/1, array -> several values; other kinds ignored).
  // The whole import registers one inverse, which puts back the previous
  // MetadataValues and artworks as they were (and whose own inverse puts the
  // imported ones back), and recomputes the digest once.
  void importMetadataFromDictionary(const PlistDict& dictionary);
  // The same, moving the values out of `dictionary` instead of copying them.
  void importMetadataFromDictionary(PlistDict&& dictionary);

  // --- Source properties (read-only file and audio properties) -------------

  const std::optional<std::string>& sourceKind() const { return sourceKind_; }
  void setSourceKind(std::optional<std::string> v) { sourceKind_ = std::move(v); }
  const std::optional<std::string>& sourceFormat() const { return sourceFormat_; }
  void setSourceFormat(std::optional<std::string> v) { sourceFormat_ = std::move(v); }
  // Seconds: whole from TagLib, fractional from the platform reader.
  const std::optional<double>& sourceLength() const { return sourceLength_; }
  void setSourceLength(std::optional<double> v) { sourceLength_ = v; }
  const std::optional<Number>& sourceFileSize() const { return sourceFileSize_; }
  void setSourceFileSize(std::optional<Number> v) { sourceFileSize_ = v; }
  const std::optional<Number>& sourceSampleSize() const { return sourceSampleSize_; }
  void setSourceSampleSize(std::optional<Number> v) { sourceSampleSize_ = v; }
  const std::optional<Number>& sourceSampleRate() const { return sourceSampleRate_; }
  void setSourceSampleRate(std::optional<Number> v) { sourceSampleRate_ = v; }
  const std::optional<Number>& sourceBitrate() const { return sourceBitrate_; }
  void setSourceBitrate(std::optional<Number> v) { sourceBitrate_ = v; }
  const std::optional<std::string>& sourceBitrateMode() const { return sourceBitrateMode_; }
  void setSourceBitrateMode(std::optional<std::string> v) { sourceBitrateMode_ = std::move(v); }
  const std::optional<Number>& sourceChannels() const { return sourceChannels_; }
  void setSourceChannels(std::optional<Number> v) { sourceChannels_ = v; }
  const std::optional<std::string>& sourceChannelMode() const { return sourceChannelMode_; }
  void setSourceChannelMode(std::optional<std::string> v) { sourceChannelMode_ = std::move(v); }
  const std::optional<std::string>& sourceTagFormat() const { return sourceTagFormat_; }
  void setSourceTagFormat(std::optional<std::string> v) { sourceTagFormat_ = std::move(v); }
  const std::optional<std::string>& sourceEncodedWith() const { return sourceEncodedWith_; }
  void setSourceEncodedWith(std::optional<std::string> v) { sourceEncodedWith_ = std::move(v); }
  const std::optional<TimePoint>& sourceDateModified() const { return sourceDateModified_; }
  void setSourceDateModified(std::optional<TimePoint> v) { sourceDateModified_ = v; }
  const std::optional<TimePoint>& sourceDateCreated() const { return sourceDateCreated_; }
  void setSourceDateCreated(std::optional<TimePoint> v) { sourceDateCreated_ = v; }
  // Full path of the file.
  const std::optional<std::string>& sourceLocation() const { return sourceLocation_; }
  void setSourceLocation(std::optional<std::string> v) { sourceLocation_ = std::move(v); }
  // Last path component of sourceLocation; none when there is no location.
  std::optional<std::string> sourceFilename() const;
  // Extension of the file name without the dot; empty when it has none.
  std::optional<std::string> sourceFileExtension() const;

  // --- Quick look -------------------------------------------------------------

  // "file://" URL of sourceLocation (percent-encoded); empty without a location.
  std::string previewItemURL() const;
  // The first "TRACKTITLE" value as text, or none.
  std::optional<std::string> previewItemTitle() const;

 private:
  using Entry = std::pair<std::string, MetadataValuePtr>;
  using Entries = std::vector<Entry>;  // sorted by key, byte-wise

  static Entries::iterator find(Entries& entries, const std::string& key);
  static Entries::const_iterator find(const Entries& entries, const std::string& key);
  // Stores or replaces the entry; `value` must not be null.
  static void store(Entries& entries, const std::string& key, MetadataValuePtr value);
  static void erase(Entries& entries, const std::string& key);

  // Records `call` as the inverse of the change being made, when a manager is
  // attached and the record is owned by a shared_ptr.
  void registerUndo(const char* selector, std::function<void(AudioMetadata&)> call);
  // Recomputes currentMetadataMD5, or, while a DeferredDigest lives, once at its end.
  void updateDigest();
  // setMetadataObjectValue for an lvalue or an rvalue `value`.
  template <typename Value>
  void setObjectValue(Value&& value, const std::string& key);
  // The import, reading from or consuming `dictionary` (PlistDict or const PlistDict).
  template <typename Dictionary>
  void importEntries(Dictionary& dictionary);
  // Makes `tags` and `artworks` the whole content and registers the content
  // they replace as the inverse.
  void setContents(Entries tags, std::vector<AlbumArtworkPtr> artworks);
  std::vector<AlbumArtworkPtr>::iterator findArtwork(const AlbumArtworkPtr& artwork);

  Entries tags_;
  std::vector<AlbumArtworkPtr> artworks_;
  Entries previewTags_;
  std::optional<std::string> sourceKind_;
  std::optional<std::string> sourceFormat_;
  std::optional<double> sourceLength_;
  std::optional<Number> sourceFileSize_;
  std::optional<Number> sourceSampleSize_;
  std::optional<Number> sourceSampleRate_;
  std::optional<Number> sourceBitrate_;
  std::optional<std::string> sourceBitrateMode_;
  std::optional<Number> sourceChannels_;
  std::optional<std::string> sourceChannelMode_;
  std::optional<std::string> sourceTagFormat_;
  std::optional<std::string> sourceEncodedWith_;
  std::optional<TimePoint> sourceDateModified_;
  std::optional<TimePoint> sourceDateCreated_;
  std::optional<std::string> sourceLocation_;
  std::string originalMetadataMD5_;
  std::string currentMetadataMD5_;
  std::shared_ptr<ZRUndoManager> undoManager_;
  std::uint32_t digestBatchDepth_ = 0;
  // While above 0, changes register nothing: an operation made of other
  // operations registers one inverse of its own instead.
  std::uint32_t undoSuspendDepth_ = 0;
  bool digestPending_ = false;
};

using AudioMetadataPtr = std::shared_ptr<AudioMetadata>;

}  // namespace quorvel
