#include "app/Restrictions.h"

#include "app/Settings.h"
#include "app/SettingsFile.h"
#include "lang/Strings.h"
#include "ports/UserInterface.h"

namespace recdesk::app {

const std::array<RestrictionBit, 9>& restrictionBits() {
  static const std::array<RestrictionBit, 9> table{{
      {restriction::kOptions, "options", "Options"},
      {restriction::kProfileEditor, "profile-editor", "device profile editor"},
      {restriction::kFormat, "format", "format and flash check"},
      {restriction::kPasswordReset, "password-reset", "reset of the recorder's password"},
      {restriction::kLedTests, "led-tests", "LED tests 1, 2 and 3"},
      {restriction::kProfiles, "profiles", "profile selection and apply"},
      {restriction::kTimer, "timer", "timer programme"},
      {restriction::kDownload, "download", "downloads and the playback bar"},
      {restriction::kTransmitter, "transmitter", "transmitter configuration"},
  }};
  return table;
}

Restrictions restrictionsOf(const Settings& s) {
  return Restrictions{s.restrictionsActive, s.restrictionMask, s.restrictionPassword};
}

std::optional<TextId> newPasswordProblem(const std::string& password, const std::string& confirmation) {
  if (password.empty()) return TextId::EnterAPassword;
  // The settings file keeps no blanks at the ends of a value and no line breaks: such a password
  // would never match again once stored.
  const auto blank = [](char c) { return c == ' ' || c == '\t'; };
  if (blank(password.front()) || blank(password.back())) return TextId::PasswordNotStorable;
  for (char c : password)
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) return TextId::PasswordNotStorable;
  if (password != confirmation) return TextId::PasswordsDiffer;
  return std::nullopt;
}

void askRestrictionPassword(ports::UserInterface& ui, const std::string& stored,
                            std::function<void(bool)> done) {
  ports::TextQuestion q;
  q.topic = ports::Topic::RestrictionPassword;
  q.kind = ports::TextKind::Secret;
  q.prompt = lang::text(TextId::EnterRestrictionPassword);
  q.caption = lang::text(TextId::AppName);
  ui.askText(q, [&ui, stored, done](const std::optional<std::string>& typed) {
    if (!typed) {
      if (done) done(false);
      return;
    }
    if (passwordMatches(stored, *typed)) {
      if (done) done(true);
      return;
    }
    ui.message(lang::text(TextId::WrongRestrictionPassword), lang::text(TextId::AppName),
               ports::Icon::Warning, ports::Buttons::Ok);
    askRestrictionPassword(ui, stored, done);
  });
}

RestrictionsModel::RestrictionsModel(const Restrictions& current, bool reducedVariant,
                                     ports::UserInterface& ui)
    : ui_(ui),
      reduced_(reducedVariant),
      active_(current.active),
      choices_(current.mask & restriction::kAll),
      password_(current.password),
      stored_(current.password) {
  if (reduced_) choices_ &= ~restriction::kProfileEditor;
}

void RestrictionsModel::open(std::function<void(bool)> done) {
  if (!active_) {
    if (done) done(true);
    return;
  }
  askRestrictionPassword(ui_, stored_, std::move(done));
}

void RestrictionsModel::setChoice(std::uint32_t bit, bool on) {
  if (!available(bit) || (bit & restriction::kAll) == 0) return;
  if (on)
    choices_ |= bit;
  else
    choices_ &= ~bit;
}

void RestrictionsModel::changePassword(std::function<void(bool)> done) {
  ports::TextQuestion q;
  q.topic = ports::Topic::NewRestrictionPassword;
  q.kind = ports::TextKind::NewSecret;
  q.prompt = lang::text(TextId::NewRestrictionPassword);
  q.caption = lang::text(TextId::AppName);
  ui_.askText(q, [this, done](const std::optional<std::string>& typed) {
    bool taken = typed.has_value();
    if (taken) {
      if (const auto problem = newPasswordProblem(*typed, *typed)) {
        ui_.message(lang::text(*problem), lang::text(TextId::AppName), ports::Icon::Warning,
                    ports::Buttons::Ok);
        taken = false;
      } else {
        password_ = *typed;
      }
    }
    if (done) done(taken);
  });
}

std::optional<Restrictions> RestrictionsModel::ok() const {
  if (active_ && password_.empty()) {
    ui_.message(lang::text(TextId::RestrictionsNeedPassword), lang::text(TextId::AppName),
                ports::Icon::Warning, ports::Buttons::Ok);
    return std::nullopt;
  }
  std::uint32_t mask = choices_;
  if (reduced_) mask &= ~restriction::kProfileEditor;
  return Restrictions{active_, mask, password_};
}

bool applyRestrictions(Settings& settings, SettingsFile& file, const Restrictions& r, std::string* error) {
  Settings next = settings;
  next.restrictionsActive = r.active;
  next.restrictionMask = r.mask;
  next.restrictionPassword = r.password;
  if (!saveRestrictions(file, next, error)) return false;
  settings = next;
  return true;
}

}  // namespace recdesk::app
