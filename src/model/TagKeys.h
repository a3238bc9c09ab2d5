#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace quorvel {

// The vocabulary of canonical tag keys ("ALBUM", "TRACKNUMBER", ...) and of the
// source keys ("_FILENAME", ...) that address a record's read-only properties.
// Everything here is fixed at build time: no function fails and every one may
// be called from any thread.

// The 96 canonical tag keys, sorted byte-wise.
const std::vector<std::string>& allTagKeys();

// The 16 source keys (each begins with "_"), sorted byte-wise.
const std::vector<std::string>& allSourceKeys();

// The keys the tag-mappings preferences offer overrides for: every canonical
// key except "EPISODEGLOBALID" and those beginning with "ITUN",
// "MUSICBRAINZ_", "PODCAST" or "TV" (70 keys), sorted.
const std::vector<std::string>& mappableInternalKeys();

// The localised display name of `key`, matched case-insensitively against the
// canonical keys ("album" gives "Album"). A key that has no display name
// ("WORK", source keys, unknown keys) is returned unchanged.
std::string tagDisplayName(const std::string& key);

// The localised one-sentence description of `key`, matched like
// tagDisplayName. A key without one ("WORK", unknown keys) is returned unchanged.
std::string tagDescription(const std::string& key);

// True when `key` is one of the 96 canonical keys (exact, case included).
bool isCanonicalTagKey(std::string_view key);

// `name` upper-cased the way the tag tables compare names: ASCII directly,
// anything else through Unicode's full upper-case mapping ("ß" gives "SS").
std::string uppercaseTagName(std::string_view name);

}  // namespace quorvel
