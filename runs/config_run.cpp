#include "runs/config_run.h"

#include <algorithm>
#include <cctype>

#include "procedures/family_options.h"
#include "record/session_facts.h"
#include "session/update_session.h"
#include "settings/option_lists.h"

namespace velkor {
namespace {

const OptionList& ListOf(UnitOption option) {
    return *std::find_if(kOptionLists.begin(), kOptionLists.end(),
                         [option](const OptionList& list) { return list.option == option; });
}

std::string Simplified(std::string_view name) {
    std::string simple;
    for (char ch : name) {
        if (ch != ' ' && ch != '"') {
            simple += static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
        }
    }
    return simple;
}

// "TV: ISDBT-IN"; an index past the list shows as its number.
std::string Describe(UnitOption option, std::uint8_t index) {
    const OptionList& list = ListOf(option);
    const std::string entry =
        index < list.entries.size() ? std::string(list.entries[index]) : std::to_string(index);
    return std::string(list.label) + " " + entry;
}

}  // namespace

std::optional<std::uint8_t> OptionIndex(UnitOption option, std::string_view name) {
    const std::string simple = Simplified(name);
    if (option == kOptionHbrake || option == kOptionRds) {
        if (simple == "ON") {
            return 1;
        }
        if (simple == "OFF") {
            return 0;
        }
    }
    const auto entries = ListOf(option).entries;
    for (std::size_t index = 0; index < entries.size(); ++index) {
        if (Simplified(entries[index]) == simple) {
            return static_cast<std::uint8_t>(index);
        }
    }
    return std::nullopt;
}

namespace {

int RunConfigSteps(CommandSession& run, const ConfigRequest& request, std::ostream& out,
                   bool& sending) {
    UpdateSession& session = run.session();
    RunRecord& record = run.record();
    const UnitRequest& unit = request.unit;
    const FamilyDescriptor* descriptor = FamilyOf(unit.model, unit.mcu);
    Report& report = session.report;
    if (descriptor == nullptr || session.links.Plain(unit.model) == nullptr ||
        session.links.Select(unit.model, unit.mcu) == nullptr) {
        return kConfigPortFailed;  // the command line admits no such model or family
    }
    const OptionSet carried = CarriedOptions(*descriptor);
    bool changes = false;
    for (const OptionList& list : kOptionLists) {
        if (!request.changes[list.option]) {
            continue;
        }
        if (!carried[list.option]) {
            std::string line = "The option command of this unit does not carry ";
            line += list.label;
            line += " nothing was written.\r\n";
            report.AppendError(line);
            return kConfigNotCarried;
        }
        changes = true;
    }

    if (!run.OpenPort(true)) {
        return kConfigPortFailed;
    }
    if (!run.ReadVersion()) {
        return kConfigNoVersion;
    }
    session.state.mcu_type = unit.mcu;
    session.SelectFamily(unit.mcu);
    UnitOptions& options = session.programming.unit_options;
    options = {};
    session.current_link->DecodeOptions();
    const OptionSet reported = ReportedOptions(*descriptor);
    record.mcu_version_before = std::string(session.context.replies.VersionText());
    record.options_read = NameOptions(options, reported);
    for (const OptionList& list : kOptionLists) {
        if (reported[list.option]) {
            out << Describe(list.option, options[list.option]) << '\n';
        }
    }
    out.flush();
    if (!changes) {
        return kConfigDone;
    }

    std::string written = "Writing";
    for (const OptionList& list : kOptionLists) {
        if (const auto change = request.changes[list.option]) {
            options[list.option] = *change;
        }
        if (carried[list.option]) {
            written +=
                (written.size() > 7 ? ", " : " ") + Describe(list.option, options[list.option]);
        }
    }
    report.AppendLog(written + "\r\n");
    if (carried[kOptionRds] && !request.changes[kOptionRds]) {
        // Nothing reports it, so the command sends the panel's default, as the tool does.
        report.AppendLog("RDS is not reported by the MCU: it is written as DISABLE.\r\n");
    }
    if (session.context.stopping()) {
        return kConfigNotWritten;
    }
    record.options_written = NameOptions(options, carried);
    sending = true;
    return session.current_link->WriteConfiguration() == 0 ? kConfigDone : kConfigNotWritten;
}

const char* ResultWord(int exit, bool written) {
    switch (exit) {
        case kConfigDone:
            return written ? "configured" : "shown";
        case kConfigNoVersion:
            return "no_version";
        case kConfigPortFailed:
            return "port_failed";
        case kConfigNotWritten:
            return "not_written";
        case kConfigNotCarried:
            return "not_carried";
        default:
            return "failed";
    }
}

}  // namespace

int RunConfig(SerialPort& port, Clock& clock, const ConfigRequest& request, std::ostream& out,
              ReportSink& sink, RunRecord* record) {
    CommandSession run(port, clock, sink, request.unit, "config");
    bool sending = false;
    const int exit = RunConfigSteps(run, request, out, sending);
    return run.Finish(exit, exit == kConfigDone,
                      ResultWord(exit, run.record().options_written.has_value()),
                      sending ? kLogInterruptedOptionsSent : kLogInterruptedNothingWritten, record);
}

}  // namespace velkor
