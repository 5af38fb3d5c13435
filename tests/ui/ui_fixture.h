#pragma once
// Qt pages over the recording fakes: page models on a recording mixer, a
// recording MIDI sink and a profile in a temporary folder, their pages
// created inside one host widget. And a catcher for the program's messages.

#include "mixer/catalogue.h"
#include "ui/pages/mixer_page.h"
#include "settings/settings.h"
#include "state/bridge_context.h"
#include "support/page_fixture.h"

#include <QApplication>
#include <QEvent>
#include <QMessageBox>
#include <QStringList>
#include <QTimer>
#include <QWidget>

#include <array>
#include <memory>
#include <vector>

namespace vantrel::test {

// Takes every message box the program shows while it lives: notes it and
// closes it as a click on OK would.
class MessageCatcher : public QObject {
public:
  QStringList messages; // "caption: text"
  QStringList details;  // each message's detail, in the same order
  MessageCatcher() { qApp->installEventFilter(this); }
  ~MessageCatcher() override { qApp->removeEventFilter(this); }
  MessageCatcher(const MessageCatcher&) = delete;
  MessageCatcher& operator=(const MessageCatcher&) = delete;

  bool eventFilter(QObject* watched, QEvent* event) override {
    auto* box = qobject_cast<QMessageBox*>(watched);
    if (box != nullptr && event->type() == QEvent::Show) {
      messages << box->windowTitle() + QStringLiteral(": ") + box->text();
      details << box->informativeText();
      QTimer::singleShot(0, box, [box] { box->done(QMessageBox::Ok); });
    }
    return false;
  }
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
    views.push_back(std::make_unique<ui::CMixerPage>(def.templateId, *model));
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
