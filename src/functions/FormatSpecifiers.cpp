#include "functions/FormatSpecifiers.h"

#include <unicode/datefmt.h>
#include <unicode/locid.h>
#include <unicode/unistr.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <memory>

#include "document/FileSizeFormatter.h"
#include "document/SecondsFormatter.h"
#include "model/AudioMetadata.h"
#include "model/TagKeys.h"
#include "support/Localization.h"
#include "support/Text.h"

namespace quorvel {

namespace {

// A specifier may be handed over with its braces; they are not part of it.
std::u16string trimmedSpecifier(std::string_view specifier) {
  std::u16string text = utf8ToUtf16(specifier);
  const auto isBrace = [](char16_t c) { return c == u'{' || c == u'}'; };
  const auto first = std::find_if_not(text.begin(), text.end(), isBrace);
  const auto last = std::find_if_not(text.rbegin(), std::make_reverse_iterator(first), isBrace);
  return std::u16string(first, last.base());
}

void replaceAll(std::string& text, std::string_view from, std::string_view to) {
  for (std::size_t pos = text.find(from); pos != std::string::npos;
       pos = text.find(from, pos + to.size())) {
    text.replace(pos, from.size(), to);
  }
}

// The number at the start of a tag's text ("3" of "3/12"), as an unsigned
// integer; 0 when the text does not start with digits. Saturates rather than
// wrapping.
std::uint64_t leadingUnsigned(std::string_view text) {
  std::size_t i = 0;
  while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) {
    ++i;
  }
  if (i < text.size() && text[i] == '+') {
    ++i;
  }
  std::uint64_t value = 0;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
    const std::uint64_t digit = static_cast<std::uint64_t>(text[i] - '0');
    value = value > (UINT64_MAX - digit) / 10 ? UINT64_MAX : value * 10 + digit;
  }
  return value;
}

std::string twoDigitText(const std::string& value) {
  if (value.empty()) {
    return {};
  }
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, "%02llu",
                static_cast<unsigned long long>(leadingUnsigned(value)));
  return buffer;
}

std::string fallbackWordForKey(const std::string& key) {
  static constexpr std::array<std::pair<const char*, const char*>, 6> kWords{{
      {"TRACKTITLE", "Untitled"},
      {"TRACKARTIST", "Unknown Artist"},
      {"ALBUMARTIST", "Unknown Artist"},
      {"ALBUM", "Unknown Album"},
      {"COMPOSER", "Unknown Composer"},
      {"GENRE", "Unknown Genre"},
  }};
  for (const auto& [name, word] : kWords) {
    if (key == name) {
      return localizedString(word, "Localizable");
    }
  }
  return {};
}

struct Vocabulary {
  std::vector<std::string> keys;
  std::vector<std::u16string> keys16;
  // Positions in `keys` by first character (all keys are ASCII), so a group
  // is searched in one pass rather than once per key.
  std::array<std::vector<std::size_t>, 128> byFirstUnit;
};

const Vocabulary& vocabulary() {
  static const Vocabulary instance = [] {
    Vocabulary v;
    v.keys = allTagKeys();
    v.keys.insert(v.keys.end(), allSourceKeys().begin(), allSourceKeys().end());
    // Longest first, so "{ALBUMARTIST}" finds ALBUMARTIST before ALBUM.
    std::sort(v.keys.begin(), v.keys.end(), [](const std::string& a, const std::string& b) {
      return a.size() != b.size() ? a.size() > b.size() : a < b;
    });
    for (std::size_t rank = 0; rank < v.keys.size(); ++rank) {
      v.keys16.push_back(utf8ToUtf16(v.keys[rank]));
      v.byFirstUnit[static_cast<unsigned char>(v.keys[rank][0]) & 0x7Fu].push_back(rank);
    }
    return v;
  }();
  return instance;
}

