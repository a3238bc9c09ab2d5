#include "platform/UserDefaults.h"

#include <unistd.h>

#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <iostream>
#include <limits>
#include <mutex>
#include <string_view>
#include <system_error>

namespace quorvel {

namespace fs = std::filesystem;

namespace {

constexpr const char* kDefaultsFileName = "QuorvelDefaults.plist";

std::string environment(const char* name) {
  const char* value = std::getenv(name);
  return value ? std::string(value) : std::string();
}

void warn(const std::string& message) { std::cerr << "quorvel: " << message << '\n'; }

std::string_view trimmed(std::string_view text) {
  while (!text.empty() && std::isspace(static_cast<unsigned char>(text.front()))) {
    text.remove_prefix(1);
  }
  while (!text.empty() && std::isspace(static_cast<unsigned char>(text.back()))) {
    text.remove_suffix(1);
  }
  return text;
}

// The whole text (surrounding blanks aside) as a number, else none; never
// depends on the locale.
std::optional<std::int64_t> parseInteger(std::string_view text) {
  text = trimmed(text);
  if (!text.empty() && text.front() == '+') {
    text.remove_prefix(1);
  }
  std::int64_t v = 0;
  auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), v);
  if (ec != std::errc() || end != text.data() + text.size() || text.empty()) {
    return std::nullopt;
  }
  return v;
}

std::optional<double> parseReal(std::string_view text) {
  text = trimmed(text);
  if (!text.empty() && text.front() == '+') {
    text.remove_prefix(1);
  }
  double v = 0;
  auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), v);
  if (ec != std::errc() || end != text.data() + text.size() || text.empty()) {
    return std::nullopt;
  }
  return v;
}

bool equalsIgnoringCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) {
    return false;
  }
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (std::tolower(static_cast<unsigned char>(a[i])) !=
        std::tolower(static_cast<unsigned char>(b[i]))) {
      return false;
    }
  }
  return true;
}

// A real as an integer: truncated toward zero and clamped; NaN is 0.
std::int64_t truncated(double v) {
  if (std::isnan(v)) {
    return 0;
  }
  if (v >= 9.2233720368547758e18) {
    return std::numeric_limits<std::int64_t>::max();
  }
  if (v <= -9.2233720368547758e18) {
    return std::numeric_limits<std::int64_t>::min();
  }
  return static_cast<std::int64_t>(v);
}

std::string corruptCopyName(const fs::path& file) {
  std::time_t now = std::time(nullptr);
  std::tm parts{};
  ::localtime_r(&now, &parts);
  char stamp[32];
  std::strftime(stamp, sizeof stamp, "%Y%m%d-%H%M%S", &parts);
  std::string base = file.string() + ".corrupt-" + stamp;
  std::string candidate = base;
  std::error_code ec;
  for (int n = 1; fs::exists(candidate, ec) && n < 1000; ++n) {
    candidate = base + "-" + std::to_string(n);
  }
  return candidate;
}

}  // namespace

// The three layers, each immutable once published. A write copies only the
// layer it changes and publishes a new snapshot, so readers never block on a
// write or on the disk: they copy one shared_ptr under a short lock.
struct Layers {
  std::shared_ptr<const PlistDict> volatileValues = std::make_shared<const PlistDict>();
  std::shared_ptr<const PlistDict> user = std::make_shared<const PlistDict>();
  std::shared_ptr<const PlistDict> registered = std::make_shared<const PlistDict>();

  const PlistValue* find(const std::string& key) const {
    for (const PlistDict* layer : {volatileValues.get(), user.get(), registered.get()}) {
      auto it = layer->find(key);
      if (it != layer->end()) {
        return &it->second;
      }
    }
    return nullptr;
  }
};

struct UserDefaults::Impl {
  std::string path;
  // False when the file exists but could not be read: saving over it would
  // throw away the user's settings.
  bool persistent = true;

  mutable std::mutex snapshotMutex;
  std::shared_ptr<const Layers> snapshot = std::make_shared<const Layers>();
  // Serialises writers, so the file always holds the last published user layer.
  std::mutex writeMutex;

  std::shared_ptr<const Layers> current() const {
    std::lock_guard lock(snapshotMutex);
    return snapshot;
  }
  void publish(std::shared_ptr<const Layers> next) {
    std::lock_guard lock(snapshotMutex);
    snapshot = std::move(next);
  }

  void load();
  void save(const PlistDict& user) const;
  // Applies `change` to a copy of the layer chosen by `which`; called with writeMutex held.
  template <typename Change>
  std::shared_ptr<const Layers> update(std::shared_ptr<const PlistDict> Layers::*which,
                                       Change&& change) {
    auto layers = std::make_shared<Layers>(*current());
    auto dict = std::make_shared<PlistDict>(*(layers.get()->*which));
    change(*dict);
    layers.get()->*which = std::move(dict);
    publish(layers);
    return layers;
  }
};

