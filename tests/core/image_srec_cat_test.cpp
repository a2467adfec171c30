// Cross-checks both readers against srec_cat, an independent implementation of the formats:
// whatever srec_cat writes as HEX or S-records must load to the binary srec_cat makes of it.
#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "image/hex_image.h"
#include "image/s19_image.h"
#include "support/capture_sink.h"
#include "support/run_process.h"
#include "support/temp_dir.h"

namespace velkor {
namespace {

struct FormatCase {
    const char* name;
    std::vector<std::string> srec_cat_format;  // output format options of srec_cat
    std::uint32_t limit;                       // addresses the record type can reach
    bool s_records;
};

const FormatCase kFormats[] = {
    {"hex-segmented-02", {"-intel", "-address-length=3"}, 0x40000, false},
    {"hex-linear-04", {"-intel", "-address-length=4"}, 0x40000, false},
    {"s1", {"-motorola", "-address-length=2"}, 0x10000, true},
    {"s2", {"-motorola", "-address-length=3"}, 0x40000, true},
    {"s3", {"-motorola", "-address-length=4"}, 0x40000, true},
};

// Random data in [0, limit), either everywhere or in a few random pieces.
std::vector<std::string> CropArguments(std::mt19937& random, std::uint32_t limit, bool sparse) {
    if (!sparse) {
        return {"-crop", "0", std::to_string(limit)};
    }
    std::vector<std::string> args{"-crop"};
    std::uint32_t address = 0;
    while (true) {
        address += std::uniform_int_distribution<std::uint32_t>(1, limit / 8)(random);
        const std::uint32_t length = std::uniform_int_distribution<std::uint32_t>(1, 3000)(random);
        if (address + length > limit) {
            break;
        }
        args.push_back(std::to_string(address));
        args.push_back(std::to_string(address + length));
        address += length;
    }
    return args;
}

class SrecCatCrossCheck : public ::testing::TestWithParam<FormatCase> {
  protected:
    void SetUp() override {
        if (!testing::HaveProgram("srec_cat")) {
            GTEST_SKIP() << "srec_cat (Debian package srecord) is not installed";
        }
    }
};

TEST_P(SrecCatCrossCheck, LoadsExactlyTheBytesSrecCatWrites) {
    const FormatCase& format = GetParam();
    testing::TempDir dir;
    testing::CaptureSink capture;
    std::mt19937 random(20261207);
    std::vector<char> data(kImageSize);
    for (auto& byte : data) {
        byte = static_cast<char>(random());
    }
    const std::string source = dir.Write("source.bin", std::string(data.begin(), data.end()));
    const std::string records = (dir.path() / "records").string();
    const std::string reference = (dir.path() / "reference.bin").string();

    for (int round = 0; round < 4; ++round) {
        SCOPED_TRACE(round);
        const bool sparse = round != 0;
        std::vector<std::string> make{"srec_cat", source, "-binary"};
        const auto crop = CropArguments(random, format.limit, sparse);
        make.insert(make.end(), crop.begin(), crop.end());
        make.insert(make.end(), {"-o", records});
        make.insert(make.end(), format.srec_cat_format.begin(), format.srec_cat_format.end());
        make.push_back(round % 2 ? "-obs=16" : "-obs=32");
        ASSERT_EQ(testing::RunProcess(make), 0);

        ASSERT_EQ(testing::RunProcess(
                      {"srec_cat", records, format.s_records ? "-motorola" : "-intel", "-fill",
                       "0x00", "0", std::to_string(kImageSize), "-o", reference, "-binary"}),
                  0);
        const std::string want = testing::TempDir::Read(reference);
        ASSERT_EQ(want.size(), kImageSize);

        std::unique_ptr<CFirmwareImage> image;
        if (format.s_records) {
            image = std::make_unique<CS19Image>(capture.report);
        } else {
            image = std::make_unique<CHexImage>(capture.report);
        }
        ASSERT_EQ(image->Load(records), kLoadOk) << capture.log();
        EXPECT_EQ(std::string(reinterpret_cast<const char*>(image->Buffer()), kImageSize), want);
        // Without a start address srec_cat ends S-records with their count (S5/S6), no S9.
        EXPECT_TRUE(image->record_facts().ends_with_end_record);
    }
}

INSTANTIATE_TEST_SUITE_P(Formats, SrecCatCrossCheck, ::testing::ValuesIn(kFormats),
                         [](const auto& param_info) {
                             std::string name = param_info.param.name;
                             for (auto& c : name) {
                                 if (c == '-')
                                     c = '_';
                             }
                             return name;
                         });

}  // namespace
}  // namespace velkor
