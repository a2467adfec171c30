#include "cli/config_run.h"

#include <algorithm>
#include <cctype>

#include "cli/held_port.h"
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

int RunConfigSteps(UpdateSession& session, const ConfigRequest& request, std::ostream& out,
                   RunRecord& record, bool& sending) {
    const FamilyDescriptor* descriptor = FamilyOf(request.model, request.mcu);
    Report& report = session.report;
    if (descriptor == nullptr || session.links.Plain(request.model) == nullptr ||
        session.links.Select(request.model, request.mcu) == nullptr) {
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

    if (session.context.stopping()) {
        return kConfigPortFailed;  // stopped before it began: the port is not even opened
    }
    if (!request.held_by.empty()) {
        report.AppendError(HeldPortLine(request.device, request.held_by));
        return kConfigPortFailed;
    }
    if (const int opened = session.OpenModelLink(); opened != kOpenOk) {
        // A device that cannot be opened has been explained by the open itself.
        if (opened != kOpenNoDevice) {
            report.AppendError(request.device + " does not take the serial line settings\r\n");
        }
        return kConfigPortFailed;
    }
    if (session.ReadVersion() != kLinkOk) {
        return kConfigNoVersion;
    }
    session.state.mcu_type = request.mcu;
    session.SelectFamily(request.mcu);
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
    RunRecord facts = StartRecord("config");
    const std::uint32_t started_ms = clock.NowMs();
    facts.port = request.device;
    facts.model = request.model;
    facts.family = request.mcu;

    HeldAfterStop log(sink, request.stop);
    UpdateSession session(port, clock, {}, &log);
    RunStop::Watch watch(request.stop, session.context);
    session.state.app_type = request.model;
    session.state.device = request.device;
    session.context.port_source = kPortSourceCommandLine;
    bool sending = false;
    int exit = RunConfigSteps(session, request, out, facts, sending);

    facts.duration_ms = clock.NowMs() - started_ms;
    facts.result = ResultWord(exit, facts.options_written.has_value());
    if (const int signal = request.stop != nullptr ? request.stop->signal() : 0;
        signal != 0 && exit != kConfigDone) {
        log.AppendClosingLine(sending ? kLogInterruptedOptionsSent : kLogInterruptedNothingWritten);
        exit = kExitSignalBase + signal;
        facts.result = "interrupted";
    } else {
        log.PassOn();  // not stopped, or only after its last wait: it ended as it would have
    }
    facts.exit_code = exit;
    if (record != nullptr) {
        *record = std::move(facts);
    }
    return exit;
}

}  // namespace velkor
