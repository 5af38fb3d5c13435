#pragma once
// The eight mixer pages. They differ only in data (template, strips, orders),
// which the page table and the templates hold.

#include "pages/mixer_page.h"

#include <memory>

namespace vantrel::ui {

class CMasterPage : public CMixerPage {
public:
  explicit CMasterPage(CPageModel& model) : CMixerPage(kMasterPageTemplate, model) {}
};
class CAnalog12Page : public CMixerPage {
public:
  explicit CAnalog12Page(CPageModel& model) : CMixerPage(kAnalog12PageTemplate, model) {}
};
class CAnalog34Page : public CMixerPage {
public:
  explicit CAnalog34Page(CPageModel& model) : CMixerPage(kAnalog34PageTemplate, model) {}
};
class CDigitalPage : public CMixerPage {
public:
  explicit CDigitalPage(CPageModel& model) : CMixerPage(kDigitalPageTemplate, model) {}
};
class CWaveMidiPage : public CMixerPage {
public:
  explicit CWaveMidiPage(CPageModel& model) : CMixerPage(kWaveMidiPageTemplate, model) {}
};
class CUser5NrpnPage : public CMixerPage {
public:
  explicit CUser5NrpnPage(CPageModel& model) : CMixerPage(kUser5NrpnPageTemplate, model) {}
};
class CUser12Page : public CMixerPage {
public:
  explicit CUser12Page(CPageModel& model) : CMixerPage(kUser12PageTemplate, model) {}
};
class CUser34Page : public CMixerPage {
public:
  explicit CUser34Page(CPageModel& model) : CMixerPage(kUser34PageTemplate, model) {}
};

// The page object of a template, made without a parent; null for a template
// that no page has.
std::unique_ptr<CMixerPage> MakePage(int templateId, CPageModel& model);

} // namespace vantrel::ui
