// Every committed fuzz corpus file through its target's entry, built with the normal compiler: the
// checks of the target (the packets do not depend on how reads are cut, the image is the file, a
// parsed break reply holds valid codes, ...) must hold for each, and nothing may crash or overrun
// (the sanitizer builds run this test too).
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "fuzz/FuzzTargets.h"

namespace fs = std::filesystem;

// Test names and failure messages show the target by its name.
void PrintTo(const FuzzTarget& target, std::ostream* out) {
    *out << target.name;
}

namespace {

std::string currentFile;

void FailTest(const char* target, const char* rule) {
    ADD_FAILURE() << "fuzz target " << target << " on " << currentFile << ": rule broken: " << rule;
}

// VC_SOURCE_DIR when given, else the source tree this test was built from.
fs::path CorpusFolder(const char* target) {
    const char* source = std::getenv("VC_SOURCE_DIR");
    return fs::path(source != nullptr ? source : VC_BUILT_SOURCE_DIR) / "fuzz" / "corpus" / target;
}

std::vector<fs::path> CorpusFiles(const char* target) {
    std::vector<fs::path> files;
    std::error_code error;
    for (const auto& entry : fs::directory_iterator(CorpusFolder(target), error)) {
        if (entry.is_regular_file()) files.push_back(entry.path());
    }
    std::sort(files.begin(), files.end());
    return files;
}

std::vector<uint8_t> Bytes(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

class FuzzCorpusReplay : public ::testing::TestWithParam<FuzzTarget> {
  protected:
    void SetUp() override { SetFuzzFailureHandler(FailTest); }
    void TearDown() override { SetFuzzFailureHandler(nullptr); }
};

TEST_P(FuzzCorpusReplay, EveryCorpusFileKeepsTheTargetsRules) {
    const FuzzTarget target = GetParam();
    const std::vector<fs::path> files = CorpusFiles(target.name);
    ASSERT_GE(files.size(), 5u) << "the seed corpus of " << target.name
                                << " is missing: " << CorpusFolder(target.name);
    for (const fs::path& file : files) {
        currentFile = file.filename().string();
        const std::vector<uint8_t> bytes = Bytes(file);
        // A copy of exactly the file's size, so that a read past the input is an overrun.
        auto exact = std::make_unique<uint8_t[]>(bytes.size() + (bytes.empty() ? 1 : 0));
        std::copy(bytes.begin(), bytes.end(), exact.get());
        EXPECT_EQ(target.entry(exact.get(), bytes.size()), 0) << currentFile;
    }
}

// Inputs shorter than a target's header are taken and ignored, never read past.
TEST_P(FuzzCorpusReplay, InputsShorterThanTheHeaderAreHarmless) {
    const FuzzTarget target = GetParam();
    currentFile = "(short input)";
    for (size_t size = 0; size <= 4; ++size) {
        auto exact = std::make_unique<uint8_t[]>(size + 1);
        std::fill(exact.get(), exact.get() + size, static_cast<uint8_t>(0x10));
        EXPECT_EQ(target.entry(exact.get(), size), 0) << size;
    }
}

std::string TargetName(const ::testing::TestParamInfo<FuzzTarget>& info) {
    return info.param.name;
}

INSTANTIATE_TEST_SUITE_P(Targets, FuzzCorpusReplay, ::testing::ValuesIn(kFuzzTargets), TargetName);

// The rules are real checks: a broken one reaches the handler with the target and the rule.
TEST(FuzzCheck, ABrokenRuleReachesTheHandler) {
    static std::string seen;
    SetFuzzFailureHandler(
        [](const char* target, const char* rule) { seen = std::string(target) + ": " + rule; });
    FuzzCheck(true, "t", "kept");
    EXPECT_EQ(seen, "");
    FuzzCheck(false, "t", "broken");
    EXPECT_EQ(seen, "t: broken");
    SetFuzzFailureHandler(nullptr);
}

}  // namespace
