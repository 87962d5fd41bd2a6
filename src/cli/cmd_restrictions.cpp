// recdesk-cli restrictions: the access restrictions, and changing them behind their password.
#include <iostream>

#include "Cli.h"
#include "CliUi.h"
#include "app/Restrictions.h"
#include "app/Settings.h"
#include "app/SettingsFile.h"

namespace recdesk::cli {
namespace {

void show(const app::Restrictions& r) {
  std::cout << "Restrictions: " << (r.active ? "active" : "off") << "\n"
            << "Mask: " << r.mask << "\n";
  for (const auto& b : app::restrictionBits()) {
    const bool set = (r.mask & b.bit) != 0;
    std::cout << (set ? "  [x] " : "  [ ] ") << b.bit
              << std::string(b.bit < 10    ? 3
                             : b.bit < 100 ? 2
                                           : 1,
                             ' ')
              << b.name << ": " << b.guards << (r.allowed(b.bit) ? "" : " (locked)") << "\n";
  }
}

int runRestrictions(CliContext& context) {
  app::SettingsFile file(context.settingsFile ? *context.settingsFile : app::defaultSettingsPath());
  app::LoadResult loaded = app::loadSettings(file);
  app::Settings& settings = loaded.settings;
  const app::Restrictions current = app::restrictionsOf(settings);
  const auto args = context.all("ACTION");
  if (args.empty()) {
    show(current);
    return kExitOk;
  }
  if (args.size() != 1 || args[0] != "set") return usageError(context, "the only action is 'set'");

  CliUi ui(context.yes);
  if (const auto password = context.value("--password"))
    ui.answerText(ports::Topic::RestrictionPassword, *password);
  if (const auto password = context.value("--new-password"))
    ui.answerText(ports::Topic::NewRestrictionPassword, *password);
  app::RestrictionsModel model(current, false, ui);
  bool opened = false;
  model.open([&](bool ok) { opened = ok; });
  if (!opened) return fail("the restrictions stay as they are (the restriction password was not given)");

  if (const auto active = context.value("--active")) model.setActive(*active == "1");
  if (const auto mask = context.number("--mask")) {
    for (const auto& b : app::restrictionBits()) model.setChoice(b.bit, (*mask & b.bit) != 0);
  }
  if (context.given("--new-password") || (model.active() && model.password().empty())) {
    bool changed = false;
    model.changePassword([&](bool c) { changed = c; });
    if (!changed && context.given("--new-password")) return fail("the new password was not taken");
  }
  const auto record = model.ok();
  if (!record) return kExitFailure;
  std::string error;
  if (!app::applyRestrictions(settings, file, *record, &error)) return fail(error);
  show(*record);
  return kExitOk;
}

}  // namespace

RECDESK_CLI_COMMAND("restrictions",
                    "show the access restrictions; 'restrictions set' changes them (asks for their password)",
                    runRestrictions,
                    argument(text("ACTION", "set", "set: change the restrictions"), false, true),
                    choice("--active", {"0", "1"}, "restrictions off (0) or on (1)"),
                    integer("--mask", "N", 0, 511, "the restricted commands: a sum of the bit values shown"),
                    text("--password", "TEXT", "the restriction password (else it is asked on the terminal)"),
                    text("--new-password", "TEXT", "a new restriction password"));

}  // namespace recdesk::cli