void UserDefaults::Impl::load() {
  if (path.empty()) {
    return;
  }
  Error error;
  auto value = plist::readFile(path, &error);
  if (value && value->is<PlistDict>()) {
    auto layers = std::make_shared<Layers>();
    layers->user = std::make_shared<const PlistDict>(std::move(*value->get<PlistDict>()));
    publish(std::move(layers));
    return;
  }
  if (!value && error.code == plist::kReadNoSuchFileError) {
    return;
  }
  if (!value && error.code != plist::kReadCorruptError) {
    persistent = false;
    warn("cannot read the settings file " + path + " (" + error.localizedDescription +
         "); changes made now will not be saved");
    return;
  }
  // Not a property list, or not a dictionary: keep it for the user to inspect
  // and start from the first values.
  std::string aside = corruptCopyName(path);
  std::error_code ec;
  fs::rename(path, aside, ec);
  if (ec) {
    persistent = false;
    warn("the settings file " + path + " is damaged and cannot be moved aside (" + ec.message() +
         "); using first values, changes will not be saved");
  } else {
    warn("the settings file " + path + " is damaged; moved it to " + aside +
         " and using first values");
  }
}

void UserDefaults::Impl::save(const PlistDict& user) const {
  if (path.empty()) {
    return;
  }
  if (!persistent) {
    return;
  }
  std::error_code ec;
  fs::path folder = fs::path(path).parent_path();
  if (!folder.empty()) {
    fs::create_directories(folder, ec);
  }
  Error error;
  if (!plist::writeFile(PlistValue(user), path, false, &error)) {
    warn("cannot save the settings: " + error.localizedDescription);
  }
}

UserDefaults::UserDefaults(std::string path) : impl_(std::make_unique<Impl>()) {
  impl_->path = std::move(path);
  impl_->load();
}

UserDefaults::~UserDefaults() = default;

std::string UserDefaults::standardPath() {
  std::string explicitPath = environment("QUORVEL_SETTINGS");
  if (!explicitPath.empty()) {
    return explicitPath;
  }
  std::string config = environment("XDG_CONFIG_HOME");
  if (config.empty() || !fs::path(config).is_absolute()) {
    std::string home = environment("HOME");
    config = (fs::path(home.empty() ? "." : home) / ".config").string();
  }
  return (fs::path(config) / "quorvel" / "settings.plist").string();
}

std::string UserDefaults::defaultsFilePath() {
  std::string explicitPath = environment("QUORVEL_DEFAULTS");
  if (!explicitPath.empty()) {
    return explicitPath;
  }
  std::vector<fs::path> candidates;
#ifdef QUORVEL_RESOURCES_DIR
  candidates.emplace_back(fs::path(QUORVEL_RESOURCES_DIR) / kDefaultsFileName);
#endif
#ifdef QUORVEL_INSTALLED_RESOURCES_DIR
  candidates.emplace_back(fs::path(QUORVEL_INSTALLED_RESOURCES_DIR) / kDefaultsFileName);
#endif
  std::error_code ec;
  fs::path exe = fs::read_symlink("/proc/self/exe", ec);
  if (!ec) {
    candidates.push_back(exe.parent_path().parent_path() / "share" / "quorvel" / kDefaultsFileName);
  }
  for (const fs::path& candidate : candidates) {
    if (fs::is_regular_file(candidate, ec)) {
      return candidate.string();
    }
  }
  return {};
}

UserDefaults& UserDefaults::standard() {
  static UserDefaults* const store = [] {
    static UserDefaults instance(standardPath());
    std::string defaults = defaultsFilePath();
    Error error;
    if (defaults.empty()) {
      warn(std::string("no ") + kDefaultsFileName + " found; settings start empty");
    } else if (!instance.registerDefaultsFromFile(defaults, &error)) {
      warn("cannot use the defaults file " + defaults + ": " + error.localizedDescription);
    }
    return &instance;
  }();
  return *store;
}

bool UserDefaults::boolForKey(const std::string& key) const {
  auto layers = impl_->current();
  const PlistValue* v = layers->find(key);
  if (!v) {
    return false;
  }
  if (const bool* b = v->get<bool>()) {
    return *b;
  }
  if (const std::int64_t* i = v->get<std::int64_t>()) {
    return *i != 0;
  }
  if (const double* d = v->get<double>()) {
    return *d != 0.0;
  }
  if (const std::string* s = v->get<std::string>()) {
    std::string_view text = trimmed(*s);
    if (equalsIgnoringCase(text, "yes") || equalsIgnoringCase(text, "true")) {
      return true;
    }
    auto n = parseInteger(text);
    return n && *n != 0;
  }
  return false;
}

