// The only file that includes the CLI11 parser: the commands describe their options as plain data.
#include "CommandLine.h"

#include <CLI/CLI.hpp>

#include <algorithm>
#include <charconv>
#include <deque>
#include <iostream>
#include <map>
#include <sstream>

namespace recdesk::cli {

OptionDef flag(std::string names, std::string help) {
  OptionDef d;
  d.names = std::move(names);
  d.help = std::move(help);
  return d;
}

namespace {

OptionDef valued(ValueKind kind, std::string names, std::string valueName, std::string help) {
  OptionDef d;
  d.names = std::move(names);
  d.kind = kind;
  d.valueName = std::move(valueName);
  d.help = std::move(help);
  return d;
}

}  // namespace

OptionDef text(std::string names, std::string valueName, std::string help) {
  return valued(ValueKind::Text, std::move(names), std::move(valueName), std::move(help));
}
OptionDef file(std::string names, std::string valueName, std::string help) {
  return valued(ValueKind::File, std::move(names), std::move(valueName), std::move(help));
}
OptionDef folder(std::string names, std::string valueName, std::string help) {
  return valued(ValueKind::Folder, std::move(names), std::move(valueName), std::move(help));
}
OptionDef integer(std::string names, std::string valueName, long long min, long long max, std::string help) {
  OptionDef d = valued(ValueKind::Integer, std::move(names), std::move(valueName), std::move(help));
  d.min = min;
  d.max = max;
  return d;
}
OptionDef choice(std::string names, std::vector<std::string> choices, std::string help) {
  std::string valueName;
  for (const auto& c : choices) valueName += (valueName.empty() ? "" : "|") + c;
  OptionDef d = valued(ValueKind::Choice, std::move(names), std::move(valueName), std::move(help));
  d.choices = std::move(choices);
  return d;
}
OptionDef argument(OptionDef def, bool required, bool repeated) {
  def.required = required;
  def.repeated = repeated;
  if (def.valueName.empty()) def.valueName = def.names;
  return def;
}

std::optional<std::string> CliContext::value(const std::string& name) const {
  const auto it = values.find(name);
  if (it == values.end() || it->second.empty()) return std::nullopt;
  return it->second.back();
}

std::optional<long long> CliContext::number(const std::string& name) const {
  const auto v = value(name);
  if (!v) return std::nullopt;
  long long n = 0;
  std::from_chars(v->data(), v->data() + v->size(), n);
  return n;
}

std::vector<std::string> CliContext::all(const std::string& name) const {
  const auto it = values.find(name);
  return it == values.end() ? std::vector<std::string>{} : it->second;
}

namespace {

const char* const kProgram = "recdesk-cli";

std::vector<OptionDef> globalOptions() {
  return {
      file("--settings", "FILE", "settings file to use instead of the default one"),
      file("--device", "PATH", "serial device of the recorder (e.g. /dev/ttyUSB0)"),
      integer("--port", "CODE", 1, 32767,
              "port code: 1-999 serial, 1000+ FTDI adapter, 2000+ QuickUSB module"),
      choice("--baud", {"115200", "1000000", "2000000", "3000000"}, "link speed in bit/s"),
      flag("--demo", "use the built-in simulated recorder"),
      choice("--demo-model", {"R5", "R5U", "R6", "T7"},
             "the simulated device of the demo (R5U: the reduced variant, T7: the transmitter); implies --demo"),
      flag("--demo-clock-off", "the demo recorder's clock runs 2 minutes ahead; implies --demo"),
      flag("--demo-timer-armed", "the demo recorder starts with its timer armed; implies --demo"),
      flag("--demo-locked",
           "the demo recorder starts locked with the demo PIN 1234 (its invented PIN table is written to the "
           "demo folder and used for this run); implies --demo"),
      file("--log", "FILE",
           "write the communications log to FILE instead of the daily log in $XDG_STATE_HOME/recdesk/"),
      flag("--no-log", "write no communications log"),
      integer("--timeout", "S", 1, 86400, "seconds to wait for the recorder (default 20)"),
      flag("--yes,-y", "answer every question with yes"),
  };
}

// The name a definition is known by: its first name ("--mode" of "--mode,-m").
std::string keyOf(const OptionDef& d) {
  return d.names.substr(0, d.names.find(','));
}

bool isArgument(const OptionDef& d) {
  return !d.names.empty() && d.names[0] != '-';
}

std::vector<std::string> namesOf(const OptionDef& d) {
  std::vector<std::string> out;
  std::stringstream in(d.names);
  for (std::string n; std::getline(in, n, ',');) out.push_back(n);
  return out;
}

std::string orList(const std::vector<std::string>& words) {
  std::string out;
  for (std::size_t i = 0; i < words.size(); ++i)
    out += (i == 0 ? "" : i + 1 == words.size() ? " or " : ", ") + words[i];
  return out;
}

CLI::Validator wholeNumber(long long min, long long max) {
  return CLI::Validator(
      [min, max](std::string& s) -> std::string {
        long long v = 0;
        const auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), v);
        if (s.empty() || ec != std::errc() || end != s.data() + s.size() || v < min || v > max)
          return "takes a whole number from " + std::to_string(min) + " to " + std::to_string(max) +
                 ", not '" + s + "'";
        return {};
      },
      "");
}

