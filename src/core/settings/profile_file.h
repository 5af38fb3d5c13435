#pragma once
// A profile (INI) file held as its lines, for reading and changing single
// keys while every other byte of the file stays as it was.
//
// Format rules:
// - A line ends at "\n"; "\r\n" counts as one line end and is kept as it
//   was. The last line may have no line end.
// - A section line is "[name]" (blanks around it and around the name are
//   allowed; text after the closing bracket is ignored).
// - A key line is "name=value" inside a section; name and value are read
//   without surrounding blanks (space and tab), and a value in double
//   quotes without them. Lines whose first non-blank character is ';' or
//   '#' are comments.
// - Every other line (comments, blank lines, garbage, key lines before the
//   first section) is kept byte for byte and otherwise ignored, as are NUL
//   bytes and text that is not UTF-8.
// - Section and key names match without regard to ASCII case.
// - Duplicates: only the first section of a name counts, and in it only the
//   first line of a key. Reads see that line and writes change that line;
//   later duplicates are kept as they are and never read.

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vantrel {

class CProfileFile {
public:
  CProfileFile() = default;
  explicit CProfileFile(std::string_view text);

  // The value of the key, or nothing when the section or key is missing.
  // A copy, so that it outlives the profile.
  std::optional<std::string> Get(std::string_view section, std::string_view key) const;

  // Replaces the value of the key in place, or adds the key after the last
  // key line of its section, or adds the section at the end of the file.
  // The names and the value must pass IsValidName and IsValidValue.
  void Set(std::string_view section, std::string_view key, std::string_view value);

  // The whole file as bytes, ready to be written.
  std::string Text() const;

  // Every section line, key line and unreadable line (neither blank, nor a
  // comment, nor a section or key) in file order, for files whose keys may
  // repeat and whose order matters. Duplicates are all listed here.
  struct Entry {
    enum class Kind { Section, Key, Unreadable };
    Kind kind = Kind::Unreadable;
    std::size_t line = 0; // 1-based
    std::string section;  // the section the line is in; empty before the first
    std::string key;      // Key: the name
    std::string value;    // Key: the value; Section: the name; Unreadable: the text
  };
  std::vector<Entry> Entries() const;

  // Names that can be stored: not empty, no blanks at either end, no line
  // end, and no character that would end the name early (']' in sections,
  // '=' in keys) or turn its line into a comment.
  static bool IsValidSectionName(std::string_view name);
  static bool IsValidKeyName(std::string_view name);
  // Values that keep the file's lines as they are: no CR or LF. Every such
  // value reads back exactly: one with blanks at either end, or in double
  // quotes itself, is stored in double quotes.
  static bool IsValidValue(std::string_view value);

private:
  enum class LineKind { Other, Section, Key };

  struct Line {
    std::string body;     // the line without its line end
    std::string_view end; // "", "\n" or "\r\n"
    LineKind kind = LineKind::Other;
    // Section and key lines: where the name lies in body. Offsets, not a
    // view, because moving a short string moves its characters.
    std::size_t nameBegin = 0;
    std::size_t nameSize = 0;
    std::size_t valueBegin = 0; // key lines: offset just after '='

    std::string_view Name() const { return std::string_view(body).substr(nameBegin, nameSize); }
  };

  static Line MakeLine(std::string body, std::string_view end);
  static void Classify(Line& line);

  // Index of the first section line with this name, or npos.
  std::size_t FindSection(std::string_view section) const;
  // Index one past the last line of the section that starts at index.
  std::size_t SectionEnd(std::size_t sectionIndex) const;
  // Index of the first key line with this name in the section, or npos.
  std::size_t FindKey(std::size_t sectionIndex, std::string_view key) const;
  // The line end for new lines: the first one the file uses, else "\n".
  std::string_view NewLineEnd() const;
  // Inserts a line at index, giving the line before it a line end if needed.
  void InsertLine(std::size_t index, std::string body);

  std::vector<Line> m_lines;
};

} // namespace vantrel
