#include "ui/pages/mixer_page.h"

#include "ui/dialog/controls.h"
#include "ui/dialog/dialog_keys.h"
#include "ui/dialog/message_box.h"
#include "ui/dialog/qt_text.h"
#include "ui/dialog/template_builder.h"
#include "mixer/catalogue.h"
#include "pages/aux_labels.h"
#include "ui/pages/level_meter.h"
#include "ui/res/control_ids.h"

#include <QActionGroup>
#include <QComboBox>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QSignalBlocker>
#include <QSlider>

#include <array>

namespace vantrel::ui {

namespace {

// The effect choosers of the User 5 & NRPN page, in the order they are
// filled, with the aux bus each one sets.
struct EffectChooser {
  int id;
  int aux;
};
constexpr std::array<EffectChooser, 4> kEffectChoosers = {
    {{kAux1EffectId, 0}, {kAux2EffectId, 1}, {kAux3EffectId, 2}, {kAux4EffectId, 3}}};

// What a fader drives, for people: "Analog 1 Vol", "Master Aux 2", "NRPN Cutoff".
QString FaderName(const Parameter& p, int page) {
  if (p.kind == ParameterKind::Filter) {
    return QStringLiteral("NRPN ") + ToQString(p.strip);
  }
  if (page == 1) {
    return QStringLiteral("Master ") + ToQString(p.strip);
  }
  return ToQString(p.strip);
}

template <typename T> T* Find(const ControlMap& controls, int id) {
  const auto it = controls.find(id);
  return it == controls.end() ? nullptr : qobject_cast<T*>(it->second);
}

} // namespace

CMixerPage::CMixerPage(int templateId, CPageModel& model)
    : m_templateId(templateId), m_model(model) {}

CMixerPage::~CMixerPage() {
  m_model.AttachView(nullptr);
}

bool CMixerPage::Create(QWidget& host) {
  const DialogTemplate* tmpl = FindTemplate(m_templateId);
  if (tmpl == nullptr || m_model.Def().templateId != m_templateId) {
    return false;
  }
  setFont(host.font());
  const ControlMap controls = BuildControls(*tmpl, *this);
  // A template that lacks a control leaves nothing behind.
  auto fail = [this] {
    qDeleteAll(findChildren<QWidget*>(Qt::FindDirectChildrenOnly));
    return false;
  };
  std::vector<StripWidgets> strips(m_model.StripCount());
  for (std::size_t i = 0; i < strips.size(); ++i) {
    const StripDef& def = m_model.Def().strips[i];
    StripWidgets& s = strips[i];
    s.fader = Find<QSlider>(controls, def.ids.fader);
    s.field = Find<CNumberEdit>(controls, def.ids.edit);
    s.spin = Find<CSpinButtons>(controls, def.ids.spin);
    s.readout = Find<QLabel>(controls, def.ids.readout);
    s.label = def.ids.label != 0 ? Find<QLabel>(controls, def.ids.label) : nullptr;
    if (s.fader == nullptr || s.field == nullptr || s.spin == nullptr || s.readout == nullptr ||
        (def.ids.label != 0 && s.label == nullptr)) {
      return fail();
    }
  }
  std::vector<std::pair<QComboBox*, int>> choosers;
  if (m_model.Def().effectChoosers) {
    for (const EffectChooser& c : kEffectChoosers) {
      auto* combo = Find<QComboBox>(controls, c.id);
      if (combo == nullptr) {
        return fail();
      }
      choosers.emplace_back(combo, c.aux);
    }
  }

  m_strips = std::move(strips);
  m_effectChoosers = std::move(choosers);

  setParent(&host);
  setEnabled(false);
  hide();
  OnInitDialog();
  return true;
}

void CMixerPage::OnInitDialog() {
  m_model.AttachView(this);
  for (auto& [combo, aux] : m_effectChoosers) {
    for (std::string_view name : kEffectNames) {
      combo->addItem(ToQString(name));
    }
    combo->setCurrentIndex(-1);
    FitToItems(*combo); // "Compressor" is wider than the template's field
    const int bus = aux;
    QComboBox* chooser = combo;
    connect(chooser, &QComboBox::activated, this,
            [this, bus](int index) { m_model.ChooseEffect(bus, index); });
  }
  for (std::size_t i = 0; i < m_strips.size(); ++i) {
    StripWidgets& s = m_strips[i];
    s.spin->SetRange(kControllerMin, kControllerMax);
    connect(s.spin, &CSpinButtons::Stepped, this, [this] { UpdateData(true); });
    QSlider* fader = s.fader;
    connect(fader, &QSlider::valueChanged, this,
            [this, i](int value) { m_model.MoveFader(i, value); });
    connect(fader, &QSlider::sliderReleased, this,
            [this, i, fader] { m_model.MoveFader(i, fader->value()); });
    fader->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(fader, &QWidget::customContextMenuRequested, this, [this, i, fader](QPoint at) {
      if (QMenu* menu = MuteMenu(i)) {
        menu->exec(fader->mapToGlobal(at));
        delete menu;
      }
    });
    CNumberEdit* field = s.field;
    field->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(field, &QWidget::customContextMenuRequested, this, [this, i, field](QPoint at) {
      QMenu* menu = FieldMenu(i);
      menu->exec(field->mapToGlobal(at));
      delete menu;
    });
  }
  m_model.OnInit();
  for (std::size_t i = 0; i < m_strips.size(); ++i) {
    DescribeFader(i);
  }
}

void CMixerPage::OnPageShow() {
  m_model.OnPageShow();
}

void CMixerPage::OnPageHide() {
  m_model.OnPageHide();
}

bool CMixerPage::UpdateData(bool saveAndValidate) {
  if (!saveAndValidate) {
    ShowMembers();
    return true;
  }
  std::vector<std::string> texts;
  texts.reserve(m_strips.size());
  for (const StripWidgets& s : m_strips) {
    texts.push_back(s.field->text().toStdString());
  }
  const CommitResult result = m_model.Commit(texts);
  for (std::size_t i = 0; i < m_strips.size(); ++i) {
    DescribeFader(i);
  }
  if (result.error == CommitError::None) {
    return true;
  }
  const std::string_view message =
      result.error == CommitError::NotInteger ? kNotIntegerMessage : kOutOfRangeMessage;
  ShowMessage(this, QString::fromLatin1(kProgramCaption), ToQString(message), MessageKind::Warning);
  CNumberEdit* field = m_strips[result.strip].field;
  field->setFocus();
  field->selectAll();
  return false;
}

void CMixerPage::OnOK() {
  UpdateData(true);
}

void CMixerPage::ShowFaderValue(std::size_t strip, int value) {
  QSlider* fader = m_strips[strip].fader;
  const QSignalBlocker quiet(fader);
  fader->setValue(value);
}

bool CMixerPage::IsFaderHeld(std::size_t strip) const {
  return m_strips[strip].fader->isSliderDown();
}

void CMixerPage::ShowMembers() {
  for (std::size_t i = 0; i < m_strips.size(); ++i) {
    m_strips[i].field->setText(QString::number(m_model.Controller(i)));
    ShowStrip(i);
  }
}

void CMixerPage::ShowStrip(std::size_t strip) {
  StripWidgets& s = m_strips[strip];
  if (!s.fader->isSliderDown()) {
    ShowFaderValue(strip, m_model.FaderValue(strip));
  }
  s.readout->setText(QString::fromStdString(m_model.Readout(strip)));
  // A muted strip shows it in its read-out, struck through, so no control
  // of the page moves.
  const bool muted = m_model.IsMuted(strip);
  if (s.readout->font().strikeOut() != muted) {
    QFont font = s.readout->font();
    font.setStrikeOut(muted);
    s.readout->setFont(font);
    s.readout->setToolTip(muted ? tr("Muted") : QString());
  }
  if (s.label != nullptr) {
    s.label->setText(QString::fromStdString(m_model.Label(strip)));
  }
  DescribeFader(strip);
}

void CMixerPage::ShowMeters(bool on) {
  for (std::size_t i = 0; i < m_strips.size(); ++i) {
    StripWidgets& s = m_strips[i];
    const std::optional<std::size_t> slot = ValueSlotOf(m_model.ParameterOfStrip(i));
    if (s.meter == nullptr && on && slot &&
        mixer_dbus::MeterSidesOf(mixer_dbus::KeyOfSlot(*slot).getter) > 0) {
      // Two pixels right of the fader, as tall, inside its read-out's width.
      constexpr int kGap = 2;
      constexpr int kWidth = 4;
      const QRect fader = s.fader->geometry();
      s.meter = new CLevelMeter(this);
      s.meter->setGeometry(fader.right() + 1 + kGap, fader.top(), kWidth, fader.height());
    }
    if (s.meter != nullptr) {
      s.meter->setVisible(on);
    }
  }
}

void CMixerPage::ShowLevels(const mixer_dbus::CMeterLevels& levels) {
  for (std::size_t i = 0; i < m_strips.size(); ++i) {
    if (CLevelMeter* meter = m_strips[i].meter) {
      meter->SetReading(levels.Find(*ValueSlotOf(m_model.ParameterOfStrip(i))));
    }
  }
}

QMenu* CMixerPage::FieldMenu(std::size_t strip) {
  QMenu* menu = m_strips[strip].field->createStandardContextMenu();
  menu->addSeparator();
  QAction* learn = menu->addAction(tr("Learn"));
  learn->setCheckable(true);
  learn->setChecked(m_learning == strip);
  learn->setToolTip(tr("Take the controller number from the next control moved on the MIDI "
                       "input; Esc or Learn again cancels"));
  connect(learn, &QAction::triggered, this, [this, strip] { emit LearnToggled(strip); });
  AddModeMenu(*menu, strip);
  return menu;
}

void CMixerPage::AddModeMenu(QMenu& menu, std::size_t strip) {
  QMenu* modes = menu.addMenu(tr("Controller mode"));
  const int32_t controller = m_model.Controller(strip);
  modes->setEnabled(CPageModel::IsMapped(controller));
  auto* group = new QActionGroup(modes);
  for (std::size_t i = 0; i < kControllerModeCount; ++i) {
    const auto mode = static_cast<ControllerMode>(i);
    QAction* action = modes->addAction(ToQString(ControllerModeName(mode)));
    action->setCheckable(true);
    action->setActionGroup(group);
    action->setChecked(m_model.ControllerModeOf(strip) == mode);
    action->setEnabled(ModeFitsController(mode, controller));
    connect(action, &QAction::triggered, this,
            [this, strip, mode] { m_model.SetControllerMode(strip, mode); });
  }
  modes->setToolTip(tr("How the controller's values are read: a knob's position, an encoder's "
                       "steps, or a 14-bit pair with the number 32 above"));
}

QMenu* CMixerPage::MuteMenu(std::size_t strip) {
  const auto mute = m_model.MuteOfStrip(strip);
  if (!mute) {
    return nullptr;
  }
  auto* menu = new QMenu(this);
  QAction* toggle = menu->addAction(tr("Mute"));
  toggle->setCheckable(true);
  toggle->setChecked(m_model.IsMuted(strip));
  connect(toggle, &QAction::triggered, this, [this, mute] { emit MuteToggled(*mute); });
  QAction* learn = menu->addAction(tr("Learn mute button"));
  learn->setCheckable(true);
  learn->setChecked(m_learning == strip && m_learningMute);
  learn->setToolTip(tr("Take the next button (Control Change or note) pressed on the MIDI "
                       "input as this strip's mute button; Esc cancels"));
  connect(learn, &QAction::triggered, this, [this, strip] { emit MuteLearnToggled(strip); });
  return menu;
}

void CMixerPage::ShowLearning(std::optional<std::size_t> strip, bool mute) {
  if (m_learning) {
    QWidget* marked = m_learningMute ? static_cast<QWidget*>(m_strips[*m_learning].readout)
                                     : m_strips[*m_learning].field;
    marked->setPalette(QPalette());
    marked->setAutoFillBackground(false);
    marked->setToolTip(QString());
  }
  m_learning = strip;
  m_learningMute = mute;
  if (m_learning) {
    QWidget* widget =
        mute ? static_cast<QWidget*>(m_strips[*m_learning].readout) : m_strips[*m_learning].field;
    QPalette marked = widget->palette();
    marked.setColor(QPalette::Base, marked.color(QPalette::Highlight));
    marked.setColor(QPalette::Window, marked.color(QPalette::Highlight));
    marked.setColor(QPalette::Text, marked.color(QPalette::HighlightedText));
    marked.setColor(QPalette::WindowText, marked.color(QPalette::HighlightedText));
    widget->setPalette(marked);
    widget->setAutoFillBackground(mute);
    widget->setToolTip(mute ? tr("Waiting for a button on the MIDI input (Esc cancels)")
                            : tr("Waiting for a control on the MIDI input (Esc cancels)"));
  }
}

void CMixerPage::TakeLearned(std::size_t strip, int controller) {
  m_strips[strip].field->setText(QString::number(controller));
  UpdateData(true);
}

void CMixerPage::keyPressEvent(QKeyEvent* event) {
  const auto cancel = [this] {
    if (m_learning) {
      emit LearnCancelRequested();
    }
  };
  if (!HandleDialogKey(
          event, [this] { OnOK(); }, cancel)) {
    QWidget::keyPressEvent(event);
  }
}

void CMixerPage::DescribeFader(std::size_t strip) {
  const int32_t controller = m_model.Controller(strip);
  QString text = FaderName(m_model.ParameterOfStrip(strip), m_model.Def().number);
  if (CPageModel::IsMapped(controller)) {
    text += QStringLiteral(" — controller %1").arg(controller);
  } else if (controller == kNotMapped) {
    text += QStringLiteral(" — no controller");
  } else {
    text += QStringLiteral(" — controller %1, outside 0..127, not sent").arg(controller);
  }
  QSlider* fader = m_strips[strip].fader;
  fader->setAccessibleName(text);
  fader->setToolTip(text);
}

} // namespace vantrel::ui