CLI::Validator oneOf(std::vector<std::string> choices) {
  return CLI::Validator(
      [choices](std::string& s) -> std::string {
        if (std::find(choices.begin(), choices.end(), s) != choices.end()) return {};
        return "takes " + orList(choices) + ", not '" + s + "'";
      },
      "");
}

// An option as CLI11 sees it, and where its value lands.
struct Bound {
  const OptionDef* def;
  CLI::Option* option;
  std::string* single;
  std::vector<std::string>* many;
};

class Parser {
 public:
  Parser() : app_("recdesk-cli - the RecDesk recorder host program for scripts and terminals", kProgram) {
    app_.get_formatter()->label("SUBCOMMAND", "COMMAND");
    app_.get_formatter()->label("Positionals", "Arguments");
    app_.option_defaults()->multi_option_policy(CLI::MultiOptionPolicy::TakeLast);
    app_.allow_extras();
    app_.fallthrough();  // the global options may follow the command
    app_.require_subcommand(0, 1);
    app_.set_version_flag("--version", std::string(kProgram) + " " + versionLine());
    app_.footer(
        "recdesk-cli --demo runs the main job against the built-in simulated recorder: connect, list,\n"
        "download every recording and decode it. recdesk-cli COMMAND --help shows a command's options.");
    for (const auto& def : globals_) bind(app_, def);
    app_.add_option("--completion", completion_, "print the completion script for a shell")
        ->check(oneOf({"bash"}))
        ->group("");
    std::map<std::string, const CommandInfo*> sorted;
    for (const auto& c : commands()) sorted[c.name] = &c;
    for (const auto& [name, command] : sorted) {
      CLI::App* sub = app_.add_subcommand(name, command->summary);
      sub->group("Commands");
      sub->footer(
          "The options of recdesk-cli (see recdesk-cli --help) may be given before or after the command.");
      subs_[sub] = command;
      for (const auto& def : command->options) bind(*sub, def);
    }
  }

  std::optional<int> parse(const std::vector<std::string>& args, CliContext& context) {
    try {
      run(args);
      if (const CLI::App* sub = subcommand(); sub != nullptr && !app_.remaining(true).empty()) {
        // A command's own options may also stand before it: parse again with the command first.
        if (const std::size_t at = commandIndex(args, *sub); at != 0 && at < args.size()) {
          std::vector<std::string> reordered = {args[at]};
          reordered.insert(reordered.end(), args.begin(), args.begin() + static_cast<std::ptrdiff_t>(at));
          reordered.insert(reordered.end(), args.begin() + static_cast<std::ptrdiff_t>(at) + 1, args.end());
          run(reordered);
        }
      }
      if (subcommand() == nullptr && app_.count("--demo") > 0 && completion_.empty() && !unknownCommand()) {
        // Without a command the demo runs the main job: download (and decode) every recording.
        std::vector<std::string> demo = {"download", "--all"};
        demo.insert(demo.end(), args.begin(), args.end());
        run(demo);
      }
    } catch (const CLI::CallForHelp& e) {
      return app_.exit(e);
    } catch (const CLI::CallForAllHelp& e) {
      return app_.exit(e);
    } catch (const CLI::CallForVersion& e) {
      return app_.exit(e);
    } catch (const CLI::ParseError& e) {
      return usageError(message(e));
    }
    if (!completion_.empty()) {
      std::cout << bashCompletion();
      return kExitOk;
    }
    if (subcommand() == nullptr)
      if (const auto word = unknownCommand())
        return usageError("unknown command '" + *word + "' (see --help)");
    for (const auto& extra : app_.remaining(true)) {
      if (extra.size() > 1 && extra[0] == '-') return usageError("unknown option '" + extra + "'");
      return usageError("unexpected argument '" + extra + "'");
    }
    if (app_.count("--log") > 0 && app_.count("--no-log") > 0)
      return usageError("give either --log FILE or --no-log");
    if (subcommand() == nullptr) {
      std::cout << app_.help();
      return kExitUsage;
    }
    fill(context);
    return std::nullopt;
  }

