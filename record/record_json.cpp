#include "record/record_json.h"

#include <cstdio>
#include <ctime>

#include "platform/text.h"
#include "platform/traffic_text.h"

namespace velkor {
namespace {

using Json = nlohmann::ordered_json;

std::string Hex8(std::uint32_t value) {
    char text[16];
    std::snprintf(text, sizeof text, "%08X", value);
    return text;
}

Json TextOrNull(const std::optional<std::string>& text) {
    return text ? Json(*text) : Json(nullptr);
}

Json Checksum(const std::optional<std::uint32_t>& value) {
    return value ? Json(Hex8(*value)) : Json(nullptr);
}

// MCU replies are bytes: each becomes the character of the same value, so JSON always gets
// valid UTF-8.
Json McuText(const std::optional<std::string>& bytes) {
    return bytes ? Json(Latin1ToUtf8(*bytes)) : Json(nullptr);
}

Json ModelName(AppType model) {
    switch (model) {
        case kAppTypeR3360:
            return "R3360";
        case kAppTypeJ5:
            return "J5";
        default:
            return nullptr;
    }
}

Json FamilyName(McuType family) {
    switch (family) {
        case kMcuTypeStm8:
            return "STM8";
        case kMcuTypeNec:
            return "NEC";
        case kMcuTypeM3:
            return "M3";
        default:
            return nullptr;
    }
}

const char* VerdictWord(FileVerdict verdict) {
    switch (verdict) {
        case FileVerdict::kConfirmed:
            return "confirmed";
        case FileVerdict::kSlaveNotChecked:
            return "slave_not_checked";
        case FileVerdict::kNotForThisUnit:
            return "not_for_this_unit";
        case FileVerdict::kRefusedByVersionRule:
            return "refused_by_version_rule";
        case FileVerdict::kNoDescription:
            return "no_description";
        case FileVerdict::kNotChecked:
            break;
    }
    return "not_checked";
}

const char* VerifyWord(VerifyVerdict verdict) {
    switch (verdict) {
        case VerifyVerdict::kMatches:
            return "matches";
        case VerifyVerdict::kMismatch:
            return "mismatch";
        case VerifyVerdict::kNoReturn:
            return "no_return";
        case VerifyVerdict::kNoChecksum:
            return "no_checksum";
        case VerifyVerdict::kStopped:
            return "stopped";
        case VerifyVerdict::kNotPossible:
            break;
    }
    return "not_possible";
}

Json Options(const std::optional<NamedOptions>& options) {
    if (!options) {
        return nullptr;
    }
    Json object = Json::object();
    for (const auto& [label, entry] : *options) {
        object[label] = entry;
    }
    return object;
}

const char* CauseWord(StreamFailureCause cause) {
    switch (cause) {
        case StreamFailureCause::kNoStatus:
            return "no_acknowledgement";
        case StreamFailureCause::kLineFailed:
            return "hung_up";
        case StreamFailureCause::kBabbling:
            return "unexpected_reply";
        case StreamFailureCause::kStopped:
            break;
    }
    return "stopped";
}

// Where and why programming broke off; null when it did not.
Json Failure(const std::optional<StreamOutcome>& stream) {
    if (!stream || !stream->failure) {
        return nullptr;
    }
    const StreamFailure& failure = *stream->failure;
    char address[16];
    std::snprintf(address, sizeof address, "0x%05zX", failure.address);
    Json object;
    object["record"] = failure.record;
    object["of"] = stream->records_total;
    object["address"] = address;
    object["cause"] = CauseWord(failure.cause);
    object["waited_ms"] = failure.waited_ms;
    // The status bytes the record got, in hexadecimal; null when none came.
    object["reply"] =
        failure.status_bytes.empty()
            ? Json(nullptr)
            : Json(HexText({reinterpret_cast<const std::uint8_t*>(failure.status_bytes.data()),
                            failure.status_bytes.size()}));
    return object;
}

}  // namespace

std::string IsoLocalTime(std::chrono::system_clock::time_point time) {
    using namespace std::chrono;
    const auto since_epoch = time.time_since_epoch();
    const std::time_t seconds = duration_cast<std::chrono::seconds>(since_epoch).count();
    const auto millis = duration_cast<milliseconds>(since_epoch).count() % 1000;
    std::tm local{};
    localtime_r(&seconds, &local);  // reentrant: runs side by side do not share a buffer
    char text[64];
    const std::size_t length = std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S", &local);
    const long offset_minutes = local.tm_gmtoff / 60;
    const long magnitude = offset_minutes < 0 ? -offset_minutes : offset_minutes;
    std::snprintf(text + length, sizeof text - length, ".%03d%c%02ld:%02ld",
                  static_cast<int>(millis < 0 ? millis + 1000 : millis),
                  offset_minutes < 0 ? '-' : '+', magnitude / 60, magnitude % 60);
    return text;
}

Json RecordJson(const RunRecord& record) {
    Json object;
    object["time"] = IsoLocalTime(record.time);
    object["duration_ms"] = record.duration_ms;
    object["command"] = record.command;
    object["tool_version"] = record.tool_version;
    object["host"] = record.host;
    object["station"] = record.station;
    object["operator"] = TextOrNull(record.operator_name);
    object["slot"] = record.slot ? Json(*record.slot) : Json(nullptr);
    object["port"] = record.port;
    object["device"] = TextOrNull(record.device.path);
    object["device_by_id"] = TextOrNull(record.device.by_id);
    object["usb_serial"] = TextOrNull(record.device.usb_serial);
    object["model"] = ModelName(record.model);
    object["family"] = FamilyName(record.family);
    object["target"] = record.slave ? "slave" : "main";
    object["mcu_version_before"] = McuText(record.mcu_version_before);
    object["mcu_information_before"] = McuText(record.mcu_information_before);
    object["mcu_checksum_before"] = Checksum(record.mcu_checksum_before);

    const FileFacts* file = record.file ? &*record.file : nullptr;
    object["file_path"] = file ? Json(file->path) : Json(nullptr);
    object["file_size"] = file && file->size ? Json(*file->size) : Json(nullptr);
    object["file_sha256"] = file && file->sha256 ? Json(*file->sha256) : Json(nullptr);
    object["file_checksum"] = file ? Checksum(file->checksum) : Json(nullptr);
    object["check"] = file ? Json(VerdictWord(file->verdict)) : Json(nullptr);
    object["forced"] = record.forced;
    object["recovered"] = record.recovered;

    const VerifyOutcome* verify = record.verify ? &*record.verify : nullptr;
    object["verify"] = verify                  ? Json(VerifyWord(verify->verdict))
                       : record.verify_skipped ? Json("skipped")
                                               : Json(nullptr);
    object["verify_wait_ms"] = verify ? Json(verify->waited_ms) : Json(nullptr);
    object["mcu_version_after"] = verify ? McuText(verify->version_text) : Json(nullptr);
    object["mcu_checksum_after"] = verify ? Checksum(verify->mcu_checksum) : Json(nullptr);

    object["options_read"] = Options(record.options_read);
    object["options_written"] = Options(record.options_written);
    object["failure"] = Failure(record.programming);
    object["result"] = record.result;
    object["exit_code"] = record.exit_code;
    return object;
}

std::string RecordLine(const Json& object) {
    // Replacing what is not UTF-8 keeps the line whole: dump then never throws for a text.
    std::string line =
        EscapeJsonControls(object.dump(-1, ' ', false, Json::error_handler_t::replace));
    line += '\n';
    return line;
}

std::string EscapeJsonControls(std::string_view dumped) {
    std::string out;
    out.reserve(dumped.size());
    char escape[8];
    for (std::size_t i = 0; i < dumped.size(); ++i) {
        const auto byte = static_cast<unsigned char>(dumped[i]);
        // The dump is valid UTF-8, so 0xC2 always leads a character; outside strings a dump
        // has only ASCII.
        if (byte == 0x7F) {
            out += "\\u007f";
        } else if (byte == 0xC2 && i + 1 < dumped.size() &&
                   static_cast<unsigned char>(dumped[i + 1]) <= 0x9F) {
            std::snprintf(escape, sizeof escape, "\\u%04x",
                          static_cast<unsigned>(static_cast<unsigned char>(dumped[i + 1])));
            out += escape;
            ++i;
        } else {
            out += dumped[i];
        }
    }
    return out;
}

}  // namespace velkor
