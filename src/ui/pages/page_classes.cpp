#include "pages/page_classes.h"

namespace vantrel::ui {

std::unique_ptr<CMixerPage> MakePage(int templateId, CPageModel& model) {
  switch (templateId) {
  case 129:
    return std::make_unique<CMasterPage>(model);
  case 130:
    return std::make_unique<CAnalog12Page>(model);
  case 131:
    return std::make_unique<CAnalog34Page>(model);
  case 132:
    return std::make_unique<CDigitalPage>(model);
  case 133:
    return std::make_unique<CWaveMidiPage>(model);
  case 134:
    return std::make_unique<CUser5NrpnPage>(model);
  case 136:
    return std::make_unique<CUser12Page>(model);
  case 137:
    return std::make_unique<CUser34Page>(model);
  default:
    return nullptr;
  }
}

} // namespace vantrel::ui
