#include "ui/app/bridge_dlg.h"

#include "app/bridge_session.h"
#include "midi/midi_backend.h"
#include "mixer/dbus_mixer_protocol.h"
#include "ui/app/about_dlg.h"
#include "ui/app/mixer_event_pump.h"
#include "ui/dialog/activity_light.h"
#include "ui/dialog/controls.h"
#include "ui/dialog/dialog_keys.h"
#include "ui/dialog/message_box.h"
#include "ui/dialog/qt_text.h"
#include "ui/dialog/template_builder.h"
#include "ui/pages/mixer_page.h"
#include "ui/res/control_ids.h"

#include <QAbstractItemView>
#include <QAction>
#include <QCloseEvent>
#include <QComboBox>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QSocketNotifier>

#include <QTimer>

#include <cstdio>
#include <utility>

namespace vantrel::ui {

namespace {

constexpr int kChannelMin = 1;
constexpr int kChannelMax = 16;
// The activity light samples the counters 20 times a second, so it repaints
// at most that often.
constexpr int kActivityIntervalMs = 50;

} // namespace

CBridgeDlg::CBridgeDlg(CBridgeSession& session, int controllerWakeFd, WindowOptions options,
                       QWidget* parent)
    : CPageHost(kPageFrameId, parent), m_session(session), m_controllerWakeFd(controllerWakeFd),
      m_options(std::move(options)) {
  setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                 Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);
  setWindowIcon(ProgramIcon());
}

CBridgeDlg::~CBridgeDlg() {
  // Hiding the window on its way out moves the focus; the field's notice
  // must not reach a window that is half gone.
  if (m_channelField != nullptr) {
    m_channelField->disconnect(this);
  }
}

void CBridgeDlg::OnInitDialog() {
  BuildWindow();
  LoadSettings();
  ConnectMixerAndDevices();
  AddPages();
  ConnectSignals();
}

void CBridgeDlg::BuildWindow() {
  const DialogTemplate& tmpl = *FindTemplate(kMainTemplate);
  setWindowTitle(ToQString(tmpl.caption));
  const ControlMap controls = BuildControls(tmpl, *this);
  m_midiIn = qobject_cast<QComboBox*>(controls.at(kMidiInChooserId));
  m_midiOut = qobject_cast<QComboBox*>(controls.at(kMidiOutChooserId));
  m_pageChooser = qobject_cast<QComboBox*>(controls.at(kPageChooserId));
  m_channelField = qobject_cast<CNumberEdit*>(controls.at(kChannelFieldId));
  m_channelSpin = qobject_cast<CSpinButtons*>(controls.at(kChannelSpinId));
  m_channelField->setAccessibleName(tr("Output channel"));
  m_midiIn->setAccessibleName(tr("MIDI input device"));
  m_midiOut->setAccessibleName(tr("MIDI output device"));
  m_pageChooser->setAccessibleName(tr("Page on screen"));

  // No system menu to extend here: the about box sits in the window's
  // context menu and on F1.
  auto* about = new QAction(tr("&About Vantrel..."), this);
  about->setShortcut(QKeySequence::HelpContents);
  about->setShortcutContext(Qt::WindowShortcut);
  connect(about, &QAction::triggered, this, &CBridgeDlg::ShowAboutBox);
  addAction(about);
  setContextMenuPolicy(Qt::ActionsContextMenu);

  for (int number : kChooserOrder) {
    m_pageChooser->addItem(ToQString(PageByNumber(number)->name));
  }
  m_pageChooser->setCurrentIndex(-1);
  // The template's width cuts "User 5 & NRPN" in most desktop fonts.
  FitToItems(*m_pageChooser);
  PlaceActivityLight();
}

void CBridgeDlg::PlaceActivityLight() {
  // Inside the "MIDI In" label, just after its text, as tall as a small
  // letter; the label is wider than its text.
  QWidget* owner = this;
  QRect place(0, 0, 0, 0);
  for (QLabel* label : findChildren<QLabel*>()) {
    if (label->text() == QLatin1String(kMidiInLabel)) {
      const QFontMetrics metrics = label->fontMetrics();
      const int side = metrics.xHeight() + 2;
      owner = label;
      place = QRect(metrics.horizontalAdvance(label->text()) + metrics.averageCharWidth(),
                    (label->height() - side) / 2, side, side);
    }
  }
  m_activityLight = new CActivityLight(owner);
  m_activityLight->setGeometry(place);
  m_activityTimer = new QTimer(this);
  m_activityTimer->setInterval(kActivityIntervalMs);
  connect(m_activityTimer, &QTimer::timeout, this, &CBridgeDlg::ShowActivity);
  m_activityTimer->start();
  ShowActivity();
}