// The keys of the format fields' pop-up, indexed by item tag; 17 and 30 are
// separators and 0 is no item.
constexpr std::array<const char*, 43> kMenuTagKeys{
    nullptr,
    "ALBUM",
    "ALBUMARTIST",
    "BPM",
    "COMMENTS",
    "COMPOSER",
    "DISCNUMBER",
    "DISCTOTAL",
    "GENRE",
    "GROUPING",
    "LYRICS",
    "TRACKTITLE",
    "TRACKARTIST",
    "TRACKNUMBER",
    "TRACKTOTAL",
    "YEAR",
    "_FILENAME",
    nullptr,
    "_BITRATE",
    "_BITRATEMETHOD",
    "_SAMPLERATE",
    "_FILEKIND",
    "_FILEFORMAT",
    "_FILELENGTH",
    "_FILESIZE",
    "_SAMPLESIZE",
    "_CHANNELS",
    "_TAGFORMAT",
    "_FILEDATEMODIFIED",
    "_FILEFULLPATH",
    nullptr,
    "TRACKTITLESORTORDER",
    "ARTISTSORTORDER",
    "ALBUMARTISTSORTORDER",
    "COMPOSERSORTORDER",
    "ALBUMSORTORDER",
    "_CHANNELMODE",
    "_FILEEXTENSION",
    "_FILEDATECREATED",
    "MOVEMENTNAME",
    "MOVEMENTNUMBER",
    "MOVEMENTTOTAL",
    "WORK",
};

}  // namespace

FormatSpecifiers::FormatSpecifiers(std::string_view text) : FormatSpecifiers(utf8ToUtf16(text)) {}

FormatSpecifiers::FormatSpecifiers(std::u16string text)
    : text_(std::move(text)), inserted_(text_.size(), false) {}

std::string FormatSpecifiers::string() const { return utf16ToUtf8(text_); }

std::size_t FormatSpecifiers::findFormatUnit(char16_t unit, std::size_t from,
                                             std::size_t to) const {
  for (std::size_t i = from; i < to; ++i) {
    if (text_[i] == unit && isFormat(i)) {
      return i;
    }
  }
  return TextRange::kNotFound;
}

// An occurrence counts only when every unit of it is format text: a value
// never supplies, nor completes, a specifier.
std::size_t FormatSpecifiers::findFormat(std::u16string_view needle, std::size_t from,
                                         std::size_t to) const {
  if (needle.empty() || to > text_.size() || from > to || needle.size() > to - from) {
    return TextRange::kNotFound;
  }
  const std::u16string_view text(text_);
  for (std::size_t pos = text.substr(0, to).find(needle, from); pos != std::u16string_view::npos;
       pos = text.substr(0, to).find(needle, pos + 1)) {
    bool allFormat = true;
    for (std::size_t i = pos; i < pos + needle.size() && allFormat; ++i) {
      allFormat = isFormat(i);
    }
    if (allFormat) {
      return pos;
    }
  }
  return TextRange::kNotFound;
}

void FormatSpecifiers::erase(std::size_t location, std::size_t length) {
  text_.erase(location, length);
  const auto first = inserted_.begin() + static_cast<std::ptrdiff_t>(location);
  inserted_.erase(first, first + static_cast<std::ptrdiff_t>(length));
}

void FormatSpecifiers::insertValue(std::size_t location, const std::u16string& value) {
  text_.insert(location, value);
  inserted_.insert(inserted_.begin() + static_cast<std::ptrdiff_t>(location), value.size(), true);
}

TextRange FormatSpecifiers::rangeOfDeepestBracketContainingAnyFormatSpecifier() const {
  // One pass keeping the depth and the greatest depth seen; the last group
  // that closes at the greatest depth wins, so nested groups come inside out
  // and siblings right to left.
  long depth = 0;
  long greatest = 0;
  std::optional<std::size_t> candidate;
  TextRange result;
  for (std::size_t i = 0; i < text_.size(); ++i) {
    if (!isFormat(i)) {
      continue;
    }
    if (text_[i] == u'{') {
      ++depth;
      if (depth >= greatest) {
        candidate = i;
      }
      greatest = std::max(greatest, depth);
    } else if (text_[i] == u'}') {
      if (depth == greatest && candidate && i > *candidate) {
        result = TextRange{*candidate, i - *candidate + 1};
      }
      --depth;
    }
  }
  return result;
}

