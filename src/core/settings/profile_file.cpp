#include "settings/profile_file.h"

#include "text/ascii_text.h"

#include <algorithm>

namespace vantrel {

namespace {

constexpr std::string_view kLf = "\n";
constexpr std::string_view kCrLf = "\r\n";
constexpr std::size_t npos = std::string_view::npos;

bool IsQuoted(std::string_view text) {
  return text.size() >= 2 && text.front() == '"' && text.back() == '"';
}

// What a key line's text after '=' reads as: without surrounding blanks, and
// without one pair of double quotes around it.
std::string ValueOf(std::string_view text) {
  text = TrimBlanks(text);
  if (IsQuoted(text)) {
    text = text.substr(1, text.size() - 2);
  }
  return std::string(text);
}

// How a value is written so that ValueOf reads it back exactly: in double
// quotes when it has blanks at either end (a device name " Synth") or is in
// quotes itself.
std::string StoredValue(std::string_view value) {
  if (!value.empty() && (IsBlank(value.front()) || IsBlank(value.back()) || IsQuoted(value))) {
    return "\"" + std::string(value) + "\"";
  }
  return std::string(value);
}

bool HasLineEnd(std::string_view text) {
  return text.find_first_of("\r\n") != npos;
}

bool IsValidName(std::string_view name) {
  return !name.empty() && !IsBlank(name.front()) && !IsBlank(name.back()) && !HasLineEnd(name);
}

} // namespace

CProfileFile::CProfileFile(std::string_view text) {
  std::size_t start = 0;
  while (start < text.size()) {
    const std::size_t newline = text.find('\n', start);
    if (newline == npos) {
      m_lines.push_back(MakeLine(std::string(text.substr(start)), ""));
      break;
    }
    std::string_view body = text.substr(start, newline - start);
    std::string_view end = kLf;
    if (!body.empty() && body.back() == '\r') {
      body.remove_suffix(1);
      end = kCrLf;
    }
    m_lines.push_back(MakeLine(std::string(body), end));
    start = newline + 1;
  }
}

CProfileFile::Line CProfileFile::MakeLine(std::string body, std::string_view end) {
  Line line{std::move(body), end};
  Classify(line);
  return line;
}

void CProfileFile::Classify(Line& line) {
  const std::string_view body = line.body;
  const std::string_view trimmed = TrimBlanks(body);
  line.kind = LineKind::Other;
  if (trimmed.empty() || trimmed.front() == ';' || trimmed.front() == '#') {
    return;
  }
  if (trimmed.front() == '[') {
    const std::size_t close = trimmed.find(']');
    if (close == npos) {
      return;
    }
    const std::string_view name = TrimBlanks(trimmed.substr(1, close - 1));
    line.kind = LineKind::Section;
    line.nameBegin = static_cast<std::size_t>(name.data() - body.data());
    line.nameSize = name.size();
    return;
  }
  const std::size_t equals = body.find('=');
  if (equals == npos) {
    return;
  }
  const std::string_view name = TrimBlanks(body.substr(0, equals));
  if (name.empty()) {
    return;
  }
  line.kind = LineKind::Key;
  line.nameBegin = static_cast<std::size_t>(name.data() - body.data());
  line.nameSize = name.size();
  line.valueBegin = equals + 1;
}

std::size_t CProfileFile::FindSection(std::string_view section) const {
  for (std::size_t i = 0; i < m_lines.size(); ++i) {
    if (m_lines[i].kind == LineKind::Section &&
        EqualsIgnoringAsciiCase(m_lines[i].Name(), section)) {
      return i;
    }
  }
  return npos;
}

std::size_t CProfileFile::SectionEnd(std::size_t sectionIndex) const {
  std::size_t i = sectionIndex + 1;
  while (i < m_lines.size() && m_lines[i].kind != LineKind::Section) {
    ++i;
  }
  return i;
}

std::size_t CProfileFile::FindKey(std::size_t sectionIndex, std::string_view key) const {
  const std::size_t end = SectionEnd(sectionIndex);
  for (std::size_t i = sectionIndex + 1; i < end; ++i) {
    if (m_lines[i].kind == LineKind::Key && EqualsIgnoringAsciiCase(m_lines[i].Name(), key)) {
      return i;
    }
  }
  return npos;
}

std::optional<std::string> CProfileFile::Get(std::string_view section, std::string_view key) const {
  const std::size_t sectionIndex = FindSection(section);
  if (sectionIndex == npos) {
    return std::nullopt;
  }
  const std::size_t keyIndex = FindKey(sectionIndex, key);
  if (keyIndex == npos) {
    return std::nullopt;
  }
  const Line& line = m_lines[keyIndex];
  return ValueOf(std::string_view(line.body).substr(line.valueBegin));
}

void CProfileFile::Set(std::string_view section, std::string_view key,
                       std::string_view plainValue) {
  const std::string value = StoredValue(plainValue);
  const std::size_t sectionIndex = FindSection(section);
  if (sectionIndex == npos) {
    // A blank line keeps the new section apart from the text before it.
    if (!m_lines.empty() && !TrimBlanks(m_lines.back().body).empty()) {
      InsertLine(m_lines.size(), "");
    }
    InsertLine(m_lines.size(), "[" + std::string(section) + "]");
    InsertLine(m_lines.size(), std::string(key) + "=" + value);
    return;
  }
  const std::size_t keyIndex = FindKey(sectionIndex, key);
  if (keyIndex != npos) {
    // Keep the name as spelt and the blanks after '='; only the value changes.
    Line& line = m_lines[keyIndex];
    std::size_t valueStart = line.valueBegin;
    while (valueStart < line.body.size() && IsBlank(line.body[valueStart])) {
      ++valueStart;
    }
    line.body.replace(valueStart, npos, value);
    return;
  }
  std::size_t insertAt = sectionIndex + 1;
  const std::size_t end = SectionEnd(sectionIndex);
  for (std::size_t i = sectionIndex + 1; i < end; ++i) {
    if (m_lines[i].kind == LineKind::Key) {
      insertAt = i + 1;
    }
  }
  InsertLine(insertAt, std::string(key) + "=" + value);
}

std::vector<CProfileFile::Entry> CProfileFile::Entries() const {
  std::vector<Entry> entries;
  std::string section;
  for (std::size_t i = 0; i < m_lines.size(); ++i) {
    const Line& line = m_lines[i];
    Entry entry;
    entry.line = i + 1;
    switch (line.kind) {
    case LineKind::Section:
      section = std::string(line.Name());
      entry.kind = Entry::Kind::Section;
      entry.value = section;
      break;
    case LineKind::Key:
      entry.kind = Entry::Kind::Key;
      entry.key = std::string(line.Name());
      entry.value = ValueOf(std::string_view(line.body).substr(line.valueBegin));
      break;
    case LineKind::Other: {
      const std::string_view text = TrimBlanks(line.body);
      if (text.empty() || text.front() == ';' || text.front() == '#') {
        continue;
      }
      entry.value = std::string(text);
      break;
    }
    }
    entry.section = section;
    entries.push_back(std::move(entry));
  }
  return entries;
}

std::string_view CProfileFile::NewLineEnd() const {
  for (const Line& line : m_lines) {
    if (!line.end.empty()) {
      return line.end;
    }
  }
  return kLf;
}

void CProfileFile::InsertLine(std::size_t index, std::string body) {
  const std::string_view end = NewLineEnd();
  if (index > 0 && m_lines[index - 1].end.empty()) {
    m_lines[index - 1].end = end;
  }
  m_lines.insert(m_lines.begin() + static_cast<std::ptrdiff_t>(index),
                 MakeLine(std::move(body), end));
}

std::string CProfileFile::Text() const {
  std::size_t size = 0;
  for (const Line& line : m_lines) {
    size += line.body.size() + line.end.size();
  }
  std::string text;
  text.reserve(size);
  for (const Line& line : m_lines) {
    text += line.body;
    text += line.end;
  }
  return text;
}

bool CProfileFile::IsValidSectionName(std::string_view name) {
  return IsValidName(name) && name.find(']') == npos;
}

bool CProfileFile::IsValidKeyName(std::string_view name) {
  return IsValidName(name) && name.find('=') == npos && name.front() != ';' &&
         name.front() != '#' && name.front() != '[';
}

bool CProfileFile::IsValidValue(std::string_view value) {
  return !HasLineEnd(value);
}

} // namespace vantrel
