// The profile file: any bytes read and written back come out byte for byte,
// storing one key reads back exactly, changes that key's line in place (or adds lines at one
// place) and keeps every other line as it was.
//
// Input: three short strings (section, key, value), then the file.

#include "settings/profile_file.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

using vantrel::CProfileFile;

// The lines of text, each with its line end as written.
std::vector<std::string_view> Lines(std::string_view text) {
  std::vector<std::string_view> lines;
  while (!text.empty()) {
    const std::size_t size = std::min(text.find('\n'), text.size() - 1) + 1;
    lines.push_back(text.substr(0, size));
    text.remove_prefix(size);
  }
  return lines;
}

// Whether a line of the old file is still there as it was: byte for byte,
// where a last line without a line end may have gained one.
bool Kept(std::string_view old, std::string_view now) {
  if (old == now) {
    return true;
  }
  if (old.ends_with('\n') || !now.starts_with(old)) {
    return false;
  }
  now.remove_prefix(old.size());
  return now == "\n" || now == "\r\n";
}

// Whether after is before with at most one line changed in its place, or
// with lines inserted at one place (a key added to its section, or a
// section added at the end).
bool ChangesOneLineOrInsertsAtOnePlace(std::string_view before, std::string_view after) {
  const std::vector<std::string_view> old = Lines(before);
  const std::vector<std::string_view> now = Lines(after);
  if (now.size() < old.size()) {
    return false;
  }
  const std::size_t inserted = now.size() - old.size();
  std::size_t same = 0;
  while (same < old.size() && Kept(old[same], now[same])) {
    ++same;
  }
  if (same == old.size()) {
    return true;
  }
  const std::size_t from = inserted == 0 ? same + 1 : same;
  for (std::size_t i = from; i < old.size(); ++i) {
    if (!Kept(old[i], now[i + inserted])) {
      return false;
    }
  }
  return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  FuzzedDataProvider input(data, size);
  const std::string section = input.ConsumeRandomLengthString(24);
  const std::string key = input.ConsumeRandomLengthString(24);
  const std::string value = input.ConsumeRandomLengthString(24);
  const std::string text = input.ConsumeRemainingBytesAsString();

  CProfileFile profile(text);
  if (profile.Text() != text) {
    std::abort();
  }
  if (!CProfileFile::IsValidSectionName(section) || !CProfileFile::IsValidKeyName(key) ||
      !CProfileFile::IsValidValue(value)) {
    return 0;
  }
  profile.Set(section, key, value);
  const std::string written = profile.Text();
  const CProfileFile reread(written);
  const std::optional<std::string> stored = reread.Get(section, key);
  if (!stored || *stored != value || reread.Text() != written ||
      !ChangesOneLineOrInsertsAtOnePlace(text, written)) {
    std::abort();
  }
  return 0;
}
