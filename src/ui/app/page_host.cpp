#include "ui/app/page_host.h"

#include "ui/pages/mixer_page.h"

namespace vantrel::ui {

CPageHost::CPageHost(int pageFrameId, QWidget* parent)
    : QWidget(parent), m_pageFrameId(pageFrameId) {}

CPageHost::~CPageHost() {
  DestroyPages();
}

PageEntry& CPageHost::AddPage(int templateId) {
  m_pages.push_back(std::make_unique<PageEntry>());
  PageEntry& entry = *m_pages.back();
  entry.templateId = templateId;
  entry.page = CreatePageObject(templateId);
  if (entry.page == nullptr) {
    return entry;
  }
  if (!entry.page->Create(*this)) {
    entry.page.reset();
    return entry;
  }
  const QWidget* frame = findChild<QWidget*>(QString::number(m_pageFrameId));
  if (frame != nullptr) {
    entry.page->move(frame->mapTo(this, QPoint(0, 0)));
  }
  entry.page->setEnabled(true);
  entry.created = true;
  return entry;
}

void CPageHost::SelectPage(int templateId) {
  if (m_pages.empty()) {
    return;
  }
  PageEntry* match = nullptr;
  PageEntry* visible = nullptr;
  for (const auto& entry : m_pages) {
    if (match == nullptr && entry->templateId == templateId) {
      match = entry.get();
    }
    if (visible == nullptr && entry->visible) {
      visible = entry.get();
    }
  }
  if (visible != nullptr) {
    HidePageEntry(*visible);
  }
  if (match != nullptr) {
    ShowPageEntry(*match);
  }
}

void CPageHost::ShowPageEntry(PageEntry& entry) {
  if (!entry.created) {
    return;
  }
  entry.page->show();
  entry.page->update();
  entry.page->OnPageShow();
  entry.visible = true;
  OnPageVisibilityChanged(entry.templateId, true);
}

void CPageHost::HidePageEntry(PageEntry& entry) {
  if (!entry.created) {
    return;
  }
  entry.page->OnPageHide();
  entry.page->hide();
  entry.visible = false;
  OnPageVisibilityChanged(entry.templateId, false);
}

void CPageHost::DestroyPages() {
  for (const auto& entry : m_pages) {
    if (!entry->created) {
      continue;
    }
    entry->created = false;
    entry->page->OnPageHide();
    entry->page.reset();
  }
  m_pages.clear();
}

} // namespace vantrel::ui
