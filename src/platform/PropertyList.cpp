#include "platform/PropertyList.h"

#include <fcntl.h>
#include <plist/plist.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <limits>
#include <memory>
#include <string_view>
#include <unordered_map>
#include <unordered_set>

namespace quorvel {

namespace {

// Seconds between the Unix epoch and the property-list epoch (2001-01-01T00:00:00Z).
constexpr std::int64_t kPlistEpochOffset = 978307200;
// Upper bound on what a binary list may expand to (nodes plus string and data
// bytes), per input byte. Binary lists may share objects; without a bound a
// few hundred bytes of shared arrays or strings expand into billions of nodes.
constexpr std::uint64_t kMaxExpansionPerByte = 64;
constexpr std::uint64_t kMaxExpansionSlack = std::uint64_t{1} << 20;

struct NodeDeleter {
  void operator()(plist_t node) const { plist_free(node); }
};
using NodePtr = std::unique_ptr<void, NodeDeleter>;

// Buffers and iterators libplist hands over with malloc.
struct FreeDeleter {
  void operator()(void* p) const { std::free(p); }  // NOLINT(cppcoreguidelines-no-malloc)
};

bool corrupt(Error* error, const std::string& why) {
  return setError(
      error, kQuorvelErrorDomain, plist::kReadCorruptError,
      "The data couldn't be read because it isn't in the correct format (" + why + ").");
}

std::uint64_t readBigEndian(const std::uint8_t* p, unsigned size) {
  std::uint64_t v = 0;
  for (unsigned i = 0; i < size; ++i) {
    v = (v << 8) | p[i];
  }
  return v;
}

// libplist's parsers recurse once per nesting level and expand shared binary
// objects into trees, so hostile input could exhaust the stack or memory
// before they return. These checks walk the structure without recursion and
// reject what libplist could not survive; everything else is left to it.
bool checkXmlNesting(std::string_view text, Error* error) {
  int depth = 0;
  std::size_t i = 0;
  while ((i = text.find('<', i)) != std::string_view::npos) {
    std::string_view rest = text.substr(i);
    auto skipTo = [&](std::string_view terminator) {
      std::size_t end = text.find(terminator, i);
      i = end == std::string_view::npos ? text.size() : end + terminator.size();
    };
    if (rest.starts_with("<!--")) {
      skipTo("-->");
    } else if (rest.starts_with("<![CDATA[")) {
      skipTo("]]>");
    } else if (rest.starts_with("<?") || rest.starts_with("<!")) {
      skipTo(">");
    } else if (rest.starts_with("</")) {
      --depth;
      skipTo(">");
    } else {
      std::size_t end = text.find('>', i);
      if (end == std::string_view::npos) {
        return true;  // unterminated tag: the parser reports it
      }
      if (text[end - 1] != '/') {
        ++depth;
      }
      if (depth > plist::kMaxDepth + 1) {  // +1 for the <plist> element
        return corrupt(error, "nested too deeply");
      }
      i = end + 1;
    }
  }
  return true;
}

bool checkBinaryStructure(const std::uint8_t* bytes, std::size_t size, Error* error) {
  constexpr std::size_t kHeader = 8;
  constexpr std::size_t kTrailer = 32;
  if (size < kHeader + kTrailer + 1) {
    return corrupt(error, "binary list too short");
  }
  const std::uint8_t* trailer = bytes + size - kTrailer;
  unsigned offsetSize = trailer[6];
  unsigned refSize = trailer[7];
  std::uint64_t count = readBigEndian(trailer + 8, 8);
  std::uint64_t top = readBigEndian(trailer + 16, 8);
  std::uint64_t tableOffset = readBigEndian(trailer + 24, 8);
  const std::uint64_t tableEnd = size - kTrailer;
  if (offsetSize < 1 || offsetSize > 8 || refSize < 1 || refSize > 8 || count == 0 ||
      top >= count || tableOffset < kHeader || tableOffset > tableEnd ||
      count > (tableEnd - tableOffset) / offsetSize) {
    return corrupt(error, "bad binary trailer");
  }

  auto objectOffset = [&](std::uint64_t index) {
    return readBigEndian(bytes + tableOffset + index * offsetSize, offsetSize);
  };
  // The references a container holds: [first, first + n * refSize).
  struct Refs {
    std::uint64_t first = 0;
    std::uint64_t n = 0;
    std::uint64_t keys = 0;  // a dictionary's first `keys` references name its keys
  };
  // The count that follows an object's marker: the low nibble, or 0xF and
  // an integer object. Sets `pos` to the first byte after it.
  auto objectCount = [&](std::uint64_t off, std::uint64_t& n, std::uint64_t& pos) -> bool {
    n = bytes[off] & 0x0F;
    pos = off + 1;
    if (n == 0x0F) {
      if (pos >= tableOffset || (bytes[pos] >> 4) != 0x1) {
        return false;
      }
      unsigned width = 1u << (bytes[pos] & 0x0F);
      if (width > 8 || pos + 1 + width > tableOffset) {
        return false;
      }
      n = readBigEndian(bytes + pos + 1, width);
      pos += 1 + width;
    }
    return true;
  };
  // A dictionary key libplist can hand back: an ASCII (0x5) or UTF-16 (0x6)
  // string without NUL characters (it asserts, and aborts, on either a key
  // of another type or one whose length disagrees with strlen).
  auto isValidKey = [&](std::uint64_t index) {
    std::uint64_t off = objectOffset(index);
    if (off < kHeader || off >= tableOffset) {
      return false;
    }
    unsigned kind = bytes[off] >> 4;
    std::uint64_t n = 0;
    std::uint64_t pos = 0;
    if ((kind != 0x5 && kind != 0x6) || !objectCount(off, n, pos)) {
      return false;
    }
    std::uint64_t unit = kind == 0x6 ? 2 : 1;
    if (n > (tableOffset - pos) / unit) {
      return false;
    }
    for (std::uint64_t i = 0; i < n; ++i) {
      if (bytes[pos + i * unit] == 0 && (unit == 1 || bytes[pos + i * unit + 1] == 0)) {
        return false;
      }
    }
    return true;
  };
  // Bytes a leaf copies when expanded: data (0x4), strings (0x5, 0x6 and
  // UTF-8 0x7); containers count by their children instead.
  auto payloadSize = [&](std::uint64_t index) -> std::uint64_t {
    std::uint64_t off = objectOffset(index);
    unsigned kind = bytes[off] >> 4;
    std::uint64_t n = 0;
    std::uint64_t pos = 0;
    if ((kind < 0x4 || kind > 0x7) || !objectCount(off, n, pos)) {
      return 0;
    }
    n = std::min<std::uint64_t>(n, size);
    return kind == 0x6 ? n * 2 : n;
  };
  std::unordered_set<std::uint64_t> checkedKeys;
  auto containerRefs = [&](std::uint64_t index, Refs& refs) -> bool {
    std::uint64_t off = objectOffset(index);
    if (off < kHeader || off >= tableOffset) {
      return false;
    }
    std::uint8_t marker = bytes[off];
    unsigned kind = marker >> 4;
    if (kind != 0xA && kind != 0xB && kind != 0xC && kind != 0xD) {
      refs = {};
      return true;
    }
    std::uint64_t n = 0;
    std::uint64_t pos = 0;
    if (!objectCount(off, n, pos)) {
      return false;
    }
    if (kind == 0xD) {
      if (n > std::numeric_limits<std::uint64_t>::max() / 2) {
        return false;
      }
      n *= 2;
    }
    if (n > (tableOffset - pos) / refSize) {
      return false;
    }
    refs = {pos, n, kind == 0xD ? n / 2 : 0};
    return true;
  };

  // Depth-first walk with an explicit stack. Each object's depth and expanded
  // size are memoised, so shared objects are visited once; a reference back
  // to an object still on the stack is a cycle.
  struct Info {
    std::uint32_t depth = 0;
    std::uint64_t expanded = 0;
    bool onStack = false;
    bool done = false;
  };
  std::unordered_map<std::uint64_t, Info> info;
  struct Frame {
    std::uint64_t index;
    Refs refs;
    std::uint64_t next;
  };
  std::vector<Frame> stack;
  const std::uint64_t expansionLimit = size * kMaxExpansionPerByte + kMaxExpansionSlack;

  auto push = [&](std::uint64_t index) -> bool {
    Refs refs;
    if (!containerRefs(index, refs)) {
      return corrupt(error, "bad binary object");
    }
    if (stack.size() >= static_cast<std::size_t>(plist::kMaxDepth)) {
      return corrupt(error, "nested too deeply");
    }
    info[index].onStack = true;
    stack.push_back({index, refs, 0});
    return true;
  };
  if (!push(top)) {
    return false;
  }
  while (!stack.empty()) {
    Frame& frame = stack.back();
    if (frame.next < frame.refs.n) {
      std::uint64_t child = readBigEndian(bytes + frame.refs.first + frame.next * refSize, refSize);
      ++frame.next;
      if (child >= count) {
        return corrupt(error, "reference out of range");
      }
      if (frame.next <= frame.refs.keys && !checkedKeys.count(child)) {
        if (!isValidKey(child)) {
          return corrupt(error, "bad dictionary key");
        }
        checkedKeys.insert(child);
      }
      auto it = info.find(child);
      if (it != info.end() && it->second.onStack) {
        return corrupt(error, "reference cycle");
      }
      if (it == info.end() || !it->second.done) {
        if (!push(child)) {
          return false;
        }
      }
      continue;
    }
    // All children done: fold them into this object.
    std::uint32_t depth = 0;
    std::uint64_t expanded = 1 + payloadSize(frame.index);
    for (std::uint64_t k = 0; k < frame.refs.n; ++k) {
      const Info& c = info[readBigEndian(bytes + frame.refs.first + k * refSize, refSize)];
      depth = std::max(depth, c.depth);
      expanded += c.expanded;
      if (expanded > expansionLimit) {
        return corrupt(error, "too many shared objects");
      }
    }
    Info& self = info[frame.index];
    self.depth = depth + 1;
    self.expanded = expanded;
    self.onStack = false;
    self.done = true;
    if (self.depth > static_cast<std::uint32_t>(plist::kMaxDepth)) {
      return corrupt(error, "nested too deeply");
    }
    stack.pop_back();
  }
  return true;
}

// libplist keeps a date as a double and splits it by truncation with the
// fraction's magnitude, so -99.75 comes back as (-99, 750000). Undo that for
// dates before 2001; the sign of a date within the second before the epoch is
// lost by libplist itself.
PlistDate dateFromPlist(std::int32_t sec, std::int32_t usec) {
  using namespace std::chrono;
  std::int64_t micros = std::int64_t{sec} * 1000000 + (sec < 0 ? -std::int64_t{usec} : usec);
  return PlistDate(
      duration_cast<system_clock::duration>(seconds(kPlistEpochOffset) + microseconds(micros)));
}

// Seconds and microseconds since 2001, microseconds in [0, 1e6), clamped to
// what the 32-bit seconds of libplist hold (1933 to 2069).
void dateToPlist(PlistDate date, std::int32_t& sec, std::int32_t& usec) {
  using namespace std::chrono;
  std::int64_t micros =
      duration_cast<microseconds>(date.time_since_epoch()).count() - kPlistEpochOffset * 1000000;
  std::int64_t s = micros / 1000000;
  std::int64_t u = micros % 1000000;
  if (u < 0) {
    u += 1000000;
    --s;
  }
  if (s > std::numeric_limits<std::int32_t>::max()) {
    s = std::numeric_limits<std::int32_t>::max();
    u = 0;
  } else if (s < std::numeric_limits<std::int32_t>::min()) {
    s = std::numeric_limits<std::int32_t>::min();
    u = 0;
  }
  sec = static_cast<std::int32_t>(s);
  usec = static_cast<std::int32_t>(u);
}

std::optional<PlistValue> fromNode(plist_t node, int depth) {
  if (node == nullptr || depth > plist::kMaxDepth) {
    return std::nullopt;
  }
  switch (plist_get_node_type(node)) {
    case PLIST_BOOLEAN: {
      std::uint8_t v = 0;
      plist_get_bool_val(node, &v);
      return PlistValue(v != 0);
    }
    case PLIST_UINT: {
      std::uint64_t v = 0;
      plist_get_uint_val(node, &v);
      return PlistValue(static_cast<std::int64_t>(v));
    }
    case PLIST_REAL: {
      double v = 0;
      plist_get_real_val(node, &v);
      return PlistValue(v);
    }
    case PLIST_STRING:
    case PLIST_KEY: {
      std::uint64_t length = 0;
      const char* p = plist_get_string_ptr(node, &length);
      return PlistValue(std::string(p ? p : "", p ? length : 0));
    }
    case PLIST_DATA: {
      std::uint64_t length = 0;
      const char* p = plist_get_data_ptr(node, &length);
      return PlistValue(Data(p, p ? length : 0));
    }
    case PLIST_DATE: {
      std::int32_t sec = 0;
      std::int32_t usec = 0;
      plist_get_date_val(node, &sec, &usec);
      return PlistValue(dateFromPlist(sec, usec));
    }
    case PLIST_UID: {
      std::uint64_t v = 0;
      plist_get_uid_val(node, &v);
      return PlistValue(PlistUID{v});
    }
    case PLIST_ARRAY: {
      PlistArray array;
      std::uint32_t n = plist_array_get_size(node);
      array.reserve(n);
      for (std::uint32_t i = 0; i < n; ++i) {
        auto item = fromNode(plist_array_get_item(node, i), depth + 1);
        if (!item) {
          return std::nullopt;
        }
        array.push_back(std::move(*item));
      }
      return PlistValue(std::move(array));
    }
    case PLIST_DICT: {
      PlistDict dict;
      plist_dict_iter iter = nullptr;
      plist_dict_new_iter(node, &iter);
      std::unique_ptr<void, FreeDeleter> iterOwner(iter);
      for (;;) {
        char* rawKey = nullptr;
        plist_t item = nullptr;
        plist_dict_next_item(node, iter, &rawKey, &item);
        std::unique_ptr<char, FreeDeleter> key(rawKey);
        if (item == nullptr) {
          break;
        }
        auto value = fromNode(item, depth + 1);
        if (!value) {
          return std::nullopt;
        }
        dict.insert_or_assign(key ? std::string(key.get()) : std::string(), std::move(*value));
      }
      // XML has no UID element; archives spell a UID as this one-entry dictionary.
      if (dict.size() == 1) {
        auto it = dict.find("CF$UID");
        if (it != dict.end() && it->second.is<std::int64_t>()) {
          return PlistValue(PlistUID{static_cast<std::uint64_t>(*it->second.get<std::int64_t>())});
        }
      }
      return PlistValue(std::move(dict));
    }
    default:
      return std::nullopt;
  }
}

// Property-list strings are Unicode. libplist copies invalid UTF-8 into XML
// as it stands and turns it into a damaged UTF-16 string in binary lists, so
// each byte that does not start a valid sequence becomes U+FFFD instead.
std::string validUtf8(const std::string& text) {
  if (isValidUtf8(text)) {
    return text;
  }
  std::string out;
  out.reserve(text.size() + 8);
  const auto* p = reinterpret_cast<const unsigned char*>(text.data());
  const std::size_t n = text.size();
  std::size_t i = 0;
  while (i < n) {
    unsigned char c = p[i];
    std::size_t len = c < 0x80           ? 1
                      : (c >> 5) == 0x6  ? 2
                      : (c >> 4) == 0xE  ? 3
                      : (c >> 3) == 0x1E ? 4
                                         : 0;
    if (len > 0 && i + len <= n && isValidUtf8(std::string_view(text).substr(i, len))) {
      out.append(text, i, len);
      i += len;
    } else {
      out += "\xEF\xBF\xBD";
      ++i;
    }
  }
  return out;
}

NodePtr toNode(const PlistValue& value, bool binary, int depth) {
  if (depth > plist::kMaxDepth) {
    return nullptr;
  }
  struct Visitor {
    bool binary;
    int depth;
    NodePtr operator()(std::monostate) const { return NodePtr(plist_new_string("")); }
    NodePtr operator()(bool v) const { return NodePtr(plist_new_bool(v ? 1 : 0)); }
    // libplist keeps integers as 64 bits and prints them signed.
    NodePtr operator()(std::int64_t v) const {
      return NodePtr(plist_new_uint(static_cast<std::uint64_t>(v)));
    }
    NodePtr operator()(double v) const { return NodePtr(plist_new_real(v)); }
    NodePtr operator()(const std::string& v) const {
      return NodePtr(plist_new_string(validUtf8(v).c_str()));
    }
    NodePtr operator()(const Data& v) const {
      return NodePtr(plist_new_data(reinterpret_cast<const char*>(v.bytes()), v.size()));
    }
    NodePtr operator()(PlistDate v) const {
      std::int32_t sec = 0;
      std::int32_t usec = 0;
      dateToPlist(v, sec, usec);
      // XML dates carry whole seconds; dropping the fraction here keeps the
      // written value the floor of the original.
      return NodePtr(plist_new_date(sec, binary ? usec : 0));
    }
    NodePtr operator()(PlistUID v) const { return NodePtr(plist_new_uid(v.value)); }
    NodePtr operator()(const PlistArray& v) const {
      NodePtr array(plist_new_array());
      for (const PlistValue& item : v) {
        NodePtr child = toNode(item, binary, depth + 1);
        if (!child) {
          return nullptr;
        }
        plist_array_append_item(array.get(), child.release());
      }
      return array;
    }
    NodePtr operator()(const PlistDict& v) const {
      NodePtr dict(plist_new_dict());
      for (const auto& [key, item] : v) {
        NodePtr child = toNode(item, binary, depth + 1);
        if (!child) {
          return nullptr;
        }
        plist_dict_set_item(dict.get(), validUtf8(key).c_str(), child.release());
      }
      return dict;
    }
  };
  return std::visit(Visitor{binary, depth}, value.storage());
}

std::string errnoText(int err) { return std::strerror(err); }

bool writeAll(int fd, const std::uint8_t* p, std::size_t n) {
  while (n > 0) {
    ssize_t w = ::write(fd, p, n);
    if (w < 0) {
      if (errno == EINTR) {
        continue;
      }
      return false;
    }
    p += w;
    n -= static_cast<std::size_t>(w);
  }
  return true;
}

}  // namespace

namespace plist {

std::optional<PlistValue> parse(const Data& bytes, Error* error) {
  if (bytes.empty()) {
    corrupt(error, "no data");
    return std::nullopt;
  }
  if (bytes.size() > std::numeric_limits<std::uint32_t>::max()) {
    corrupt(error, "larger than 4 GiB");
    return std::nullopt;
  }
  const auto* raw = reinterpret_cast<const char*>(bytes.bytes());
  const auto length = static_cast<std::uint32_t>(bytes.size());
  bool binary = plist_is_binary(raw, length) != 0;
  bool safe = binary ? checkBinaryStructure(bytes.bytes(), bytes.size(), error)
                     : checkXmlNesting(bytes.view(), error);
  if (!safe) {
    return std::nullopt;
  }
  plist_t root = nullptr;
  plist_from_memory(raw, length, &root);
  NodePtr owner(root);
  if (!root) {
    corrupt(error, binary ? "malformed binary property list" : "malformed XML property list");
    return std::nullopt;
  }
  auto value = fromNode(root, 0);
  if (!value) {
    corrupt(error, "unsupported value");
  }
  return value;
}

std::optional<PlistValue> readFile(const std::string& path, Error* error) {
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    int err = errno;
    setError(error, kQuorvelErrorDomain, err == ENOENT ? kReadNoSuchFileError : kReadUnknownError,
             "The file \"" + std::filesystem::path(path).filename().string() +
                 "\" couldn't be opened: " + errnoText(err) + ".");
    return std::nullopt;
  }
  ByteBuffer buffer;
  std::uint8_t chunk[65536];
  for (;;) {
    ssize_t n = ::read(fd, chunk, sizeof chunk);
    if (n < 0 && errno == EINTR) {
      continue;
    }
    if (n < 0) {
      int err = errno;
      ::close(fd);
      setError(error, kQuorvelErrorDomain, kReadUnknownError,
               "The file \"" + std::filesystem::path(path).filename().string() +
                   "\" couldn't be read: " + errnoText(err) + ".");
      return std::nullopt;
    }
    if (n == 0) {
      break;
    }
    buffer.insert(buffer.end(), chunk, chunk + n);
    if (buffer.size() > std::numeric_limits<std::uint32_t>::max()) {
      ::close(fd);
      corrupt(error, "larger than 4 GiB");
      return std::nullopt;
    }
  }
  ::close(fd);
  return parse(Data(std::move(buffer)), error);
}

Data serialize(const PlistValue& value, bool binary) {
  NodePtr root = toNode(value, binary, 0);
  if (!root) {
    return {};
  }
  char* out = nullptr;
  std::uint32_t length = 0;
  if (binary) {
    plist_to_bin(root.get(), &out, &length);
  } else {
    plist_to_xml(root.get(), &out, &length);
  }
  std::unique_ptr<void, FreeDeleter> outOwner(out);
  if (out == nullptr) {
    return {};
  }
  return Data(out, length);
}

bool writeFile(const PlistValue& value, const std::string& path, bool binary, Error* error) {
  namespace fs = std::filesystem;
  Data bytes = serialize(value, binary);
  if (bytes.empty()) {
    return setError(error, kQuorvelErrorDomain, kWriteInvalidError,
                    "The property list couldn't be written because it is nested too deeply.");
  }
  // Replace the file a symlink points to, not the link itself.
  std::error_code ec;
  fs::path target = path;
  if (fs::is_symlink(target, ec)) {
    fs::path resolved = fs::canonical(target, ec);
    if (!ec) {
      target = resolved;
    }
  }
  const std::string name = target.filename().string();
  auto fail = [&](const std::string& what, int err) {
    return setError(
        error, kQuorvelErrorDomain, kWriteUnknownError,
        "The file \"" + name + "\" couldn't be saved: " + what + ": " + errnoText(err) + ".");
  };

  fs::path folder = target.parent_path();
  if (folder.empty()) {
    folder = ".";
  }
  std::string temp = (folder / ("." + name + ".XXXXXX")).string();
  int fd = ::mkstemp(temp.data());
  if (fd < 0) {
    return fail("cannot create a temporary file", errno);
  }
  // mkstemp makes the file private; keep the mode of the file we replace, or
  // give a new file the mode the umask allows.
  struct stat existing {};
  mode_t mode;
  if (::stat(target.c_str(), &existing) == 0) {
    mode = existing.st_mode & 07777;
  } else {
    mode_t mask = ::umask(0);
    ::umask(mask);
    mode = 0666 & ~mask;
  }
  ::fchmod(fd, mode);

  if (!writeAll(fd, bytes.bytes(), bytes.size()) || ::fsync(fd) != 0) {
    int err = errno;
    ::close(fd);
    ::unlink(temp.c_str());
    return fail("cannot write", err);
  }
  if (::close(fd) != 0) {
    int err = errno;
    ::unlink(temp.c_str());
    return fail("cannot write", err);
  }
  if (::rename(temp.c_str(), target.c_str()) != 0) {
    int err = errno;
    ::unlink(temp.c_str());
    return fail("cannot replace the file", err);
  }
  // Make the rename itself durable.
  int dirFd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dirFd >= 0) {
    ::fsync(dirFd);
    ::close(dirFd);
  }
  return true;
}

}  // namespace plist

}  // namespace quorvel
