#include "sim/firmware_command.h"

#include <cstdio>
#include <memory>
#include <numeric>
#include <string>

#include "sim/firmware_builder.h"
#include "sim/firmware_file.h"
#include "sim/option_text.h"
#include "sim/record_format.h"
#include "sim/unit_identity.h"
#include "sim/unit_names.h"

namespace velkor::sim {
namespace {

struct FirmwareOptions {
    AppType model = kAppTypeUndetermined;
    McuType family = kMcuTypeUndetermined;
    std::string version_text;
    std::string information_text;
    std::string file_version;
    bool mismatch = false;
    std::uint32_t seed = 1;
    std::string output;
};

int RunFirmware(const CLI::App& command, const FirmwareOptions& options) {
    const UnitTexts defaults = DefaultUnitTexts(options.model, options.family);
    FirmwareIdentity identity;
    identity.model = options.model;
    identity.family = options.family;
    identity.version_text = command.count("--version-text") != 0
                                ? *DecodeEscapes(options.version_text)
                                : defaults.version;
    identity.information_text = command.count("--info-text") != 0
                                    ? *DecodeEscapes(options.information_text)
                                    : defaults.information;
    if (command.count("--file-version") != 0) {
        identity.file_version = *DecodeEscapes(options.file_version);
    }
    identity.mismatch = options.mismatch;

    const auto image = BuildFirmwareImage(identity, options.seed);
    const FlashRange range = *ProgrammedRange(options.family);
    std::string error = "no firmware layout for this model and family";
    if (image.empty() || !WriteFirmwareFile(options.output, options.family, image, range, error)) {
        std::fprintf(stderr, "velkor-sim: %s\n", error.c_str());
        return kFirmwareNotWritten;
    }
    // What the unit's checksum query reports once the file is programmed.
    const std::uint32_t checksum =
        std::accumulate(image.begin() + range.begin, image.begin() + range.end, std::uint32_t{0});
    std::printf("%08X\n", checksum);
    return kFirmwareWritten;
}

}  // namespace

void AddFirmwareCommand(CLI::App& app, int& exit_code) {
    auto options = std::make_shared<FirmwareOptions>();
    CLI::App* command = app.add_subcommand(
        "firmware",
        "Write a firmware file for a simulated unit: S-records for stm8, Intel HEX for nec and "
        "m3, with code bytes that follow from the seed over the family's firmware range and a "
        "description block that matches the unit's texts (by default those velkor-sim reports "
        "for the same --model and --family). Prints the byte sum of the firmware range, the "
        "MCU checksum after an update, as eight hexadecimal digits. Exit status: 0 written, "
        "1 the file could not be written, 64 bad usage.");
    AddModelName(*command, options->model, "head-unit model the file is for")->required();
    AddFamilyName(*command, options->family, "MCU family the file is for")->required();
    command
        ->add_option("--version-text", options->version_text,
                     "the unit's version reply (escapes \\r \\n \\t \\0 \\\\ \\xHH)")
        ->check(EscapedText())
        ->option_text("TEXT");
    command
        ->add_option("--info-text", options->information_text,
                     "the unit's information text (escapes)")
        ->check(EscapedText())
        ->option_text("TEXT");
    command
        ->add_option("--file-version", options->file_version,
                     "the version the file states (default: the unit's); for nec on r3360 its "
                     "first character is the major version the unit's version rule checks")
        ->check(EscapedText())
        ->option_text("TEXT");
    command->add_flag("--mismatch", options->mismatch,
                      "build another unit's identity into the file, so the check warns");
    command->add_option("--seed", options->seed, "seed of the code bytes (default 1)")
        ->option_text("N");
    command->add_option("-o,--output", options->output, "the firmware file to write")
        ->required()
        ->option_text("FILE");
    command->callback(
        [command, options, &exit_code] { exit_code = RunFirmware(*command, *options); });
}

}  // namespace velkor::sim