void CBridgeDlg::ShowActivity() {
  const BridgeStats stats = m_session.Stats();
  m_activityLight->SetLit(stats.messagesReceived != m_shownStats.messagesReceived);
  if (stats.messagesReceived != m_shownStats.messagesReceived ||
      stats.controllersApplied != m_shownStats.controllersApplied ||
      stats.controllersDropped != m_shownStats.controllersDropped ||
      stats.thruDropped != m_shownStats.thruDropped ||
      stats.loopEchoesDropped != m_shownStats.loopEchoesDropped ||
      stats.surfaceSilent != m_shownStats.surfaceSilent || m_activityLight->toolTip().isEmpty()) {
    QString text =
        tr("MIDI messages received: %1\nController changes applied: %2\nDropped: %3 controller "
           "changes, %4 thru messages")
            .arg(stats.messagesReceived)
            .arg(stats.controllersApplied)
            .arg(stats.controllersDropped)
            .arg(stats.thruDropped);
    if (stats.loopEchoesDropped != 0) {
      text += tr("\nMIDI loop: the output comes back to the input; %1 messages that came back "
                 "were not passed on")
                  .arg(stats.loopEchoesDropped);
    }
    // Beside the counts, where the window says what is wrong with its MIDI
    // without stopping the user with a box.
    if (stats.surfaceSilent) {
      text += QLatin1Char('\n') + ToQString(m_session.SurfaceNotice());
    }
    m_activityLight->setToolTip(text);
  }
  m_shownStats = stats;
}

void CBridgeDlg::LoadSettings() {
  m_session.LoadMainSettings();
  AddOptionActions();
  m_channelSpin->SetRange(kChannelMin, kChannelMax);
  FillDeviceChoosers();
  UpdateData(false);
}

void CBridgeDlg::ConnectMixerAndDevices() {
  if (!m_session.Mixer().Connect()) {
    if (m_options.mixerWarning) {
      ShowMessage(nullptr, QString::fromLatin1(kProgramCaption),
                  tr("The mixer server could not be reached. Vantrel will pass MIDI through and "
                     "send controllers, but it cannot set or show the mixer until it is "
                     "started again."),
                  MessageKind::Warning, ToQString(m_session.Mixer().Error()));
    }
  } else {
    ShowMixerBackend();
  }
  ShowMidiSystem();
  const SavedDevicesResult opened = m_session.Devices().OpenSaved();
  if (m_options.report) {
    for (const std::string& line : m_session.Devices().DescribeSaved(opened)) {
      m_options.report(line);
    }
  }
  if (opened.outputFailed) {
    ShowMessage(nullptr, ToQString(kErrorCaption), ToQString(kCannotOpenOutput), MessageKind::Error,
                ToQString(m_session.Devices().Error(MidiDirection::Output)));
  }
  if (opened.inputFailed) {
    ShowMessage(nullptr, ToQString(kErrorCaption), ToQString(kCannotOpenInput), MessageKind::Error,
                ToQString(m_session.Devices().Error(MidiDirection::Input)));
  }
}

void CBridgeDlg::ShowMixerBackend() {
  const std::string status = m_options.mixerBackend ? m_options.mixerBackend() : std::string();
  if (status.empty()) {
    return;
  }
  if (m_options.report) {
    m_options.report("Mixer: connected, back end " + status);
  }
  // Mistakes in the mapping file would otherwise reach only the service's
  // standard error, which nobody reads.
  if (m_options.mixerWarning &&
      status.find(mixer_dbus::kMappingProblemsPhrase) != std::string::npos) {
    ShowMessage(nullptr, QString::fromLatin1(kProgramCaption),
                tr("The mixer service found mistakes in its mapping file (mixer.ini); the rest "
                   "of the file applies."),
                MessageKind::Information, ToQString(status));
  }
}

void CBridgeDlg::ShowMidiSystem() {
  QStringList lines;
  for (const std::string& line : MidiSystemLines()) {
    lines.append(ToQString(line));
    if (m_options.report) {
      m_options.report(line);
    }
  }
  // Where the user looks when a chooser offers only "None".
  m_midiSystemText = lines.join(QLatin1Char('\n'));
  for (QLabel* label : findChildren<QLabel*>()) {
    if (label->text() == QLatin1String(kMidiInLabel) ||
        label->text() == QLatin1String(kMidiOutLabel)) {
      label->setToolTip(m_midiSystemText);
    }
  }
  for (QComboBox* chooser : {m_midiIn, m_midiOut}) {
    if (auto* list = qobject_cast<CDropList*>(chooser)) {
      list->SetNote(m_midiSystemText);
    }
  }
}