TextRange FormatSpecifiers::rangeOfDeepestBracketContainingAnyFormatSpecifierInArray(
    const std::vector<std::string>& specifiers) const {
  std::vector<std::u16string> needles;
  for (const std::string& specifier : specifiers) {
    if (std::u16string needle = trimmedSpecifier(specifier); !needle.empty()) {
      needles.push_back(std::move(needle));
    }
  }
  // Matched pairs by a stack, so that a deeper group without any of the
  // specifiers does not hide a shallower one that has them.
  std::vector<std::size_t> open;
  TextRange result;
  std::size_t resultDepth = 0;
  for (std::size_t i = 0; i < text_.size(); ++i) {
    if (!isFormat(i)) {
      continue;
    }
    if (text_[i] == u'{') {
      open.push_back(i);
    } else if (text_[i] == u'}' && !open.empty()) {
      const std::size_t start = open.back();
      open.pop_back();
      const std::size_t depth = open.size() + 1;
      if (depth < resultDepth) {
        continue;
      }
      const bool contains = std::any_of(needles.begin(), needles.end(), [&](const auto& needle) {
        return findFormat(needle, start + 1, i) != TextRange::kNotFound;
      });
      if (contains) {
        result = TextRange{start, i - start + 1};
        resultDepth = depth;
      }
    }
  }
  return result;
}

void FormatSpecifiers::replaceFormatSpecifier(std::string_view specifier, std::string_view string,
                                              TextRange range) {
  replaceInRange(trimmedSpecifier(specifier), utf8ToUtf16(string), range);
}

void FormatSpecifiers::replaceInRange(const std::u16string& needle,
                                      const std::u16string& replacement, TextRange range) {
  if (needle.empty() || !range.found() || range.location >= text_.size()) {
    return;
  }
  std::size_t end = std::min(text_.size(), range.location + std::min(range.length, text_.size()));
  std::size_t pos = range.location;
  while (pos < end) {
    const std::size_t open = findFormatUnit(u'{', pos, end);
    const std::size_t close = findFormatUnit(u'}', pos, end);
    if (open == TextRange::kNotFound || close == TextRange::kNotFound) {
      break;
    }
    if (close < open || findFormat(needle, open + 1, close) == TextRange::kNotFound) {
      pos = close + 1;
      continue;
    }
    erase(close, 1);
    erase(open, 1);
    end -= 2;
    std::size_t innerEnd = close - 1;
    for (std::size_t at = findFormat(needle, open, innerEnd); at != TextRange::kNotFound;
         at = findFormat(needle, at, innerEnd)) {
      erase(at, needle.size());
      insertValue(at, replacement);
      at += replacement.size();
      innerEnd = innerEnd - needle.size() + replacement.size();
      end = end - needle.size() + replacement.size();
    }
    pos = innerEnd;
  }
}

void FormatSpecifiers::replaceFormatSpecifier(std::string_view specifier, std::string_view string) {
  replaceFormatSpecifier(specifier, string, TextRange{0, text_.size()});
}

void FormatSpecifiers::removeFormatSpecifier(std::string_view specifier, TextRange range) {
  const std::u16string needle = trimmedSpecifier(specifier);
  if (needle.empty() || !range.found() || range.location >= text_.size()) {
    return;
  }
  std::size_t end = std::min(text_.size(), range.location + std::min(range.length, text_.size()));
  std::size_t pos = range.location;
  while (pos < end) {
    const std::size_t open = findFormatUnit(u'{', pos, end);
    const std::size_t close = findFormatUnit(u'}', pos, end);
    if (open == TextRange::kNotFound || close == TextRange::kNotFound) {
      break;
    }
    if (close < open || findFormat(needle, open + 1, close) == TextRange::kNotFound) {
      pos = close + 1;
      continue;
    }
    erase(open, close - open + 1);
    end -= close - open + 1;
    pos = open;
  }
}

void FormatSpecifiers::removeFormatSpecifier(std::string_view specifier) {
  removeFormatSpecifier(specifier, TextRange{0, text_.size()});
}

