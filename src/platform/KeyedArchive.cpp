#include "platform/KeyedArchive.h"

#include <algorithm>
#include <string_view>

#include "platform/PropertyList.h"
#include "support/Text.h"

namespace quorvel {

namespace {

constexpr const char* kArchiver = "NSKeyedArchiver";
constexpr std::int64_t kArchiveVersion = 100000;

bool fail(Error* error, const std::string& reason) {
  return setError(
      error, kQuorvelErrorDomain, KeyedArchive::kReadCorruptError,
      "The data couldn’t be read because it isn’t in the correct format (" + reason + ").");
}

// The object a UID refers to, or null when it points past the table.
const PlistValue* resolve(const PlistArray& objects, const PlistUID& uid) {
  return uid.value < objects.size() ? &objects[uid.value] : nullptr;
}

// The class name of an archived object's "$class" record, or none.
std::optional<std::string> classNameOf(const PlistArray& objects, const PlistDict& object) {
  auto it = object.find("$class");
  if (it == object.end() || !it->second.is<PlistUID>()) {
    return std::nullopt;
  }
  const PlistValue* record = resolve(objects, *it->second.get<PlistUID>());
  const PlistDict* dict = record ? record->get<PlistDict>() : nullptr;
  if (!dict) {
    return std::nullopt;
  }
  auto name = dict->find("$classname");
  if (name == dict->end() || !name->second.is<std::string>()) {
    return std::nullopt;
  }
  return *name->second.get<std::string>();
}

// Strings are Unicode text without NULs, as property lists write them; a
// damaged one keeps its readable part (each bad sequence becoming U+FFFD, a
// NUL ending it), so it stays the same when archived again.
std::string validText(const std::string& text) {
  const std::string_view head(text.data(), std::min(text.size(), text.find('\0')));
  return isValidUtf8(head) ? std::string(head) : utf16ToUtf8(utf8ToUtf16(head));
}

// A field value referred to by UID: a plain string or data object, its
// mutable archived form, or "$null". None for anything else.
std::optional<KeyedArchive::Value> referencedValue(const PlistArray& objects, const PlistUID& uid) {
  if (uid.value == 0) {
    return KeyedArchive::Value{};
  }
  const PlistValue* target = resolve(objects, uid);
  if (!target) {
    return std::nullopt;
  }
  if (const auto* text = target->get<std::string>()) {
    return KeyedArchive::Value{validText(*text)};
  }
  if (const auto* bytes = target->get<Data>()) {
    return KeyedArchive::Value{*bytes};
  }
  if (const auto* dict = target->get<PlistDict>()) {
    if (auto it = dict->find("NS.string"); it != dict->end() && it->second.is<std::string>()) {
      return KeyedArchive::Value{validText(*it->second.get<std::string>())};
    }
    if (auto it = dict->find("NS.data"); it != dict->end() && it->second.is<Data>()) {
      return KeyedArchive::Value{*it->second.get<Data>()};
    }
  }
  return std::nullopt;
}

}  // namespace

Data KeyedArchive::archive(const Object& object) {
  PlistArray objects;
  objects.emplace_back("$null");
  objects.emplace_back(PlistDict{});  // the root, filled below
  PlistDict root;
  for (const auto& [key, value] : object.fields) {
    if (key.empty() || key.front() == '$') {
      continue;
    }
    if (const auto* number = std::get_if<std::int64_t>(&value)) {
      root[key] = *number;
    } else if (const auto* text = std::get_if<std::string>(&value)) {
      root[key] = PlistUID{objects.size()};
      objects.emplace_back(*text);
    } else if (const auto* bytes = std::get_if<Data>(&value)) {
      root[key] = PlistUID{objects.size()};
      objects.emplace_back(*bytes);
    } else {
      root[key] = PlistUID{0};
    }
  }
  PlistArray classes;
  if (object.classes.empty()) {
    classes = {object.className, "NSObject"};
  } else {
    for (const auto& name : object.classes) {
      classes.emplace_back(name);
    }
  }
  root["$class"] = PlistUID{objects.size()};
  objects.emplace_back(
      PlistDict{{"$classname", object.className}, {"$classes", std::move(classes)}});
  objects[1] = std::move(root);

  PlistDict top{{"$archiver", kArchiver},
                {"$version", kArchiveVersion},
                {"$top", PlistDict{{"root", PlistUID{1}}}},
                {"$objects", std::move(objects)}};
  return plist::serialize(PlistValue(std::move(top)), true);
}

std::optional<KeyedArchive::Object> KeyedArchive::unarchive(const Data& archive,
                                                            const std::string& className,
                                                            Error* error) {
  Error parseError;
  auto parsed = plist::parse(archive, &parseError);
  if (!parsed) {
    fail(error, "not a property list");
    return std::nullopt;
  }
  const auto* top = parsed->get<PlistDict>();
  if (!top) {
    fail(error, "not a keyed archive");
    return std::nullopt;
  }
  auto archiver = top->find("$archiver");
  if (archiver == top->end() || archiver->second != PlistValue(kArchiver)) {
    fail(error, "not a keyed archive");
    return std::nullopt;
  }
  auto objectsIt = top->find("$objects");
  auto topIt = top->find("$top");
  const auto* objects = objectsIt != top->end() ? objectsIt->second.get<PlistArray>() : nullptr;
  const auto* roots = topIt != top->end() ? topIt->second.get<PlistDict>() : nullptr;
  if (!objects || !roots) {
    fail(error, "no object table");
    return std::nullopt;
  }
  auto rootIt = roots->find("root");
  if (rootIt == roots->end() || !rootIt->second.is<PlistUID>()) {
    fail(error, "no root object");
    return std::nullopt;
  }
  const PlistValue* rootValue = resolve(*objects, *rootIt->second.get<PlistUID>());
  const auto* root = rootValue ? rootValue->get<PlistDict>() : nullptr;
  if (!root) {
    fail(error, "the root is not an object");
    return std::nullopt;
  }
  auto name = classNameOf(*objects, *root);
  if (!name || *name != className) {
    fail(error, "the root is not of class " + className);
    return std::nullopt;
  }

  Object result;
  result.className = *name;
  if (auto classRef = root->find("$class"); classRef != root->end()) {
    const auto* record = resolve(*objects, *classRef->second.get<PlistUID>())->get<PlistDict>();
    if (auto chain = record->find("$classes"); chain != record->end()) {
      if (const auto* list = chain->second.get<PlistArray>()) {
        for (const auto& entry : *list) {
          if (const auto* text = entry.get<std::string>()) {
            result.classes.push_back(*text);
          }
        }
      }
    }
  }
  for (const auto& [rawKey, value] : *root) {
    const std::string key = validText(rawKey);
    if (key.empty() || key.front() == '$') {
      continue;
    }
    if (const auto* number = value.get<std::int64_t>()) {
      result.fields[key] = *number;
    } else if (const auto* flag = value.get<bool>()) {
      result.fields[key] = std::int64_t{*flag ? 1 : 0};
    } else if (const auto* uid = value.get<PlistUID>()) {
      auto field = referencedValue(*objects, *uid);
      if (!field && !resolve(*objects, *uid)) {
        fail(error, "the reference of \"" + key + "\" points past the object table");
        return std::nullopt;
      }
      if (field) {
        result.fields[key] = std::move(*field);
      }
    }
  }
  return result;
}

}  // namespace quorvel
