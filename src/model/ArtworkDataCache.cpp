#include "model/ArtworkDataCache.h"

#include <condition_variable>
#include <cstring>
#include <functional>
#include <memory>
#include <mutex>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "support/MD5.h"

namespace quorvel {

namespace {

struct Entry {
  std::weak_ptr<const ByteBuffer> buffer;
  std::string md5;
  // The image header, once asked for (readHeader's none is remembered too).
  bool headerRead = false;
  std::optional<ImageCodec::Header> header;
};

// Keyed twice: by a fast hash of the contents to find equal bytes, and by
// buffer address so that a buffer handed out before is recognised without
// reading it again. An address is trusted only while its weak reference is
// alive, since a freed buffer's address may be reused by another. Each entry
// keeps the MD5 digest of its bytes: an album repeats its cover in every
// track, and hashing each copy with MD5 again would cost more than reading it.
class Cache {
 public:
  // A key for finding equal bytes: the size and a hash of samples spread over
  // the bytes. Equal bytes always have equal keys; candidates are compared in
  // full, so the key only has to tell most different pictures apart, and
  // reading all of a cover for it would cost as much as the comparison.
  static std::size_t sampleKey(std::string_view bytes) {
    constexpr std::size_t kEnds = 4096;
    constexpr std::size_t kSamples = 64;
    constexpr std::size_t kSampleSize = 64;
    if (bytes.size() <= 2 * kEnds + kSamples * kSampleSize) {
      return std::hash<std::string_view>{}(bytes);
    }
    std::string sample;
    sample.reserve(2 * kEnds + kSamples * kSampleSize + sizeof(std::size_t));
    sample.append(bytes.substr(0, kEnds));
    sample.append(bytes.substr(bytes.size() - kEnds));
    const std::size_t step = (bytes.size() - 2 * kEnds) / kSamples;
    for (std::size_t i = 0; i < kSamples; ++i) {
      sample.append(bytes.substr(kEnds + i * step, kSampleSize));
    }
    const std::size_t size = bytes.size();
    sample.append(reinterpret_cast<const char*>(&size), sizeof size);
    return std::hash<std::string_view>{}(sample);
  }

  Data intern(const Data& data, std::string* md5Out) {
    if (data.empty()) {
      if (md5Out) {
        *md5Out = md5Hex(data);
      }
      return data;
    }
    {
      std::lock_guard lock(mutex_);
      if (auto known = byAddress_.find(data.identity()); known != byAddress_.end()) {
        if (known->second.buffer.lock() == data.sharedBuffer()) {
          if (md5Out) {
            *md5Out = known->second.md5;
          }
          return data;
        }
      }
    }
    // Hash outside the lock: readers on several threads should not queue
    // behind each other's half-megabyte covers.
    const std::size_t contentKey = sampleKey(data.view());
    if (auto held = findEqualOrClaim(contentKey, data.view(), md5Out)) {
      return Data(std::move(held));
    }
    return insertNew(data, contentKey, md5Out);
  }

  Data intern(std::string_view bytes, std::string* md5Out) {
    if (bytes.empty()) {
      return intern(Data(), md5Out);
    }
    const std::size_t contentKey = sampleKey(bytes);
    if (auto held = findEqualOrClaim(contentKey, bytes, md5Out)) {
      return Data(std::move(held));
    }
    return insertNew(Data(bytes.data(), bytes.size()), contentKey, md5Out);
  }

  std::optional<ImageCodec::Header> headerOf(const Data& data) {
    {
      std::lock_guard lock(mutex_);
      if (Entry* entry = liveEntryFor(data); entry && entry->headerRead) {
        return entry->header;
      }
    }
    // Parsed outside the lock, like the digest.
    auto header = ImageCodec::readHeader(data);
    std::lock_guard lock(mutex_);
    if (Entry* entry = liveEntryFor(data)) {
      entry->headerRead = true;
      entry->header = header;
    }
    return header;
  }

  std::size_t liveEntryCount() {
    std::lock_guard lock(mutex_);
    sweep();
    return byAddress_.size();
  }

