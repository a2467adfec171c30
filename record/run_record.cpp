#include "record/run_record.h"

#include <limits.h>
#include <unistd.h>

namespace velkor {

RunRecord StartRecord(std::string command) {
    RunRecord record;
    record.command = std::move(command);
    record.time = std::chrono::system_clock::now();
    record.tool_version = VELKOR_VERSION;
    char host[HOST_NAME_MAX + 1] = {};
    if (::gethostname(host, sizeof host - 1) == 0) {
        record.host = host;
    }
    record.station = record.host;
    return record;
}

}  // namespace velkor
