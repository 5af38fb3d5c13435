#include "pages/page_classes.h"

namespace vantrel::ui {

std::unique_ptr<CMixerPage> MakePage(int templateId, CPageModel& model) {
  switch (templateId) {
  case kMasterPageTemplate:
    return std::make_unique<CMasterPage>(model);
  case kAnalog12PageTemplate:
    return std::make_unique<CAnalog12Page>(model);
  case kAnalog34PageTemplate:
    return std::make_unique<CAnalog34Page>(model);
  case kDigitalPageTemplate:
    return std::make_unique<CDigitalPage>(model);
  case kWaveMidiPageTemplate:
    return std::make_unique<CWaveMidiPage>(model);
  case kUser5NrpnPageTemplate:
    return std::make_unique<CUser5NrpnPage>(model);
  case kUser12PageTemplate:
    return std::make_unique<CUser12Page>(model);
  case kUser34PageTemplate:
    return std::make_unique<CUser34Page>(model);
  default:
    return nullptr;
  }
}

} // namespace vantrel::ui