std::int64_t UserDefaults::integerForKey(const std::string& key) const {
  auto layers = impl_->current();
  const PlistValue* v = layers->find(key);
  if (!v) {
    return 0;
  }
  if (const std::int64_t* i = v->get<std::int64_t>()) {
    return *i;
  }
  if (const double* d = v->get<double>()) {
    return truncated(*d);
  }
  if (const bool* b = v->get<bool>()) {
    return *b ? 1 : 0;
  }
  if (const std::string* s = v->get<std::string>()) {
    if (auto n = parseInteger(*s)) {
      return *n;
    }
    if (auto d = parseReal(*s)) {
      return truncated(*d);
    }
  }
  return 0;
}

double UserDefaults::floatForKey(const std::string& key) const {
  auto layers = impl_->current();
  const PlistValue* v = layers->find(key);
  if (!v) {
    return 0.0;
  }
  if (const double* d = v->get<double>()) {
    return *d;
  }
  if (const std::int64_t* i = v->get<std::int64_t>()) {
    return static_cast<double>(*i);
  }
  if (const bool* b = v->get<bool>()) {
    return *b ? 1.0 : 0.0;
  }
  if (const std::string* s = v->get<std::string>()) {
    return parseReal(*s).value_or(0.0);
  }
  return 0.0;
}

std::optional<std::string> UserDefaults::stringForKey(const std::string& key) const {
  auto layers = impl_->current();
  const PlistValue* v = layers->find(key);
  if (!v) {
    return std::nullopt;
  }
  if (const std::string* s = v->get<std::string>()) {
    return *s;
  }
  if (const std::int64_t* i = v->get<std::int64_t>()) {
    return std::to_string(*i);
  }
  if (const double* d = v->get<double>()) {
    return Number(*d).stringValue();
  }
  return std::nullopt;
}

std::optional<Data> UserDefaults::dataForKey(const std::string& key) const {
  auto layers = impl_->current();
  const PlistValue* v = layers->find(key);
  if (v && v->is<Data>()) {
    return *v->get<Data>();
  }
  return std::nullopt;
}

std::optional<PlistValue> UserDefaults::objectForKey(const std::string& key) const {
  auto layers = impl_->current();
  const PlistValue* v = layers->find(key);
  if (!v || v->isNone()) {
    return std::nullopt;
  }
  return *v;
}

PlistDict UserDefaults::dictionaryRepresentation() const {
  auto layers = impl_->current();
  PlistDict merged = *layers->registered;
  for (const auto& [key, value] : *layers->user) {
    merged.insert_or_assign(key, value);
  }
  for (const auto& [key, value] : *layers->volatileValues) {
    merged.insert_or_assign(key, value);
  }
  return merged;
}

void UserDefaults::setBool(bool value, const std::string& key) {
  setObject(PlistValue(value), key);
}

void UserDefaults::setInteger(std::int64_t value, const std::string& key) {
  setObject(PlistValue(value), key);
}

void UserDefaults::setObject(const PlistValue& value, const std::string& key) {
  if (value.isNone()) {
    removeObjectForKey(key);
    return;
  }
  std::lock_guard lock(impl_->writeMutex);
  auto before = impl_->current();
  const PlistDict& user = *before->user;
  auto it = user.find(key);
  if (it != user.end() && it->second == value) {
    return;  // nothing to save
  }
  auto layers =
      impl_->update(&Layers::user, [&](PlistDict& dict) { dict.insert_or_assign(key, value); });
  impl_->save(*layers->user);
}

void UserDefaults::removeObjectForKey(const std::string& key) {
  std::lock_guard lock(impl_->writeMutex);
  if (impl_->current()->user->count(key) == 0) {
    return;
  }
  auto layers = impl_->update(&Layers::user, [&](PlistDict& dict) { dict.erase(key); });
  impl_->save(*layers->user);
}

void UserDefaults::registerDefaults(const PlistDict& defaults) {
  std::lock_guard lock(impl_->writeMutex);
  impl_->update(&Layers::registered, [&](PlistDict& dict) {
    for (const auto& [key, value] : defaults) {
      dict.insert_or_assign(key, value);
    }
  });
}

bool UserDefaults::registerDefaultsFromFile(const std::string& path, Error* error) {
  auto value = plist::readFile(path, error);
  if (!value) {
    return false;
  }
  const PlistDict* dict = value->get<PlistDict>();
  if (!dict) {
    return setError(error, kQuorvelErrorDomain, plist::kReadCorruptError,
                    "The defaults file \"" + fs::path(path).filename().string() +
                        "\" does not hold a dictionary.");
  }
  registerDefaults(*dict);
  return true;
}

void UserDefaults::setVolatileValue(const PlistValue& value, const std::string& key) {
  std::lock_guard lock(impl_->writeMutex);
  impl_->update(&Layers::volatileValues, [&](PlistDict& dict) {
    if (value.isNone()) {
      dict.erase(key);
    } else {
      dict.insert_or_assign(key, value);
    }
  });
}

std::string UserDefaults::path() const { return impl_->path; }

}  // namespace quorvel
