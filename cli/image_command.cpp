#include "cli/image_command.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <memory>
#include <string>

#include "cli/command_help.h"
#include "cli/mcu_family_option.h"
#include "cli/output_options.h"
#include "image/image_for_family.h"
#include "runs/command_output.h"
#include "runs/exit_codes.h"

namespace velkor {
namespace {

struct ImageOptions {
    McuType mcu = kMcuTypeUndetermined;
    std::string file;
    std::string output;
    OutputOptions log;
};

bool WriteImage(const std::uint8_t* image, const std::string& output) {
    if (output.empty() || output == "-") {
        return std::fwrite(image, 1, kImageSize, stdout) == kImageSize && std::fflush(stdout) == 0;
    }
    std::ofstream out(output, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(image), static_cast<std::streamsize>(kImageSize));
    out.close();
    return static_cast<bool>(out);
}

int RunImage(const ImageOptions& options) {
    const bool to_stdout = options.output.empty() || options.output == "-";
    if (to_stdout && ::isatty(STDOUT_FILENO)) {
        std::fprintf(stderr,
                     "velkor-flash: the image is binary; name a file with -o, or redirect"
                     " standard output\n");
        return kExitUsage;
    }
    // The image would replace the very file it was read from, or be appended to it.
    struct stat input {};
    struct stat output {};
    const bool input_known = ::stat(options.file.c_str(), &input) == 0;
    if (input_known && !to_stdout && ::stat(options.output.c_str(), &output) == 0 &&
        input.st_dev == output.st_dev && input.st_ino == output.st_ino) {
        std::fprintf(stderr, "velkor-flash: -o %s is the firmware file itself; name another file\n",
                     options.output.c_str());
        return kExitUsage;
    }
    if (input_known && to_stdout && ::fstat(STDOUT_FILENO, &output) == 0 &&
        input.st_dev == output.st_dev && input.st_ino == output.st_ino) {
        std::fprintf(stderr,
                     "velkor-flash: standard output is the firmware file itself; name another "
                     "file with -o\n");
        return kExitUsage;
    }
    CommandOutput log(options.log);
    std::vector<KeptFile> kept = {{options.file, "the firmware file"}};
    if (to_stdout) {
        kept.push_back({"/proc/self/fd/1", "standard output"});
    } else {
        kept.push_back({options.output, "the image file"});
    }
    if (!log.Open(kept)) {
        return kExitUsage;
    }
    Report report(&log);
    auto image = MakeImageReader(options.mcu, report);
    const int result = image->Load(options.file);
    if (result != kLoadOk) {
        return result;
    }
    if (!WriteImage(image->Buffer(), options.output)) {
        std::fprintf(stderr, "velkor-flash: cannot write the image to %s\n",
                     to_stdout ? "standard output" : options.output.c_str());
        return kExitOutputFailed;
    }
    return kLoadOk;
}

}  // namespace

void AddImageCommand(CLI::App& app, int& exit_code) {
    auto options = std::make_shared<ImageOptions>();
    CLI::App* command = app.add_subcommand("image");
    SetCommandHelp(
        *command,
        {.summary = "load a firmware file and write its whole 256 KiB image",
         .description =
             "Load a firmware file as the tool does and write the whole 256 KiB image (0x00 "
             "where the file has no data). The log goes to standard error.",
         .exits = {{"0", "read (the load result, as the tool's)"},
                   {"1", "no memory"},
                   {"2", "the file cannot be opened"},
                   {"3", "format error"},
                   {"4", "the image could not be written"},
                   kBadUsageStatus},
         .examples = {"velkor-flash image --mcu m3 fw.hex -o fw.bin",
                      "velkor-flash image --mcu stm8 fw.s19 | cmp - unit.bin"}});
    AddMcuOption(*command, options->mcu);
    command->add_option("FILE", options->file, "firmware file")->required();
    command
        ->add_option("-o,--output", options->output,
                     "where the image goes (default: standard output)")
        ->option_text("FILE");
    AddOutputOptions(*command, options->log, false);
    command->callback([options, &exit_code] { exit_code = RunImage(*options); });
}

}  // namespace velkor
