#pragma once
// The eight mixer pages as data: which catalogue rows each page shows, the
// control ids of each strip, and the orders in which a page visits its
// strips. Every page routine works from this table; no page has code of its
// own.

#include <array>
#include <cstddef>
#include <span>
#include <string_view>

#include "state/app_state.h"

namespace vantrel {

struct Parameter;

// Where an aux strip's label comes from.
enum class LabelSource : unsigned char {
  None,    // a fixed caption, or no aux strip
  Bus,     // the bus in the parameter's first argument (Master aux faders)
  SendBus, // the bus that the strip's send feeds, asked with GetSendBus
};

struct StripControls {
  int readout;
  int fader;
  int edit; // the CC field
  int spin;
  int label; // 0 where the name above the read-out is a fixed caption
};

struct StripDef {
  std::size_t row; // index in kCatalogue
  StripControls ids;
  LabelSource label;
};

struct PageDef {
  int number;     // current page number 1..8
  int templateId; // dialog template
  std::string_view name;
  // Strips in the page's load, save, refresh and fader order, which is also
  // the catalogue's order: consecutive catalogue rows.
  std::span<const StripDef> strips;
  // Strip indices in the order a commit visits the CC fields; a commit stops
  // at the first field it refuses.
  std::span<const std::size_t> exchangeOrder;
  // Spin ids in the order their ranges are set.
  std::span<const int> spinOrder;
  bool effectChoosers; // the four effect choosers of User 5 & NRPN
};

// The pages' dialog templates.
inline constexpr int kMasterPageTemplate = 129;
inline constexpr int kAnalog12PageTemplate = 130;
inline constexpr int kAnalog34PageTemplate = 131;
inline constexpr int kDigitalPageTemplate = 132;
inline constexpr int kWaveMidiPageTemplate = 133;
inline constexpr int kUser5NrpnPageTemplate = 134;
inline constexpr int kUser12PageTemplate = 136;
inline constexpr int kUser34PageTemplate = 137;

// Pages by number: kPages[number - 1].
extern const std::array<PageDef, kPageCount> kPages;

// Page numbers in the page chooser's item order ("User 5 & NRPN" last).
inline constexpr std::array<int, kPageCount> kChooserOrder = {1, 2, 3, 4, 5, 7, 8, 6};
// Templates in the order the pages are added to the host.
inline constexpr std::array<int, kPageCount> kTemplateOrder = {
    kMasterPageTemplate,   kAnalog12PageTemplate,  kAnalog34PageTemplate, kDigitalPageTemplate,
    kWaveMidiPageTemplate, kUser5NrpnPageTemplate, kUser12PageTemplate,   kUser34PageTemplate};

const PageDef* PageByNumber(int number);
const PageDef* PageByTemplate(int templateId);
// Chooser item of a page number, -1 for none.
int ChooserItemOfPage(int number);
// Page number of a chooser item, 0 for none.
int PageOfChooserItem(int item);

const Parameter& ParameterOf(const StripDef& strip);
// The page number (1..8) that shows catalogue row `row`, 0 for none.
int PageOfRow(std::size_t row);

} // namespace vantrel