 private:
  void run(const std::vector<std::string>& args) {
    std::vector<std::string> reversed(args.rbegin(), args.rend());
    app_.parse(reversed);
  }

  // Without a command, the first word that is no option nor the value of a download option (which the
  // demo takes) is taken for a mistyped command.
  std::optional<std::string> unknownCommand() const {
    const auto extras = app_.remaining(true);
    const CommandInfo* download = nullptr;
    for (const auto& [app, command] : subs_)
      if (std::string(command->name) == "download") download = command;
    const auto takesValue = [&](const std::string& word) {
      if (download == nullptr) return false;
      for (const auto& d : download->options)
        for (const auto& n : namesOf(d))
          if (n == word && d.kind != ValueKind::Flag) return true;
      return false;
    };
    for (std::size_t i = 0; i < extras.size(); ++i) {
      const std::string& word = extras[i];
      if (word.size() > 1 && word[0] == '-') continue;
      if (i == 0 || !takesValue(extras[i - 1])) return word;
    }
    return std::nullopt;
  }

  // Where the command `sub` stands in `args`: the first word that is neither an option nor the value of
  // one (of the global options or of the command's own); args.size() when there is none.
  std::size_t commandIndex(const std::vector<std::string>& args, const CLI::App& sub) const {
    const auto takesValue = [&](const std::string& word) {
      for (const auto* defs : {&globals_, &subs_.at(&sub)->options})
        for (const auto& d : *defs)
          for (const auto& n : namesOf(d))
            if (n == word && d.kind != ValueKind::Flag && !isArgument(d)) return true;
      return false;
    };
    for (std::size_t i = 0; i < args.size(); ++i) {
      const std::string& word = args[i];
      if (word == "--") break;
      if (word.size() > 1 && word[0] == '-') {
        if (takesValue(word)) ++i;
        continue;
      }
      return word == sub.get_name() ? i : args.size();
    }
    return args.size();
  }

  CLI::App* subcommand() const {
    const auto chosen = app_.get_subcommands();
    return chosen.empty() ? nullptr : chosen.front();
  }

  void bind(CLI::App& app, const OptionDef& def) {
    Bound b{&def, nullptr, nullptr, nullptr};
    if (def.kind == ValueKind::Flag) {
      b.option = app.add_flag(def.names, def.help);
    } else if (def.repeated) {
      b.many = &manyStore_.emplace_back();
      b.option = app.add_option(def.names, *b.many, def.help);
    } else {
      b.single = &singleStore_.emplace_back();
      b.option = app.add_option(def.names, *b.single, def.help);
    }
    if (def.kind != ValueKind::Flag) b.option->type_name(isArgument(def) ? std::string() : def.valueName);
    if (def.kind == ValueKind::Integer) {
      b.option->check(wholeNumber(def.min, def.max));
      b.option->description(def.help + " (" + std::to_string(def.min) + " to " + std::to_string(def.max) +
                            ")");
    }
    if (def.kind == ValueKind::Choice) b.option->check(oneOf(def.choices));
    if (def.required) b.option->required();
    bound_[&app].push_back(b);
  }

