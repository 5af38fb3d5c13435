// The settings store on a full profile: one key read, one durable key
// write, and the 65 writes of an orderly exit. The profile lives in a fresh
// folder under TMPDIR; point TMPDIR at the disk to measure.

#include "settings/settings.h"
#include "mixer/catalogue.h"
#include "pages/page_table.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdlib>
#include <vector>

namespace {

using vantrel::CSettings;
using vantrel::SettingKey;

std::vector<SettingKey> AllKeys() {
  std::vector<SettingKey> keys = {vantrel::kActivePageKey, vantrel::kDefaultMidiInKey,
                                  vantrel::kDefaultMidiOutKey, vantrel::kDefaultMidiOutChannelKey};
  for (const vantrel::Parameter& p : vantrel::kCatalogue) {
    keys.push_back(vantrel::CcMappingKey(p.key));
  }
  return keys;
}

std::filesystem::path MakeFolder() {
  std::string pattern = (std::filesystem::temp_directory_path() / "vantrel-bench-XXXXXX").string();
  if (::mkdtemp(pattern.data()) == nullptr) {
    std::abort();
  }
  return pattern;
}

// A full profile in a folder of its own, removed afterwards.
class CFullProfile {
public:
  CFullProfile() : m_folder(MakeFolder()), m_settings(m_folder / "vantrel.INI") {
    for (const SettingKey& key : AllKeys()) {
      m_settings.WriteInt(key, 127);
    }
  }
  ~CFullProfile() {
    std::error_code error;
    std::filesystem::remove_all(m_folder, error);
  }
  CFullProfile(const CFullProfile&) = delete;
  CFullProfile& operator=(const CFullProfile&) = delete;

  CSettings& Settings() { return m_settings; }

private:
  std::filesystem::path m_folder;
  CSettings m_settings;
};

void ReadOneKey(benchmark::State& state) {
  CFullProfile profile;
  const SettingKey key = vantrel::CcMappingKey("U4PanCC");
  for (auto _ : state) {
    benchmark::DoNotOptimize(profile.Settings().Read(key));
  }
}
BENCHMARK(ReadOneKey);

void WriteOneKeyDurably(benchmark::State& state) {
  CFullProfile profile;
  const SettingKey key = vantrel::CcMappingKey("U4PanCC");
  int32_t value = 0;
  for (auto _ : state) {
    // A new value each time, so that every write replaces the file.
    if (!profile.Settings().WriteInt(key, value++ % 128)) {
      state.SkipWithError("the write failed");
      break;
    }
  }
}
BENCHMARK(WriteOneKeyDurably)->Unit(benchmark::kMillisecond);

// Writes `value` to every key: one WriteMany per group of keys (each group
// ends at one of `groupEnds`), or one WriteInt per key without groups.
bool WriteRound(CSettings& settings, const std::vector<SettingKey>& keys,
                const std::vector<std::size_t>& groupEnds, int32_t value) {
  if (groupEnds.empty()) {
    return std::ranges::all_of(
        keys, [&](const SettingKey& key) { return settings.WriteInt(key, value); });
  }
  std::size_t next = 0;
  for (const std::size_t end : groupEnds) {
    std::vector<vantrel::SettingWrite> writes;
    for (std::size_t i = next; i < end; ++i) {
      writes.push_back({keys[i], vantrel::FormatProfileInt(value)});
    }
    next = end;
    if (!settings.WriteMany(writes)) {
      return false;
    }
  }
  return true;
}

// Every key once an iteration, with a new value each time, as WriteRound
// writes them.
void WriteAllKeys(benchmark::State& state, const std::vector<std::size_t>& groupEnds) {
  CFullProfile profile;
  const std::vector<SettingKey> keys = AllKeys();
  int32_t value = 0;
  for (auto _ : state) {
    ++value;
    if (!WriteRound(profile.Settings(), keys, groupEnds, value % 128)) {
      state.SkipWithError("the write failed");
      return;
    }
  }
}

void WriteAll65Keys(benchmark::State& state) {
  WriteAllKeys(state, {});
}
BENCHMARK(WriteAll65Keys)->Unit(benchmark::kMillisecond);

// The exit as callers should write it: the four options, then each page's
// controller numbers, one WriteMany each.
void WriteAll65KeysGroupedByPage(benchmark::State& state) {
  // The four options, then one group per page: the catalogue keeps each
  // page's rows together.
  std::vector<std::size_t> groupEnds = {4};
  for (std::size_t row = 1; row <= vantrel::kCatalogue.size(); ++row) {
    if (row == vantrel::kCatalogue.size() ||
        vantrel::PageOfRow(row) != vantrel::PageOfRow(row - 1)) {
      groupEnds.push_back(4 + row);
    }
  }
  WriteAllKeys(state, groupEnds);
}
BENCHMARK(WriteAll65KeysGroupedByPage)->Unit(benchmark::kMillisecond);

void WriteAll65KeysAtOnce(benchmark::State& state) {
  WriteAllKeys(state, {AllKeys().size()});
}
BENCHMARK(WriteAll65KeysAtOnce)->Unit(benchmark::kMillisecond);

// An exit where nothing changed since start-up: every write finds its value
// already in the file and leaves the file alone.
void WriteAll65KeysUnchanged(benchmark::State& state) {
  CFullProfile profile;
  const std::vector<SettingKey> keys = AllKeys();
  for (auto _ : state) {
    for (const SettingKey& key : keys) {
      profile.Settings().WriteInt(key, 127);
    }
  }
}
BENCHMARK(WriteAll65KeysUnchanged)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