void CBridgeDlg::AddPages() {
  for (int templateId : kTemplateOrder) {
    AddPage(templateId);
  }
  m_session.StartFollowingMixer();
  if (const PageDef* page = PageByNumber(m_session.State().currentPage)) {
    SelectPage(page->templateId);
  }
}

void CBridgeDlg::ConnectSignals() {
  // A list that opens shows the devices as they are now, keeping the
  // chosen one selected wherever it moved.
  for (QComboBox* chooser : {m_midiIn, m_midiOut}) {
    if (auto* list = qobject_cast<CDropList*>(chooser)) {
      connect(list, &CDropList::PopupOpening, this, [this] {
        ReportDeviceLines(m_session.Devices().Follow());
        FillDeviceChoosers();
      });
    }
  }
  if (m_session.Devices().WatchFd() >= 0) {
    m_deviceNotifier =
        new QSocketNotifier(m_session.Devices().WatchFd(), QSocketNotifier::Read, this);
    connect(m_deviceNotifier, &QSocketNotifier::activated, this, &CBridgeDlg::OnDeviceWatch);
  }
  connect(m_midiIn, &QComboBox::activated, this,
          [this](int item) { OnDeviceChosen(MidiDirection::Input, item); });
  connect(m_midiOut, &QComboBox::activated, this,
          [this](int item) { OnDeviceChosen(MidiDirection::Output, item); });
  connect(m_pageChooser, &QComboBox::activated, this, &CBridgeDlg::OnPageChosen);
  connect(m_channelSpin, &CSpinButtons::Stepped, this, [this] { UpdateData(true); });
  // Typed digits reach the channel only through the spin (Enter shows the
  // channel again); leaving the field shows the channel in effect, so the
  // field never names a channel that nothing is sent on.
  connect(m_channelField, &CNumberEdit::FocusLost, this, [this] {
    if (!m_closed) {
      UpdateData(false);
    }
  });
  connect(qGuiApp, &QGuiApplication::applicationStateChanged, this,
          [this](Qt::ApplicationState state) { OnActivateApp(state == Qt::ApplicationActive); });
  // Controller changes that arrived during start-up wait in the queue until
  // every page exists.
  if (m_controllerWakeFd >= 0) {
    m_controllerNotifier = new QSocketNotifier(m_controllerWakeFd, QSocketNotifier::Read, this);
    connect(m_controllerNotifier, &QSocketNotifier::activated, this,
            [this] { m_session.DrainControllers(); });
  }
  // The surface's messages and held-back updates; its watch exists whether
  // or not a surface is on.
  m_surfaceNotifier = new QSocketNotifier(m_session.SurfaceFd(), QSocketNotifier::Read, this);
  connect(m_surfaceNotifier, &QSocketNotifier::activated, this, [this] { m_session.OnSurface(); });
  // From here on setters are pushed out and changes made elsewhere shown.
  m_mixerPump = new CMixerEventPump(m_session, this);
  // Printed as the headless bridge does: the window has no line for it.
  connect(m_mixerPump, &CMixerEventPump::Notice, this, [](const QString& text) {
    std::printf("Mixer: %s\n", qPrintable(text));
    std::fflush(stdout);
  });
  connect(m_mixerPump, &CMixerEventPump::MetersChanged, this, &CBridgeDlg::ShowLevels);
  // The profile's choice: meters are asked for only while they show.
  m_session.SetShowMeters(m_session.ShowMeters(), false);
  ShowMeters(m_session.ShowMeters());
}

void CBridgeDlg::AddOptionActions() {
  const auto add = [this](const QString& text, bool on, auto apply) {
    auto* action = new QAction(text, this);
    action->setCheckable(true);
    action->setChecked(on);
    connect(action, &QAction::toggled, this, apply);
    addAction(action);
  };
  add(tr("Controller &feedback"), m_session.Feedback(),
      [this](bool on) { m_session.SetFeedback(on, true); });
  add(tr("&Soft takeover"), m_session.SoftTakeover(),
      [this](bool on) { m_session.SetSoftTakeover(on, true); });
  add(tr("&Mackie Control surface"), m_session.Surface() == SurfaceProtocol::Mackie,
      [this](bool on) {
        m_session.SetSurface(on ? SurfaceProtocol::Mackie : SurfaceProtocol::None, true);
      });
  add(tr("Show &meters"), m_session.ShowMeters(), [this](bool on) {
    m_session.SetShowMeters(on, true);
    ShowMeters(on);
  });
}

