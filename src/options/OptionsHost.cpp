#include "options/OptionsHost.h"

#include "options/OptionsForm.h"
#include "settings/Switches.h"
#include "ui/UserPrompts.h"

namespace tidewick::options {
namespace {
// The host whose dialog the switch rule reads (the newest one).
OptionsHost* gReading = nullptr;
} // namespace

OptionsHost::OptionsHost(ui::UserPrompts& prompts, QWidget* parent) : m_prompts(prompts), m_parent(parent) {
  gReading = this;
  settings::setOptionControlReader([this](const QString& key) -> std::optional<bool> {
    // While the dialog loads, its placement asks for its own boxes, which it reads itself.
    if (m_loading) return std::nullopt;
    return Form().ControlChecked(key);
  });
}

OptionsHost::~OptionsHost() {
  if (gReading == this) {
    settings::setOptionControlReader({});
    gReading = nullptr;
  }
  m_form.reset();
}

void OptionsHost::ForgetUnloaded() {
  // Let go on the next turn of the event loop: the dialog may still be on the stack.
  if (m_form && m_form->IsUnloaded()) m_form.release()->deleteLater();
}

bool OptionsHost::Exists() const { return m_form && !m_form->IsUnloaded(); }

OptionsForm& OptionsHost::Form() {
  ForgetUnloaded();
  if (!m_form) {
    m_loading = true;
    struct Done {
      bool& flag;
      ~Done() { flag = false; }
    } done{m_loading};
    m_form = std::make_unique<OptionsForm>(m_prompts, m_parent.data());
    m_shown = false;
  }
  return *m_form;
}

void OptionsHost::Show() {
  const bool waitingHidden = Exists() && !m_shown;
  OptionsForm& form = Form();
  if (waitingHidden) form.LoadSettings();
  m_shown = true;
  m_prompts.showModal(&form);
  // Save, Close and the close box unload it; a dialog left otherwise stays as it is.
  if (m_form && m_form->IsUnloaded()) m_form.reset();
}

} // namespace tidewick::options
