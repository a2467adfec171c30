#include "cli/usage_errors.h"

#include <string_view>
#include <vector>

#include "platform/text.h"

namespace velkor {
namespace {

bool IsOption(const std::string& word) {
    return word.size() > 1 && word[0] == '-';
}

// What the command line held that no command or option took.
std::vector<std::string> Unknown(const CLI::App& app, bool options) {
    std::vector<std::string> found;
    for (const std::string& word : app.remaining(true)) {
        if (IsOption(word) == options) {
            found.push_back(options ? word.substr(0, word.find('=')) : word);
        }
    }
    return found;
}

std::string CommandNames(const CLI::App& app) {
    const auto commands = app.get_subcommands([](const CLI::App*) { return true; });
    std::string names;
    for (std::size_t i = 0; i < commands.size(); ++i) {
        names += i == 0 ? "" : (i + 1 == commands.size() ? " and " : ", ");
        names += commands[i]->get_name();
    }
    return names;
}

// CLI11's "NAME: what is wrong", split at its first ": ".
std::pair<std::string, std::string> NameAndRest(const std::string& text) {
    const std::size_t colon = text.find(": ");
    if (colon == std::string::npos) {
        return {};
    }
    return {text.substr(0, colon), text.substr(colon + 2)};
}

std::string Reason(const CLI::App& app, const CLI::Error& error) {
    const std::string text = error.what();
    // A misspelt option leaves what it was meant to give missing: the misspelling comes first.
    if (const auto options = Unknown(app, true); !options.empty()) {
        return "unknown option " + options.front();
    }
    if (dynamic_cast<const CLI::RequiredError*>(&error) != nullptr) {
        if (app.get_subcommands().empty()) {
            const auto words = Unknown(app, false);
            return (words.empty() ? std::string("no command given")
                                  : "unknown command " + words.front()) +
                   "; the commands are " + CommandNames(app);
        }
        return text;  // "--model is required", "FILE is required"
    }
    if (dynamic_cast<const CLI::ExtrasError*>(&error) != nullptr) {
        const auto words = Unknown(app, false);
        return words.empty() ? text : "unexpected argument " + words.front();
    }
    if (dynamic_cast<const CLI::ExcludesError*>(&error) != nullptr) {
        if (const std::size_t at = text.find(" excludes "); at != std::string::npos) {
            return text.substr(0, at) + " and " + text.substr(at + 10) +
                   " cannot be given together";
        }
        return text;
    }
    if (dynamic_cast<const CLI::ValidationError*>(&error) != nullptr) {
        const auto [name, rest] = NameAndRest(text);
        return name.empty() ? text : name + " " + rest;  // the checks read on from the name
    }
    if (dynamic_cast<const CLI::ArgumentMismatch*>(&error) != nullptr) {
        const auto [name, rest] = NameAndRest(text);
        if (name.empty()) {
            return text;
        }
        return rest.find("At Most") != std::string::npos ? name + " may be given only once"
                                                         : name + " needs a value";
    }
    if (dynamic_cast<const CLI::ConversionError*>(&error) != nullptr) {
        constexpr std::string_view kConvert = "Could not convert: ";
        if (text.starts_with(kConvert)) {
            const std::size_t equals = text.find(" = ");
            if (equals != std::string::npos) {
                const std::string name = text.substr(kConvert.size(), equals - kConvert.size());
                return name + " does not take " + text.substr(equals + 3);
            }
        }
        const auto [name, rest] = NameAndRest(text);
        return name.empty() ? text : name + " takes no value";  // a flag given one
    }
    return text;
}

}  // namespace

std::string UsageMessage(const CLI::App* app, const CLI::Error& error) {
    std::string command = app->get_name();
    for (const CLI::App* sub = app; !sub->get_subcommands().empty();) {
        sub = sub->get_subcommands().front();
        command += " " + sub->get_name();
    }
    return "velkor-flash: " + EscapeControls(Reason(*app, error)) + "\nSee '" + command +
           " --help'.\n";
}

}  // namespace velkor