void CBridgeDlg::ShowMeters(bool on) {
  for (const auto& entry : Entries()) {
    if (entry->created) {
      entry->page->ShowMeters(on);
    }
  }
  ShowLevels();
}

void CBridgeDlg::ShowLevels() {
  if (CMixerPage* page = PageOfNumber(m_session.State().currentPage)) {
    page->ShowLevels(m_session.Mixer().MeterLevels());
  }
}

void CBridgeDlg::FillDeviceChoosers() {
  // Each device list costs the MIDI system a client of its own, so each is
  // asked for once and the item to select is found in it.
  const auto fill = [](QComboBox* chooser, const DeviceChooser& choices) {
    chooser->clear();
    for (const std::string& name : choices.items) {
      chooser->addItem(QString::fromStdString(name));
    }
    chooser->setCurrentIndex(choices.selected);
  };
  const DeviceChooser input = m_session.Devices().Chooser(MidiDirection::Input);
  const DeviceChooser output = m_session.Devices().Chooser(MidiDirection::Output);
  fill(m_midiIn, input);
  fill(m_midiOut, output);
  m_inputGoneItem = input.goneItem;
  m_outputGoneItem = output.goneItem;
}

void CBridgeDlg::ReportDeviceLines(const DeviceFollowResult& result) {
  if (m_options.report) {
    for (const std::string& line : result.lines) {
      m_options.report(line);
    }
  }
}

void CBridgeDlg::OnDeviceWatch() {
  const DeviceFollowResult result = m_session.Devices().OnWatch();
  ReportDeviceLines(result);
  // An open list is left alone; it is filled anew when it next opens.
  if (result.changed && !m_midiIn->view()->isVisible() && !m_midiOut->view()->isVisible()) {
    FillDeviceChoosers();
  }
}

bool CBridgeDlg::UpdateData(bool saveAndValidate) {
  if (!saveAndValidate) {
    m_channelField->setText(QString::number(m_session.ChannelMember()));
    return true;
  }
  const auto channel = ParseFieldInteger(m_channelField->text().toStdString());
  QString refusal;
  if (!channel) {
    refusal = ToQString(kNotIntegerMessage);
  } else if (*channel < kChannelMin || *channel > kChannelMax) {
    refusal = tr("Please enter an integer between %1 and %2.").arg(kChannelMin).arg(kChannelMax);
  }
  if (!refusal.isEmpty()) {
    ShowMessage(this, QString::fromLatin1(kProgramCaption), refusal, MessageKind::Warning);
    m_channelField->setFocus();
    m_channelField->selectAll();
    return false;
  }
  m_session.SetChannelMember(*channel);
  return true;
}

void CBridgeDlg::OnOK() {
  UpdateData(false);
}

void CBridgeDlg::OnActivateApp(bool active) {
  // Nothing reaches the pages once shut-down has begun: the mixer is gone.
  if (active && !m_closed) {
    m_session.OnActivate();
  }
}

void CBridgeDlg::ShowAboutBox() {
  CAboutDlg about(this);
  ExecModal(about);
}

CMixerPage* CBridgeDlg::PageOfTemplate(int templateId) const {
  for (const auto& entry : Entries()) {
    if (entry->templateId == templateId && entry->created) {
      return entry->page.get();
    }
  }
  return nullptr;
}

std::unique_ptr<CMixerPage> CBridgeDlg::CreatePageObject(int templateId) {
  const PageDef* def = PageByTemplate(templateId);
  if (def == nullptr) {
    return nullptr;
  }
  std::unique_ptr<CMixerPage> page =
      std::make_unique<CMixerPage>(templateId, m_session.Page(def->number));
  if (page != nullptr) {
    const int number = def->number;
    connect(page.get(), &CMixerPage::LearnToggled, this, [this, number](std::size_t strip) {
      ToggleLearn({number, strip});
    });
    connect(page.get(), &CMixerPage::MuteLearnToggled, this, [this, number](std::size_t strip) {
      ToggleLearn({number, strip, true});
    });
    connect(page.get(), &CMixerPage::MuteToggled, this,
            [this](std::size_t mute) { m_session.SetMute(mute, !m_session.IsMuted(mute)); });
    connect(page.get(), &CMixerPage::LearnCancelRequested, this, &CBridgeDlg::CancelLearn);
  }
  return page;
}

