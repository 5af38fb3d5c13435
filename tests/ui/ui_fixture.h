#pragma once
// Qt pages over the recording fakes: page models on a recording mixer, a
// recording MIDI sink and a profile in a temporary folder, their pages
// created inside one host widget. And a catcher for the program's messages.

#include "state/bridge_context.h"
#include "dialog/message_box.h"
#include "mixer/catalogue.h"
#include "pages/page_classes.h"
#include "settings/settings.h"
#include "support/page_fixture.h"

#include <QStringList>
#include <QWidget>

#include <array>
#include <memory>
#include <vector>

namespace vantrel::test {

// Takes every message the program would show while it lives.
class MessageCatcher {
public:
  QStringList messages; // "caption: text"
  QStringList details;  // each message's detail, in the same order
  MessageCatcher() {
    ui::SetMessageHandler(
        [this](const QString& caption, const QString& text, const QString& detail) {
          messages << caption + QStringLiteral(": ") + text;
          details << detail;
        });
  }
  ~MessageCatcher() { ui::SetMessageHandler({}); }
  MessageCatcher(const MessageCatcher&) = delete;
  MessageCatcher& operator=(const MessageCatcher&) = delete;
};

class PageBench : public PageFixture {
public:
  QWidget host;
  std::vector<std::unique_ptr<ui::CMixerPage>> views;

  PageBench() { host.resize(800, 400); }
  ~PageBench() {
    views.clear(); // the pages go before the models they show
  }

  // The page of a page number, created inside the host and shown.
  ui::CMixerPage& Show(int number) {
    const PageDef& def = *PageByNumber(number);
    auto& model = pages[static_cast<std::size_t>(number - 1)];
    model = std::make_unique<CPageModel>(def, context);
    views.push_back(ui::MakePage(def.templateId, *model));
    ui::CMixerPage& page = *views.back();
    page.Create(host);
    page.setEnabled(true);
    host.show();
    page.show();
    page.OnPageShow();
    mixer.Clear();
    return page;
  }

  template <typename T> T* Control(int id) const { return host.findChild<T*>(QString::number(id)); }
};

} // namespace vantrel::test