 private:
  // The entry of the very buffer `data` holds, while it lives, or null.
  // Called with the mutex held.
  Entry* liveEntryFor(const Data& data) {
    if (data.empty()) {
      return nullptr;
    }
    auto known = byAddress_.find(data.identity());
    if (known == byAddress_.end() || known->second.buffer.lock() != data.sharedBuffer()) {
      return nullptr;
    }
    return &known->second;
  }

  // A live buffer equal to `bytes`, or null after claiming `contentKey` for
  // the caller, who must then call insertNew. Readers on several threads meet
  // the same new cover at the same moment (the tracks of an album are read
  // side by side): one hashes it while the others wait for its entry rather
  // than hash the same bytes again.
  std::shared_ptr<const ByteBuffer> findEqualOrClaim(std::size_t contentKey, std::string_view bytes,
                                                     std::string* md5Out) {
    std::unique_lock lock(mutex_);
    for (;;) {
      if (auto held = findEqual(contentKey, bytes, md5Out)) {
        return held;
      }
      if (!hashing_.contains(contentKey)) {
        hashing_.insert(contentKey);
        return nullptr;
      }
      hashed_.wait(lock);
    }
  }

  // Remembers `data`, bytes no live buffer holds yet, and releases the claim
  // on `contentKey`.
  Data insertNew(const Data& data, std::size_t contentKey, std::string* md5Out) {
    std::string digest;
    try {
      digest = md5Hex(data);
    } catch (...) {
      std::lock_guard lock(mutex_);
      hashing_.erase(contentKey);
      hashed_.notify_all();
      throw;
    }
    if (md5Out) {
      *md5Out = digest;
    }
    std::lock_guard lock(mutex_);
    hashing_.erase(contentKey);
    hashed_.notify_all();
    byContent_[contentKey].push_back(Entry{data.sharedBuffer(), digest, false, std::nullopt});
    byAddress_[data.identity()] =
        Entry{data.sharedBuffer(), std::move(digest), false, std::nullopt};
    if (byAddress_.size() > 2 * liveAfterSweep_ + 64) {
      sweep();
    }
    return data;
  }

  // A live buffer holding bytes equal to `data` (compared byte by byte) and
  // its digest in `md5Out`, or null. Called with the mutex held.
  std::shared_ptr<const ByteBuffer> findEqual(std::size_t contentKey, std::string_view data,
                                              std::string* md5Out) {
    auto it = byContent_.find(contentKey);
    if (it == byContent_.end()) {
      return nullptr;
    }
    for (const Entry& candidate : it->second) {
      if (auto buffer = candidate.buffer.lock();
          buffer && buffer->size() == data.size() &&
          std::memcmp(buffer->data(), data.data(), data.size()) == 0) {
        if (md5Out) {
          *md5Out = candidate.md5;
        }
        return buffer;
      }
    }
    return nullptr;
  }

  void sweep() {
    for (auto it = byAddress_.begin(); it != byAddress_.end();) {
      it = it->second.buffer.expired() ? byAddress_.erase(it) : std::next(it);
    }
    for (auto it = byContent_.begin(); it != byContent_.end();) {
      auto& list = it->second;
      std::erase_if(list, [](const Entry& entry) { return entry.buffer.expired(); });
      it = list.empty() ? byContent_.erase(it) : std::next(it);
    }
    liveAfterSweep_ = byAddress_.size();
  }

  std::mutex mutex_;
  std::condition_variable hashed_;           // a claim was released
  std::unordered_set<std::size_t> hashing_;  // content keys being hashed
  std::unordered_map<std::size_t, std::vector<Entry>> byContent_;
  std::unordered_map<const void*, Entry> byAddress_;
  std::size_t liveAfterSweep_ = 0;
};

Cache& cache() {
  static Cache instance;
  return instance;
}

}  // namespace

Data ArtworkDataCache::intern(const Data& data, std::string* md5Out) {
  return cache().intern(data, md5Out);
}

Data ArtworkDataCache::intern(std::string_view bytes, std::string* md5Out) {
  return cache().intern(bytes, md5Out);
}

std::optional<ImageCodec::Header> ArtworkDataCache::headerOf(const Data& data) {
  return cache().headerOf(data);
}

std::size_t ArtworkDataCache::liveEntryCount() { return cache().liveEntryCount(); }

}  // namespace quorvel
