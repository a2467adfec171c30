#include "runs/run_output.h"

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <thread>

#include "platform/resource_shortage.h"
#include "record/record_file.h"
#include "record/record_json.h"
#include "runs/exit_codes.h"

namespace velkor {
namespace {

constexpr int kRecordAttempts = 20;
constexpr auto kRecordRetryAfter = std::chrono::milliseconds(100);

}  // namespace

bool RecordPathAllowed(const std::string& file, const std::vector<KeptFile>& kept) {
    if (const std::string refusal = WriteRefusal("--record", file, kept); !refusal.empty()) {
        std::fprintf(stderr, "velkor-flash: %s\n", refusal.c_str());
        return false;
    }
    return true;
}

bool RecordReady(const RecordOptions& options) {
    std::string error;
    if (!options.file.empty() && !CanAppendRecord(options.file, error)) {
        std::fprintf(stderr, "velkor-flash: %s; nothing was done\n", error.c_str());
        return false;
    }
    return true;
}

RecordedRun RecordRun(const RecordOptions& options, RunRecord record, int exit) {
    if (!options.station.empty()) {
        record.station = options.station;
    }
    if (!options.operator_name.empty()) {
        record.operator_name = options.operator_name;
    }
    RecordedRun run{RecordJson(record), exit};
    std::string error;
    // What a line keeps of a unit is not lost to a moment's shortage of descriptors or memory.
    bool appended = options.file.empty();
    for (int attempt = 1; !appended; ++attempt) {
        appended = AppendRecord(options.file, RecordLine(run.object), error);
        if (appended || !IsResourceShortage(errno) || attempt == kRecordAttempts) {
            break;
        }
        std::this_thread::sleep_for(kRecordRetryAfter);
    }
    if (!appended) {
        std::fprintf(stderr, "velkor-flash: %s (the run on %s itself ended: %s)\n", error.c_str(),
                     record.port.c_str(), record.result.c_str());
        run.object["record_error"] = error;
        if (exit == 0) {
            run.exit = kExitRecordFailed;
        }
    }
    return run;
}

int FinishRun(const RecordOptions& options, const RunRecord& record, int exit) {
    const RecordedRun run = RecordRun(options, record, exit);
    if (options.json) {
        const std::string line = RecordLine(run.object);
        std::fwrite(line.data(), 1, line.size(), stdout);
        std::fflush(stdout);
    }
    return run.exit;
}

}  // namespace velkor