  // CLI11's wording where ours is plainer.
  static std::string message(const CLI::ParseError& e) {
    const std::string what = e.what();
    const auto colon = what.find(": ");
    if (colon != std::string::npos && what.size() > 8 && what.compare(what.size() - 8, 8, " missing") == 0 &&
        what.find(" required ", colon) != std::string::npos)
      return what.substr(0, colon) + " needs a value";
    if (colon != std::string::npos && e.get_name() == "ValidationError")
      return what.substr(0, colon) + " " + what.substr(colon + 2);
    return what;
  }

  int usageError(const std::string& text) {
    CliContext context;
    if (const CLI::App* sub = subcommand()) context.command = sub->get_name();
    return cli::usageError(context, text);
  }

  void fill(CliContext& context) {
    const auto valueOf = [](const Bound& b) { return b.single ? *b.single : std::string(); };
    for (const Bound& b : bound_[&app_]) {
      if (b.option->count() == 0) continue;
      const std::string key = keyOf(*b.def);
      const std::string v = valueOf(b);
      if (key == "--settings") context.settingsFile = v;
      if (key == "--device") context.devicePath = v;
      if (key == "--port") context.portCode = static_cast<int>(std::stol(v));
      if (key == "--baud") context.baud = static_cast<std::uint32_t>(std::stoul(v));
      if (key == "--demo") context.demo = true;
      if (key == "--demo-model") context.demo = true, context.demoModel = v;
      if (key == "--demo-clock-off") context.demo = true, context.demoClockOff = true;
      if (key == "--demo-timer-armed") context.demo = true, context.demoTimerArmed = true;
      if (key == "--demo-locked") context.demo = true, context.demoLocked = true;
      if (key == "--log") context.logFile = v;
      if (key == "--no-log") context.noLog = true;
      if (key == "--timeout") context.timeoutSeconds = std::stod(v);
      if (key == "--yes") context.yes = true;
    }
    CLI::App* sub = subcommand();
    context.command = sub->get_name();
    for (const Bound& b : bound_[sub]) {
      if (b.option->count() == 0) continue;
      context.values[keyOf(*b.def)] = b.many ? *b.many : std::vector<std::string>{valueOf(b)};
    }
  }

  std::vector<OptionDef> globals_ = globalOptions();
  CLI::App app_;
  std::string completion_;
  std::deque<std::string> singleStore_;
  std::deque<std::vector<std::string>> manyStore_;
  std::map<const CLI::App*, std::vector<Bound>> bound_;
  std::map<const CLI::App*, const CommandInfo*> subs_;
};

// ---- bash completion ----

std::string words(const std::vector<std::string>& list) {
  std::string out;
  for (const auto& w : list) out += (out.empty() ? "" : " ") + w;
  return out;
}

// The case branches completing the value after each option of `defs` that takes one.
void valueCases(std::ostream& out, const std::vector<OptionDef>& defs, const std::string& indent) {
  for (const auto& d : defs) {
    if (d.kind == ValueKind::Flag || isArgument(d)) continue;
    std::string names;
    for (const auto& n : namesOf(d)) names += (names.empty() ? "" : "|") + n;
    out << indent << names << ") ";
    switch (d.kind) {
      case ValueKind::File:
        out << "_recdesk_cli_files -f";
        break;
      case ValueKind::Folder:
        out << "_recdesk_cli_files -d";
        break;
      case ValueKind::Choice:
        out << "COMPREPLY=($(compgen -W \"" << words(d.choices) << "\" -- \"$cur\"))";
        break;
      case ValueKind::Integer:
        if (d.max - d.min < 10) {  // a short range is offered whole
          std::vector<std::string> all;
          for (long long v = d.min; v <= d.max; ++v) all.push_back(std::to_string(v));
          out << "COMPREPLY=($(compgen -W \"" << words(all) << "\" -- \"$cur\"))";
        } else {
          out << "COMPREPLY=()";
        }
        break;
      default:
        out << "COMPREPLY=()";
        break;
    }
    out << "; return ;;\n";
  }
}

std::string optionWords(const std::vector<OptionDef>& defs) {
  std::vector<std::string> out;
  for (const auto& d : defs)
    if (!isArgument(d))
      for (const auto& n : namesOf(d)) out.push_back(n);
  return words(out);
}

