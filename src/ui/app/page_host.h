#pragma once
// A window that carries child pages in one place of its own, the page frame,
// and shows at most one at a time. It creates each page once, keeps them all
// while it lives, switches between them on request and destroys them (each
// saving its controller numbers) in the order they were added. A derived
// window supplies the page objects and hears of every page shown or hidden.
// Dialog thread only.

#include <QWidget>

#include <memory>
#include <vector>

namespace vantrel::ui {

class CMixerPage;

struct PageEntry {
  bool created = false; // the page exists, placed and enabled
  bool visible = false; // the page is the one shown
  int templateId = 0;
  std::unique_ptr<CMixerPage> page;
};

class CPageHost : public QWidget {
  Q_OBJECT
public:
  CPageHost(int pageFrameId, QWidget* parent);
  ~CPageHost() override;

  // Adds one page: asks for its object, creates it hidden inside the page
  // frame and enables it. A template without a page
  // object, or whose page cannot be created, stays in the list uncreated and
  // is never shown, hidden or destroyed.
  PageEntry& AddPage(int templateId);
  // Hides the page on screen (even the one asked for) and shows the page of
  // that template, if there is one.
  void SelectPage(int templateId);
  // Every created page in the order of adding: OnPageHide, then its window and object go. The list
  // is emptied.
  void DestroyPages();

  const std::vector<std::unique_ptr<PageEntry>>& Entries() const { return m_pages; }

protected:
  virtual std::unique_ptr<CMixerPage> CreatePageObject(int templateId) = 0;
  virtual void OnPageVisibilityChanged(int templateId, bool shown) = 0;

private:
  void ShowPageEntry(PageEntry& entry);
  void HidePageEntry(PageEntry& entry);

  int m_pageFrameId;
  std::vector<std::unique_ptr<PageEntry>> m_pages;
};

} // namespace vantrel::ui
