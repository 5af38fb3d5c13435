#include "pages/page_table.h"

#include "mixer/catalogue.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <set>

namespace vantrel {
namespace {

TEST(PageTable, EveryRowBelongsToExactlyOneStripOfItsOwnPageInCatalogueOrder) {
  std::set<std::size_t> rows;
  for (const PageDef& page : kPages) {
    EXPECT_EQ(PageByNumber(page.number), &page);
    EXPECT_EQ(PageByTemplate(page.templateId), &page);
    std::size_t last = 0;
    for (std::size_t i = 0; i < page.strips.size(); ++i) {
      const StripDef& strip = page.strips[i];
      EXPECT_EQ(PageOfRow(strip.row), page.number) << page.name << " " << i;
      if (i > 0) {
        EXPECT_GT(strip.row, last) << page.name;
      }
      EXPECT_EQ(strip.row, page.strips.front().row + i) << page.name << " rows are consecutive";
      last = strip.row;
      EXPECT_TRUE(rows.insert(strip.row).second);
    }
  }
  EXPECT_EQ(rows.size(), kParameterCount);
  EXPECT_EQ(PageOfRow(kParameterCount), 0);
}

TEST(PageTable, OrdersArePermutationsOfTheStrips) {
  for (const PageDef& page : kPages) {
    std::vector<std::size_t> exchange(page.exchangeOrder.begin(), page.exchangeOrder.end());
    std::sort(exchange.begin(), exchange.end());
    std::vector<int> spins(page.spinOrder.begin(), page.spinOrder.end());
    std::vector<int> stripSpins;
    for (std::size_t i = 0; i < page.strips.size(); ++i) {
      EXPECT_EQ(exchange[i], i) << page.name;
      stripSpins.push_back(page.strips[i].ids.spin);
    }
    std::sort(spins.begin(), spins.end());
    std::sort(stripSpins.begin(), stripSpins.end());
    EXPECT_EQ(spins, stripSpins) << page.name;
  }
}

TEST(PageTable, ControlIdsAreUniqueWithinEachPage) {
  for (const PageDef& page : kPages) {
    std::set<int> ids;
    for (const StripDef& strip : page.strips) {
      for (int id : {strip.ids.fader, strip.ids.readout, strip.ids.edit, strip.ids.spin,
                     strip.ids.label}) {
        if (id != 0) {
          EXPECT_TRUE(ids.insert(id).second) << page.name << " id " << id;
        }
      }
    }
  }
}

TEST(PageTable, ChooserListsUser5Last) {
  const char* const names[] = {"Master",      "Analog 1 & 2", "Analog 3 & 4", "Digital 1 & 2",
                               "Wave & Midi", "User 1 & 2",   "User 3 & 4",   "User 5 & NRPN"};
  for (int item = 0; item < kPageCount; ++item) {
    const int number = PageOfChooserItem(item);
    EXPECT_EQ(PageByNumber(number)->name, names[item]);
    EXPECT_EQ(ChooserItemOfPage(number), item);
  }
  EXPECT_EQ(PageOfChooserItem(-1), 0);
  EXPECT_EQ(PageOfChooserItem(8), 0);
  EXPECT_EQ(ChooserItemOfPage(0), -1);
  EXPECT_EQ(ChooserItemOfPage(9), -1);
}

} // namespace
} // namespace vantrel
