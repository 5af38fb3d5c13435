#pragma once
// Eight page models over a recording mixer, a recording MIDI sink and a
// profile in a temporary folder, as the main window would hold them.

#include "pages/page_model.h"
#include "pages/page_table.h"
#include "settings/settings.h"
#include "state/bridge_context.h"
#include "support/recording_mixer.h"
#include "support/recording_sink.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <array>
#include <memory>
#include <string>
#include <vector>

namespace vantrel::test {

// Counts what a page model asks of its view.
class RecordingView : public IPageView {
public:
  std::vector<std::pair<std::size_t, int>> faders;
  int shows = 0;
  std::vector<std::size_t> strips; // shown one by one
  void ShowFaderValue(std::size_t strip, int value) override { faders.emplace_back(strip, value); }
  void ShowMembers() override { ++shows; }
  void ShowStrip(std::size_t strip) override { strips.push_back(strip); }
};

class PageFixture {
public:
  TempDir dir;
  CSettings settings{dir.Path() / "vantrel.INI"};
  RecordingMixer mixer;
  RecordingSink sink;
  BridgeContext context;
  std::array<std::unique_ptr<CPageModel>, kPageCount> pages;

  PageFixture() {
    context.mixer = &mixer;
    context.midiOut = &sink;
    context.settings = &settings;
  }
  // Creates and initialises the eight pages in the order they are added.
  void CreatePages() {
    for (int templateId : kTemplateOrder) {
      const PageDef* def = PageByTemplate(templateId);
      auto& slot = pages[static_cast<std::size_t>(def->number - 1)];
      slot = std::make_unique<CPageModel>(*def, context);
      slot->OnInit();
    }
  }
  CPageModel& Page(int number) { return *pages[static_cast<std::size_t>(number - 1)]; }
  // Maps a catalogue row to a controller number through its page's field.
  void Map(std::size_t row, int32_t controller) {
    CPageModel& page = Page(PageOfRow(row));
    std::vector<std::string> texts;
    for (std::size_t i = 0; i < page.StripCount(); ++i) {
      texts.push_back(std::to_string(page.Controller(i)));
    }
    texts[*page.StripOfRow(row)] = std::to_string(controller);
    ASSERT_EQ(page.Commit(texts).error, CommitError::None);
  }
};

} // namespace vantrel::test
