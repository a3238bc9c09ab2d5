#pragma once

#include <string>

namespace quorvel {

// Looks `text` up in the localised string table `table` ("tag_names",
// "tag_descriptions", ...), with the English text as the key. Returns the
// translation, or `text` itself when the table has none. No translations ship
// yet, so every text comes back unchanged. Never fails; any thread.
std::string localizedString(const std::string& text, const std::string& table);

}  // namespace quorvel
