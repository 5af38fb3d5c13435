#include "settings/settings.h"

#include "settings/file_io.h"
#include "settings/profile_file.h"

#include <cerrno>
#include <cstdio>
#include <system_error>
#include <unistd.h>

namespace vantrel {

namespace {

std::string Quoted(const std::filesystem::path& path) {
  return "\"" + path.string() + "\"";
}

void PrintError(const std::string& sentence) {
  std::fputs(("vantrel: " + sentence + "\n").c_str(), stderr);
}

// Writes go through a symbolic link to the file it names, so that a linked
// profile stays linked.
std::filesystem::path WriteTarget(const std::filesystem::path& path) {
  std::error_code error;
  if (std::filesystem::is_symlink(path, error)) {
    std::filesystem::path resolved = std::filesystem::weakly_canonical(path, error);
    if (!error) {
      return resolved;
    }
  }
  return path;
}

// Why the keys cannot be stored at target, or nothing once they are stored.
std::optional<std::string> StoreKeys(const std::filesystem::path& target,
                                     std::span<const SettingWrite> writes) {
  for (const SettingWrite& write : writes) {
    if (!CProfileFile::IsValidSectionName(write.key.section) ||
        !CProfileFile::IsValidKeyName(write.key.name)) {
      return std::string("a section or key name cannot be stored in a profile");
    }
    if (!CProfileFile::IsValidValue(write.text)) {
      return std::string("a value holds a line end");
    }
  }
  std::error_code error;
  const std::filesystem::path folder = target.parent_path();
  if (!folder.empty()) {
    std::filesystem::create_directories(folder, error);
    if (error) {
      return "its folder cannot be created (" + error.message() + ")";
    }
  }
  // Never replace a file that could not be read: its other lines would be
  // lost.
  FileReadResult old = ReadWholeFile(target);
  if (old.status == FileReadResult::Status::Failed) {
    return "the existing file cannot be read (" + old.error + ")";
  }
  // A file made read-only stays as it is, as it would if written in place.
  if (old.status == FileReadResult::Status::Read && ::access(target.c_str(), W_OK) != 0 &&
      errno == EACCES) {
    return std::string("the file is read-only");
  }
  CProfileFile profile(old.text);
  for (const SettingWrite& write : writes) {
    profile.Set(write.key.section, write.key.name, write.text);
  }
  std::string updated = profile.Text();
  if (old.status == FileReadResult::Status::Read && updated == old.text) {
    return std::nullopt;
  }
  return ReplaceFileAtomically(target, updated, old);
}

} // namespace

CSettings::CSettings(std::filesystem::path profilePath) : m_path(std::move(profilePath)) {}

std::string CSettings::Read(const SettingKey& key) const {
  const FileReadResult file = ReadWholeFile(m_path);
  if (file.status == FileReadResult::Status::Failed) {
    if (!m_readWarningShown) {
      m_readWarningShown = true;
      PrintError("cannot read the profile " + Quoted(m_path) + " (" + file.error +
                 "), so default settings are used.");
    }
    return {};
  }
  return CProfileFile(file.text).Get(key.section, key.name).value_or(std::string());
}

bool CSettings::Write(const SettingKey& key, std::string_view text) {
  const SettingWrite write{key, std::string(text)};
  return WriteMany(std::span(&write, 1));
}

bool CSettings::WriteMany(std::span<const SettingWrite> writes) {
  if (writes.empty()) {
    return true;
  }
  const std::optional<std::string> failure = StoreKeys(WriteTarget(m_path), writes);
  if (failure) {
    const std::string first = "\"" + std::string(writes[0].key.name) + "\"";
    const std::string what =
        writes.size() == 1 ? first
                           : std::to_string(writes.size()) + " settings (" + first + " and others)";
    PrintError("cannot save " + what + " in the profile " + Quoted(m_path) + ": " + *failure + ".");
    return false;
  }
  return true;
}

int32_t CSettings::ReadInt(const SettingKey& key, int32_t fallback) const {
  const std::string text = Read(key);
  return text.empty() ? fallback : ParseProfileInt(text);
}

bool CSettings::WriteInt(const SettingKey& key, int32_t value) {
  return Write(key, FormatProfileInt(value));
}

} // namespace vantrel