// The options that take a value (so that the word after them is no command).
std::string valuedPattern(const std::vector<OptionDef>& defs) {
  std::string out;
  for (const auto& d : defs)
    if (d.kind != ValueKind::Flag && !isArgument(d))
      for (const auto& n : namesOf(d)) out += (out.empty() ? "" : "|") + n;
  return out;
}

}  // namespace

std::optional<int> parseCommandLine(const std::vector<std::string>& args, CliContext& context) {
  Parser parser;
  return parser.parse(args, context);
}

std::string usageLine(const CommandInfo& command) {
  std::string line = command.name;
  for (const auto& d : command.options) {
    if (isArgument(d)) {
      const std::string name = d.valueName + (d.repeated ? "..." : "");
      line += " " + (d.required ? name : "[" + name + "]");
    } else {
      line += " [" + keyOf(d) + (d.kind == ValueKind::Flag ? "" : " " + d.valueName) + "]";
    }
  }
  return line;
}

std::string bashCompletion() {
  const std::vector<OptionDef> globals = globalOptions();
  std::vector<const CommandInfo*> sorted;
  for (const auto& c : commands()) sorted.push_back(&c);
  std::sort(sorted.begin(), sorted.end(), [](auto* a, auto* b) { return std::string(a->name) < b->name; });
  std::vector<std::string> names;
  for (const auto* c : sorted) names.push_back(c->name);

  std::ostringstream out;
  out << "# bash completion for recdesk-cli (written by recdesk-cli --completion bash)\n"
         "_recdesk_cli_files() {\n"
         "  local IFS=$'\\n'\n"
         "  compopt -o filenames 2>/dev/null\n"
         "  COMPREPLY=($(compgen \"$1\" -- \"$cur\"))\n"
         "}\n\n"
         "_recdesk_cli() {\n"
         "  local cur=${COMP_WORDS[COMP_CWORD]} prev=${COMP_WORDS[COMP_CWORD-1]}\n"
         "  # \"--opt=value\": bash splits at the '='.\n"
         "  if [[ $cur == = ]]; then cur=; fi\n"
         "  if [[ $prev == = && $COMP_CWORD -ge 2 ]]; then prev=${COMP_WORDS[COMP_CWORD-2]}; fi\n"
         "  local command= i word\n"
         "  for ((i = 1; i < COMP_CWORD; i++)); do\n"
         "    word=${COMP_WORDS[i]}\n"
         "    case $word in\n"
         "      "
      << valuedPattern(globals)
      << ") ((i++)); [[ ${COMP_WORDS[i]} == = ]] && ((i++)) ;;\n"
         "      -*) ;;\n"
         "      *) command=$word; break ;;\n"
         "    esac\n"
         "  done\n"
         "  case $prev in\n";
  valueCases(out, globals, "    ");
  out << "  esac\n"
         "  local options= arguments=\n"
         "  case $command in\n";
  for (const auto* c : sorted) {
    out << "    " << c->name << ")\n"
        << "      case $prev in\n";
    valueCases(out, c->options, "        ");
    std::string arguments = "none";
    for (const auto& d : c->options)
      if (isArgument(d)) arguments = d.kind == ValueKind::File ? "files" : "other";
    out << "      esac\n"
        << "      options=\"" << optionWords(c->options) << "\"; arguments=" << arguments << " ;;\n";
  }
  out << "  esac\n"
         "  if [[ $cur == -* ]]; then\n"
         "    COMPREPLY=($(compgen -W \""
      << optionWords(globals)
      << " --help --version $options\" -- \"$cur\"))\n"
         "  elif [[ -z $command ]]; then\n"
         "    COMPREPLY=($(compgen -W \""
      << words(names)
      << "\" -- \"$cur\"))\n"
         "  elif [[ $arguments == files ]]; then\n"
         "    _recdesk_cli_files -f\n"
         "  else\n"
         "    COMPREPLY=()\n"
         "  fi\n"
         "}\n"
         "complete -F _recdesk_cli recdesk-cli\n";
  return out.str();
}

}  // namespace recdesk::cli
