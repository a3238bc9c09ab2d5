#include "model/ArtworkDataCache.h"

#include <cstring>
#include <memory>
#include <mutex>
#include <unordered_map>
#include <vector>

#include "support/MD5.h"

namespace quorvel {

namespace {

struct Entry {
  std::weak_ptr<const ByteBuffer> buffer;
  std::string md5;
};

// Keyed twice: by digest to find equal bytes, and by buffer address so that a
// buffer handed out before is recognised without hashing it again. An address
// is trusted only while its weak reference is alive, since a freed buffer's
// address may be reused by another.
class Cache {
 public:
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
    std::string digest = md5Hex(data);
    if (md5Out) {
      *md5Out = digest;
    }
    std::lock_guard lock(mutex_);
    auto& candidates = byDigest_[digest];
    for (const auto& candidate : candidates) {
      if (auto buffer = candidate.lock();
          buffer && buffer->size() == data.size() &&
          std::memcmp(buffer->data(), data.bytes(), data.size()) == 0) {
        return Data(std::move(buffer));
      }
    }
    candidates.push_back(data.sharedBuffer());
    byAddress_[data.identity()] = Entry{data.sharedBuffer(), digest};
    if (byAddress_.size() > 2 * liveAfterSweep_ + 64) {
      sweep();
    }
    return data;
  }

  std::size_t liveEntryCount() {
    std::lock_guard lock(mutex_);
    sweep();
    return byAddress_.size();
  }

 private:
  void sweep() {
    for (auto it = byAddress_.begin(); it != byAddress_.end();) {
      it = it->second.buffer.expired() ? byAddress_.erase(it) : std::next(it);
    }
    for (auto it = byDigest_.begin(); it != byDigest_.end();) {
      auto& list = it->second;
      std::erase_if(list, [](const auto& weak) { return weak.expired(); });
      it = list.empty() ? byDigest_.erase(it) : std::next(it);
    }
    liveAfterSweep_ = byAddress_.size();
  }

  std::mutex mutex_;
  std::unordered_map<std::string, std::vector<std::weak_ptr<const ByteBuffer>>> byDigest_;
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

std::size_t ArtworkDataCache::liveEntryCount() { return cache().liveEntryCount(); }

}  // namespace quorvel
