#pragma once

#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace quorvel {

class AudioMetadata;

// A run of UTF-16 code units in a format string, the unit in which the system
// counts characters. `location` is kNotFound when there is no such run.
struct TextRange {
  static constexpr std::size_t kNotFound = static_cast<std::size_t>(-1);
  std::size_t location = kNotFound;
  std::size_t length = 0;

  bool found() const { return location != kNotFound; }
  std::size_t end() const { return location + length; }
  friend bool operator==(const TextRange& a, const TextRange& b) = default;
};

// How an expansion renders values. The defaults (everything off, no
// replacement text) are those of copy tag to tag, artwork extraction and the
// artwork file beside an audio file.
struct FormatExpansionOptions {
  // "TRACKNUMBER" and "TRACKTOTAL" with at least two digits ("03").
  bool twoDigitTrackNumbers = false;
  // "DISCNUMBER" and "DISCTOTAL" likewise.
  bool twoDigitDiscNumbers = false;
  // An empty "TRACKTITLE" becomes the file's name without its extension.
  bool filenameWhenTitleIsMissing = false;
  // Empty "TRACKTITLE", "TRACKARTIST", "ALBUMARTIST", "ALBUM", "COMPOSER" and
  // "GENRE" become "Untitled", "Unknown Artist", "Unknown Album", ...
  bool fallbackWords = false;
  // Values are made safe as one path component: ":" becomes `replacement`,
  // then "/" becomes ":".
  bool filenameMode = false;
  // What replaces ":" in values in file-name mode; none means "".
  std::optional<std::string> replacement;
};

// The text of one placeholder as a record gives it: for a tag key the string
// form of the record's value (empty when it has none), for a source key
// ("_BITRATE", ...) the property rendered as text. Called with vocabulary
// keys, with custom names written in a group, and with "_FILENAME" for the
// missing-title option.
using FormatValueForKey = std::function<std::string(const std::string& key)>;

// A mutable format string with the operations on its bracketed groups. A
// group is "{", text, "}"; groups nest.
//
// Text put in by replaceFormatSpecifier is a value, not format: its braces
// never open or close a group and its words are never taken as specifiers by
// any later operation on this object. That is what makes the expansion of a
// value that itself reads "{TRACKTITLE}" end. Text given to the constructor is
// all format. A value type; one thread at a time.
class FormatSpecifiers {
 public:
  FormatSpecifiers() = default;
  // `text` is UTF-8; invalid sequences become U+FFFD.
  explicit FormatSpecifiers(std::string_view text);
  explicit FormatSpecifiers(std::u16string text);

  // The current text, as UTF-8 or as the UTF-16 the ranges count in.
  std::string string() const;
  const std::u16string& utf16() const { return text_; }

  // The group to expand next: the rightmost of the groups at the deepest
  // nesting level, braces included. Unmatched braces stay literal (a "}"
  // without its "{" may make the depth negative). Not found when there is no
  // group. Linear in the length.
  TextRange rangeOfDeepestBracketContainingAnyFormatSpecifier() const;

  // The rightmost of the deepest groups whose text contains one of
  // `specifiers` (each taken with or without its braces); not found when no
  // group does.
  TextRange rangeOfDeepestBracketContainingAnyFormatSpecifierInArray(
      const std::vector<std::string>& specifiers) const;

  // Within `range` (clipped to the text), for each group whose inner text
  // contains `specifier` (its braces at either end ignored): removes the
  // group's braces and replaces every occurrence of the specifier in its
  // inner text with `string` (case-sensitive). An empty specifier matches
  // nothing. The inserted text counts as a value from then on.
  void replaceFormatSpecifier(std::string_view specifier, std::string_view string, TextRange range);
  // The same over the whole text.
  void replaceFormatSpecifier(std::string_view specifier, std::string_view string);

  // Within `range` (clipped to the text), deletes each whole group, braces
  // included, whose inner text contains `specifier`.
  void removeFormatSpecifier(std::string_view specifier, TextRange range);
  // The same over the whole text.
  void removeFormatSpecifier(std::string_view specifier);

 private:
  friend std::string expandFormatSpecifiers(std::string_view format,
                                            const FormatValueForKey& valueForKey,
                                            const FormatExpansionOptions& options);

  bool isFormat(std::size_t i) const { return !inserted_[i]; }
  std::size_t findFormat(std::u16string_view needle, std::size_t from, std::size_t to) const;
  std::size_t findFormatUnit(char16_t unit, std::size_t from, std::size_t to) const;
  std::u16string placeholderInGroup(TextRange group) const;
  void replaceInRange(const std::u16string& needle, const std::u16string& replacement,
                      TextRange range);
  void erase(std::size_t location, std::size_t length);
  void insertValue(std::size_t location, const std::u16string& value);

  std::u16string text_;
  std::vector<bool> inserted_;  // parallel to text_: true for units of inserted values
};

// Expands `format` (UTF-8) against the values `valueForKey` gives, and
// returns the result as UTF-8. Groups are expanded deepest first; a group
// whose placeholder is empty vanishes with its literal text, otherwise its
// braces go and the placeholder is replaced by the value. Text outside groups,
// "/" included, is kept. An empty format reads "{sourceFilename}". Values are
// never expanded again, so the expansion always ends, after at most one pass
// per "{" of the format. Never fails; any thread, as far as `valueForKey` allows.
std::string expandFormatSpecifiers(std::string_view format, const FormatValueForKey& valueForKey,
                                   const FormatExpansionOptions& options = {});

// Expands `format` against `record`, its values read by
// formatSpecifierValueForKey. This is the call of every user of format strings;
// the default options are those of copy tag to tag, artwork extraction and the
// artwork file beside an audio file. Never fails. Call it on the thread that
// holds the record.
std::string expandFormatSpecifiers(std::string_view format, const AudioMetadata& record,
                                   const FormatExpansionOptions& options = {});

// The text of placeholder `key` in `record`, before any expansion option: a
// tag key (or custom name) gives the string form of its first value, empty
// when there is none; the source keys give "_FILENAME" the file name without
// extension, "_FILEFULLPATH" the path, "_FILEEXTENSION" the extension without
// the dot, "_BITRATE", "_SAMPLERATE", "_CHANNELS", "_SAMPLESIZE" the number in
// decimal, "_BITRATEMETHOD", "_CHANNELMODE", "_FILEFORMAT", "_FILEKIND",
// "_TAGFORMAT" the text, "_FILEDATEMODIFIED" and "_FILEDATECREATED" the date in
// the locale's short date and time styles, "_FILESIZE" and "_FILELENGTH" the
// texts of FileSizeFormatter and SecondsFormatter. An absent property gives "".
std::string formatSpecifierValueForKey(const AudioMetadata& record, const std::string& key);

// The placeholder vocabulary: every canonical tag key and every source key,
// longest first, keys of equal length in byte-wise order. Built once; any thread.
const std::vector<std::string>& formatSpecifierKeys();

// The key that the format fields' pop-up item `tag` inserts ("ALBUM" for 1,
// "_FILENAME" for 16, ...); empty for 17, 30 and any tag outside 1 to 42.
std::string formatSpecifierKeyForMenuTag(int tag);

// The text of a format field after inserting the group of pop-up item `tag`
// ("{ALBUM}", or "{}"): with `selection` (UTF-16 units of a field being
// edited, clipped to the text) it replaces the selection, without it the
// whole field becomes the group.
std::string insertFormatSpecifierForMenuTag(int tag, const std::string& fieldText,
                                            std::optional<TextRange> selection);

}  // namespace quorvel
