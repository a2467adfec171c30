#include "cli/command_help.h"

#include <algorithm>
#include <memory>
#include <set>
#include <string>
#include <utility>

#include "runs/exit_codes.h"
#include "terminal/terminal_columns.h"
#include "terminal/text_wrap.h"

namespace velkor {

const ExitStatus kBadUsageStatus = {
    std::to_string(kExitUsage),
    "bad usage: an unknown option, a missing or wrong value, files that clash; nothing was sent "
    "or written"};
const ExitStatus kStoppedStatus = {
    "128+N", "stopped by signal N: SIGINT (130, Ctrl-C), SIGTERM (143) or SIGHUP (129)"};

namespace {

// Narrower than this, a description column would hold a word or two a line.
constexpr std::size_t kNarrowestHelp = 40;
constexpr std::size_t kOptionColumn = 30;
constexpr std::size_t kDescriptionColumns = 30;

std::size_t HelpWidth() {
    return std::max(TerminalColumns(), kNarrowestHelp);
}

// Where option descriptions begin: CLI11's column where the terminal leaves room beside it.
std::size_t DescriptionColumn(std::size_t width) {
    return std::min(kOptionColumn, width - kDescriptionColumns);
}

// "--a, --b or --c", in the order of the names (a set of options is in no order of its own).
std::string OptionNames(const std::set<CLI::Option*>& options) {
    std::vector<std::string> sorted;
    for (const CLI::Option* option : options) {
        sorted.push_back(option->get_name());
    }
    std::sort(sorted.begin(), sorted.end());
    std::string names;
    for (std::size_t i = 0; i < sorted.size(); ++i) {
        names += i == 0 ? "" : (i + 1 == sorted.size() ? " or " : ", ");
        names += sorted[i];
    }
    return names;
}

class HelpFormatter final : public CLI::Formatter {
  public:
    explicit HelpFormatter(CommandHelp help) : help_(std::move(help)) {
        label("SUBCOMMAND", "COMMAND");
        label("Positionals", "Arguments");
    }

    // The usage line first, as a reader of Unix help expects it.
    std::string make_help(const CLI::App* app, std::string name,
                          CLI::AppFormatMode mode) const override {
        if (mode == CLI::AppFormatMode::Sub) {
            return make_expanded(app);
        }
        return make_usage(app, std::move(name)) + "\n" + make_description(app) +
               make_positionals(app) + make_groups(app, mode) + make_subcommands(app, mode) + "\n" +
               make_footer(app);
    }

    std::string make_description(const CLI::App* app) const override {
        const std::string& text =
            help_.description.empty() ? app->get_description() : help_.description;
        return text.empty() ? std::string() : HangingLines("", text, 0, HelpWidth());
    }

    std::string make_option(const CLI::Option* option, bool is_positional) const override {
        const std::size_t width = HelpWidth();
        return HangingLines(
            "  " + make_option_name(option, is_positional) + make_option_opts(option),
            make_option_desc(option), DescriptionColumn(width), width);
    }

    // The value's name, and REQUIRED: CLI11 leaves REQUIRED out where an option names its
    // value itself, and puts what an option excludes here, where it makes the column wide.
    std::string make_option_opts(const CLI::Option* option) const override {
        std::string opts;
        if (!option->get_option_text().empty()) {
            opts = " " + option->get_option_text();
        } else if (option->get_type_size() != 0 && option->nonpositional()) {
            opts = " " + get_label(option->get_type_name());
        }
        if (option->get_required()) {
            opts += " " + get_label("REQUIRED");
        }
        return opts;
    }

    std::string make_option_desc(const CLI::Option* option) const override {
        std::string description = option->get_description();
        if (const auto& excluded = option->get_excludes(); !excluded.empty()) {
            description += "; not with " + OptionNames(excluded);
        }
        return description;
    }

    // The summaries begin beside the longest command name.
    std::string make_subcommand(const CLI::App* command) const override {
        std::size_t longest = 0;
        for (const CLI::App* each : command->get_parent()->get_subcommands({})) {
            longest = std::max(longest, each->get_display_name().size());
        }
        const std::size_t width = HelpWidth();
        return HangingLines("  " + command->get_display_name(), command->get_description(),
                            std::min(longest + 4, DescriptionColumn(width)), width);
    }

    std::string make_footer(const CLI::App* /*app*/) const override {
        const std::size_t width = HelpWidth();
        std::string footer;
        if (!help_.exits.empty()) {
            std::size_t code_width = 0;
            for (const ExitStatus& exit : help_.exits) {
                code_width = std::max(code_width, exit.code.size());
            }
            footer += "Exit status:\n";
            for (const ExitStatus& exit : help_.exits) {
                footer += HangingLines("  " + exit.code, exit.meaning, code_width + 4, width);
            }
        }
        if (!help_.examples.empty()) {
            footer += footer.empty() ? "" : "\n";
            footer += help_.examples.size() == 1 ? "Example:\n" : "Examples:\n";
            for (const std::string& example : help_.examples) {
                footer += "  " + example + "\n";
            }
        }
        return footer;
    }

  private:
    CommandHelp help_;
};

}  // namespace

void SetCommandHelp(CLI::App& command, CommandHelp help) {
    command.description(help.summary);
    command.group("Commands");
    command.formatter(std::make_shared<HelpFormatter>(std::move(help)));
}

}  // namespace velkor
