#include "settings/settings.h"

#include "files/file_io.h"
#include "settings/profile_file.h"

#include <array>
#include <cerrno>
#include <cstdio>
#include <ctime>
#include <sys/stat.h>
#include <unistd.h>

namespace vantrel {

namespace {

std::string Quoted(const std::filesystem::path& path) {
  return "\"" + path.string() + "\"";
}

// Longer than the steps in which file times advance on Linux file systems.
constexpr int64_t kTimestampStepNs = 100'000'000;

int64_t RealTimeNs() {
  timespec now{};
  ::clock_gettime(CLOCK_REALTIME, &now);
  return now.tv_sec * 1'000'000'000LL + now.tv_nsec;
}

void PrintError(const std::string& sentence) {
  std::fputs(("vantrel: " + sentence + "\n").c_str(), stderr);
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
  if (std::optional<std::string> failure = CreateParentFolders(target)) {
    return failure;
  }
  // Never replace a file that could not be read: its other lines would be
  // lost.
  FileReadResult old = ReadWholeFile(target);
  if (old.status == FileReadResult::Status::Failed ||
      old.status == FileReadResult::Status::Unsuitable) {
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

SettingKey ControllerModeKey(uint8_t controller) {
  static const std::array<std::string, 128> names = [] {
    std::array<std::string, 128> all;
    for (std::size_t i = 0; i < all.size(); ++i) {
      all[i] = "CC" + std::to_string(i);
    }
    return all;
  }();
  return {kControllerModes, names[controller & 0x7F]};
}

CSettings::CSettings(std::filesystem::path profilePath, ProfileAccess access)
    : m_path(std::move(profilePath)), m_access(access) {}

const CProfileFile* CSettings::CurrentProfile() const {
  struct stat info {};
  if (::stat(m_path.c_str(), &info) != 0) {
    const int error = errno;
    m_cache.reset();
    if (error == ENOENT) {
      return nullptr;
    }
  }
  const FileIdentity identity{info.st_dev, info.st_ino, info.st_size,
                              info.st_mtim.tv_sec * 1'000'000'000LL + info.st_mtim.tv_nsec,
                              info.st_ctim.tv_sec * 1'000'000'000LL + info.st_ctim.tv_nsec};
  if (m_cache && m_cache->settled && m_cache->identity == identity) {
    return &m_cache->profile;
  }
  m_cache.reset();
  const int64_t readNs = RealTimeNs();
  const FileReadResult file = ReadWholeFile(m_path);
  if (file.status == FileReadResult::Status::Missing) {
    return nullptr;
  }
  if (file.status != FileReadResult::Status::Read) {
    if (!m_readWarningShown) {
      m_readWarningShown = true;
      PrintError("cannot read the profile " + Quoted(m_path) + " (" + file.error +
                 "), so default settings are used.");
    }
    return nullptr;
  }
  if (file.text.size() > kLargeProfileBytes && !m_sizeWarningShown) {
    m_sizeWarningShown = true;
    PrintError("the profile " + Quoted(m_path) + " is " +
               std::to_string(file.text.size() / 1024 / 1024) +
               " MB, where a few kilobytes are usual; reading and saving it is slow.");
  }
  // File times tick in steps of a few milliseconds: a file changed this
  // close before it was read may change again without a new time, so it is
  // read again next time.
  const bool settled = readNs - identity.modifiedNs > kTimestampStepNs;
  m_cache = CachedProfile{identity, settled, CProfileFile(file.text)};
  return &m_cache->profile;
}

std::string CSettings::Read(const SettingKey& key) const {
  const CProfileFile* profile = CurrentProfile();
  if (profile == nullptr) {
    return {};
  }
  return profile->Get(key.section, key.name).value_or(std::string());
}

bool CSettings::Write(const SettingKey& key, std::string_view text) {
  const SettingWrite write{key, std::string(text)};
  return WriteMany(std::span(&write, 1));
}

bool CSettings::WriteMany(std::span<const SettingWrite> writes) {
  if (writes.empty() || m_access == ProfileAccess::ReadOnly) {
    return true;
  }
  // A profile that is a symbolic link stays one: its target is written.
  const std::optional<std::filesystem::path> target = WriteTarget(m_path);
  const std::optional<std::string> failure =
      target ? StoreKeys(*target, writes) : std::string("its symbolic links form a loop");
  m_cache.reset();
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