// The longest vocabulary key written in the group; failing that, the whole
// inner text names a custom tag ("{MYTAG}"). A group whose inner text holds
// values of inner groups but no key of its own has no placeholder, so it
// vanishes and a value never becomes a tag name to look up.
std::u16string FormatSpecifiers::placeholderInGroup(TextRange group) const {
  // The key found first in vocabulary order is the one of lowest rank that
  // occurs anywhere in the group.
  const Vocabulary& words = vocabulary();
  std::size_t best = words.keys16.size();
  for (std::size_t i = group.location; i < group.end(); ++i) {
    if (text_[i] >= 128 || !isFormat(i)) {
      continue;
    }
    for (const std::size_t rank : words.byFirstUnit[text_[i]]) {
      if (rank >= best) {
        break;  // ranks are ascending within a bucket
      }
      const std::u16string& key = words.keys16[rank];
      if (key.size() <= group.end() - i &&
          std::u16string_view(text_).substr(i, key.size()) == key &&
          std::all_of(inserted_.begin() + static_cast<std::ptrdiff_t>(i),
                      inserted_.begin() + static_cast<std::ptrdiff_t>(i + key.size()),
                      [](bool inserted) { return !inserted; })) {
        best = rank;
        break;
      }
    }
  }
  if (best < words.keys16.size()) {
    return words.keys16[best];
  }
  const std::size_t innerStart = group.location + 1;
  const std::size_t innerEnd = group.end() - 1;
  for (std::size_t i = innerStart; i < innerEnd; ++i) {
    if (!isFormat(i)) {
      return {};
    }
  }
  return text_.substr(innerStart, innerEnd - innerStart);
}

std::string expandFormatSpecifiers(std::string_view format, const FormatValueForKey& valueForKey,
                                   const FormatExpansionOptions& options) {
  FormatSpecifiers working(format.empty() ? std::string_view("{sourceFilename}") : format);
  const std::string replacement = options.replacement.value_or(std::string());

  // Each pass takes away the two braces of one group of the format (values
  // bring none that count), so the passes are bounded by the braces written.
  for (TextRange group = working.rangeOfDeepestBracketContainingAnyFormatSpecifier(); group.found();
       group = working.rangeOfDeepestBracketContainingAnyFormatSpecifier()) {
    const std::u16string placeholder16 = working.placeholderInGroup(group);
    const std::string placeholder = utf16ToUtf8(placeholder16);

    std::string value;
    if (placeholder.empty()) {
      // An empty group, or one with only inner values in it.
    } else if (placeholder == "_FILENAME" || placeholder == "_FILEFULLPATH") {
      value = valueForKey(placeholder);
      if (!options.filenameMode) {
        // The desktop shows a ":" stored in a file name as "/".
        replaceAll(value, ":", "/");
      }
    } else if ((options.twoDigitTrackNumbers &&
                (placeholder == "TRACKNUMBER" || placeholder == "TRACKTOTAL")) ||
               (options.twoDigitDiscNumbers &&
                (placeholder == "DISCNUMBER" || placeholder == "DISCTOTAL"))) {
      value = twoDigitText(valueForKey(placeholder));
    } else {
      value = valueForKey(placeholder);
      if (value.empty() && options.filenameWhenTitleIsMissing && placeholder == "TRACKTITLE") {
        value = valueForKey("_FILENAME");
      }
      if (value.empty() && options.fallbackWords) {
        value = fallbackWordForKey(placeholder);
      }
    }

    if (value.empty()) {
      working.erase(group.location, group.length);
      continue;
    }
    if (options.filenameMode) {
      // One path component: a "/" in a value must never start a folder.
      replaceAll(value, ":", replacement);
      replaceAll(value, "/", ":");
    }
    working.replaceInRange(placeholder16, utf8ToUtf16(value), group);
    if (group.location < working.text_.size() && working.text_[group.location] == u'{' &&
        working.isFormat(group.location)) {
      // The group kept its braces, which a placeholder found in it rules out;
      // drop the group rather than take it again.
      working.erase(group.location, group.length);
    }
  }
  return working.string();
}

namespace {

// A file date as the user's locale writes it with its short date and short
// time styles ("1/2/24, 3:04 PM").
std::string shortDateTimeText(const std::optional<AudioMetadata::TimePoint>& date) {
  if (!date) {
    return {};
  }
  const icu::Locale locale(defaultLocaleName().c_str());
  const std::unique_ptr<icu::DateFormat> format(icu::DateFormat::createDateTimeInstance(
      icu::DateFormat::kShort, icu::DateFormat::kShort, locale));
  if (!format) {
    return {};
  }
  const auto milliseconds =
      std::chrono::duration_cast<std::chrono::milliseconds>(date->time_since_epoch()).count();
  icu::UnicodeString text;
  format->format(static_cast<UDate>(milliseconds), text);
  std::string out;
  text.toUTF8String(out);
  return out;
}

std::string numberText(const std::optional<Number>& number) {
  return number ? number->stringValue() : std::string();
}

}  // namespace