void CBridgeDlg::ToggleLearn(LearnTarget target) {
  const bool again = m_session.Learn().Target() == target;
  CancelLearn();
  if (again || m_closed) {
    return;
  }
  // The listener runs inside the controller drain; the commit (which may
  // show a box) waits until the drain is over.
  m_session.Learn().Arm(target, [this](LearnTarget learned, const ControllerChange& change) {
    QMetaObject::invokeMethod(
        this, [this, learned, change] { OnLearned(learned, change); }, Qt::QueuedConnection);
  });
  if (CMixerPage* page = PageOfNumber(target.page)) {
    page->ShowLearning(target.strip, target.mute);
  }
}

void CBridgeDlg::CancelLearn() {
  if (const auto target = m_session.Learn().Target()) {
    if (CMixerPage* page = PageOfNumber(target->page)) {
      page->ShowLearning(std::nullopt);
    }
  }
  m_session.Learn().Cancel();
}

void CBridgeDlg::OnLearned(LearnTarget target, const ControllerChange& change) {
  CMixerPage* page = m_closed ? nullptr : PageOfNumber(target.page);
  if (page == nullptr) {
    return;
  }
  page->ShowLearning(std::nullopt);
  if (!target.mute) {
    page->TakeLearned(target.strip, change.controller);
    return;
  }
  // The message decides CC or Note; a latch button stays one.
  if (const auto mute = page->Model().MuteOfStrip(target.strip)) {
    ButtonBinding binding = m_session.Buttons().Map().Binding(*mute);
    binding.kind = change.note ? ButtonBinding::Kind::Note : ButtonBinding::Kind::Controller;
    binding.number = change.controller & 0x7F;
    m_session.SetButton(*mute, binding);
  }
}

CMixerPage* CBridgeDlg::PageOfNumber(int number) const {
  const PageDef* def = PageByNumber(number);
  return def == nullptr ? nullptr : PageOfTemplate(def->templateId);
}

void CBridgeDlg::OnPageVisibilityChanged(int templateId, bool shown) {
  if (!shown) {
    // Learning belongs to the page on screen.
    const PageDef* def = PageByTemplate(templateId);
    const auto target = m_session.Learn().Target();
    if (def != nullptr && target && target->page == def->number) {
      CancelLearn();
    }
    return;
  }
  if (const PageDef* def = PageByTemplate(templateId)) {
    m_pageChooser->setCurrentIndex(ChooserItemOfPage(def->number));
  }
  ShowLevels();
}

void CBridgeDlg::OnDeviceChosen(MidiDirection direction, int item) {
  const bool input = direction == MidiDirection::Input;
  const int goneItem = input ? m_inputGoneItem : m_outputGoneItem;
  // The gone device's own item is the current choice: nothing to do.
  if (item == goneItem) {
    return;
  }
  const DeviceChange change = m_session.Devices().Choose(direction, item);
  // The gone device's item goes once another device is chosen.
  if (goneItem != -1) {
    FillDeviceChoosers();
  }
  if (change == DeviceChange::OpenFailed) {
    ShowMessage(nullptr, ToQString(kErrorCaption),
                ToQString(input ? kCannotOpenInput : kCannotOpenOutput), MessageKind::Error,
                ToQString(m_session.Devices().Error(direction)));
  }
}

void CBridgeDlg::OnPageChosen(int item) {
  if (const PageDef* page = PageByNumber(PageOfChooserItem(item))) {
    SelectPage(page->templateId);
  }
}

void CBridgeDlg::closeEvent(QCloseEvent* event) {
  if (!m_closed) {
    CancelLearn();
    m_closed = true;
    m_activityTimer->stop();
    for (QSocketNotifier* notifier : {m_controllerNotifier, m_deviceNotifier, m_surfaceNotifier}) {
      if (notifier != nullptr) {
        notifier->setEnabled(false);
      }
    }
    if (m_mixerPump != nullptr) {
      m_mixerPump->Stop();
    }
    // Mixer released, devices closed and the four main keys written; then
    // every page saves its controller numbers as it goes.
    m_session.Shutdown();
    DestroyPages();
  }
  event->accept();
}

void CBridgeDlg::keyPressEvent(QKeyEvent* event) {
  if (!HandleDialogKey(
          event, [this] { OnOK(); }, [this] { CancelLearn(); })) {
    CPageHost::keyPressEvent(event);
  }
}

} // namespace vantrel::ui
