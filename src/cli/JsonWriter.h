#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace quorvel::cli {

// Writes JSON text straight into a string, laid out as the CLI has always
// printed it: two spaces per level, "key": value, empty containers as {} and
// []. Reading a whole library prints thousands of records; building a
// document tree for each only to print it costs more than reading the tags.
// Not thread-safe; one writer per thread.
class JsonWriter {
 public:
  // Starts at nesting `depth`: the first line is not indented (the caller
  // places it), inner lines are indented for depth + 1 and up.
  explicit JsonWriter(int depth = 0);

  void beginObject();
  void endObject();
  void beginArray();
  void endArray();
  // The name of the next member of the current object.
  void key(std::string_view name);
  // Text; bytes that are not UTF-8 are replaced with U+FFFD.
  void string(std::string_view text);
  void integer(std::int64_t value);
  // A number in its shortest exact form; null when it is not finite.
  void number(double value);
  void boolean(bool value);
  void null();

  // The text so far. Valid JSON once every container is closed.
  const std::string& text() const { return out_; }
  std::string take() { return std::move(out_); }

 private:
  void beforeValue();
  void newline(int depth);
  void open(char bracket);
  void close(char bracket);
  void appendString(std::string_view text);

  std::string out_;
  int baseDepth_;
  // Per open container: whether it has a member yet.
  std::vector<bool> filled_;
  bool afterKey_ = false;
};

}  // namespace quorvel::cli