std::string formatSpecifierValueForKey(const AudioMetadata& record, const std::string& key) {
  if (key.empty() || key[0] != '_') {
    return record.valueForKey(key).stringValue().value_or(std::string());
  }
  if (key == "_FILENAME") {
    std::string name = record.sourceFilename().value_or(std::string());
    const std::string extension = record.sourceFileExtension().value_or(std::string());
    if (!extension.empty() && name.size() > extension.size() &&
        name.compare(name.size() - extension.size() - 1, std::string::npos, "." + extension) == 0) {
      name.resize(name.size() - extension.size() - 1);
    }
    return name;
  }
  if (key == "_FILEFULLPATH") {
    return record.sourceLocation().value_or(std::string());
  }
  if (key == "_FILEEXTENSION") {
    return record.sourceFileExtension().value_or(std::string());
  }
  if (key == "_BITRATE") {
    return numberText(record.sourceBitrate());
  }
  if (key == "_SAMPLERATE") {
    return numberText(record.sourceSampleRate());
  }
  if (key == "_CHANNELS") {
    return numberText(record.sourceChannels());
  }
  if (key == "_SAMPLESIZE") {
    return numberText(record.sourceSampleSize());
  }
  if (key == "_BITRATEMETHOD") {
    return record.sourceBitrateMode().value_or(std::string());
  }
  if (key == "_CHANNELMODE") {
    return record.sourceChannelMode().value_or(std::string());
  }
  if (key == "_FILEFORMAT") {
    return record.sourceFormat().value_or(std::string());
  }
  if (key == "_FILEKIND") {
    return record.sourceKind().value_or(std::string());
  }
  if (key == "_TAGFORMAT") {
    return record.sourceTagFormat().value_or(std::string());
  }
  if (key == "_FILEDATEMODIFIED") {
    return shortDateTimeText(record.sourceDateModified());
  }
  if (key == "_FILEDATECREATED") {
    return shortDateTimeText(record.sourceDateCreated());
  }
  if (key == "_FILESIZE") {
    return record.sourceFileSize()
               ? FileSizeFormatter().stringForObjectValue(Object(*record.sourceFileSize()))
               : std::string();
  }
  if (key == "_FILELENGTH") {
    return record.sourceLength()
               ? SecondsFormatter().stringForObjectValue(Object(*record.sourceLength()))
               : std::string();
  }
  // A custom tag whose name begins with an underscore.
  return record.valueForKey(key).stringValue().value_or(std::string());
}

std::string expandFormatSpecifiers(std::string_view format, const AudioMetadata& record,
                                   const FormatExpansionOptions& options) {
  return expandFormatSpecifiers(
      format, [&record](const std::string& key) { return formatSpecifierValueForKey(record, key); },
      options);
}

const std::vector<std::string>& formatSpecifierKeys() { return vocabulary().keys; }

std::string formatSpecifierKeyForMenuTag(int tag) {
  if (tag < 0 || static_cast<std::size_t>(tag) >= kMenuTagKeys.size()) {
    return {};
  }
  const char* key = kMenuTagKeys[static_cast<std::size_t>(tag)];
  return key ? key : "";
}

std::string insertFormatSpecifierForMenuTag(int tag, const std::string& fieldText,
                                            std::optional<TextRange> selection) {
  const std::string group = "{" + formatSpecifierKeyForMenuTag(tag) + "}";
  if (!selection || !selection->found()) {
    return group;
  }
  std::u16string text = utf8ToUtf16(fieldText);
  const std::size_t location = std::min(selection->location, text.size());
  const std::size_t length = std::min(selection->length, text.size() - location);
  text.replace(location, length, utf8ToUtf16(group));
  return utf16ToUtf8(text);
}

}  // namespace quorvel
