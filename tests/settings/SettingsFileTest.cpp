#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "settings/SettingsFile.h"
#include "settings/SettingsImage.h"

namespace {

namespace fs = std::filesystem;

std::vector<uint8_t> ReadAll(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

class SettingsFileTest : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/settings-file-XXXXXX";
        ASSERT_NE(::mkdtemp(pattern), nullptr);
        folder_ = pattern;
        for (int i = 0; i < kSettingsImageSize; ++i) SettingsImage[static_cast<size_t>(i)] = static_cast<uint8_t>(i * 7);
    }
    void TearDown() override {
        fs::remove_all(folder_);
        SettingsImage.fill(0);
    }
    std::vector<uint8_t> Image() const { return {SettingsImage.begin(), SettingsImage.end()}; }
    // Nothing but the named entries: no temporary file left behind.
    std::vector<std::string> Entries() const {
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(folder_)) names.push_back(entry.path().filename());
        std::sort(names.begin(), names.end());
        return names;
    }
    fs::path folder_;
};

TEST_F(SettingsFileTest, SavingOntoALinkWritesTheFileItPointsTo) {
    const fs::path target = folder_ / "rack.dat";
    std::ofstream(target, std::ios::binary) << "old";
    ::chmod(target.c_str(), 0640);
    const fs::path link = folder_ / "current.dat";
    fs::create_symlink("rack.dat", link);

    std::string error;
    ASSERT_TRUE(SaveSettingsImage(link.string(), error)) << error;
    EXPECT_TRUE(fs::is_symlink(link));
    EXPECT_EQ(ReadAll(target), Image());
    struct stat info {};
    ASSERT_EQ(::stat(target.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0640u);  // the file keeps its permissions
    EXPECT_EQ(Entries(), (std::vector<std::string>{"current.dat", "rack.dat"}));
}

TEST_F(SettingsFileTest, DanglingLinkCreatesItsTarget) {
    const fs::path link = folder_ / "next.dat";
    fs::create_symlink("new.dat", link);
    std::string error;
    ASSERT_TRUE(SaveSettingsImage(link.string(), error)) << error;
    EXPECT_TRUE(fs::is_symlink(link));
    EXPECT_EQ(ReadAll(folder_ / "new.dat"), Image());
}

TEST_F(SettingsFileTest, ADirectoryIsRefusedAndLeftAlone) {
    fs::create_directory(folder_ / "sub.dat");
    std::string error;
    EXPECT_FALSE(SaveSettingsImage((folder_ / "sub.dat").string(), error));
    EXPECT_FALSE(error.empty());
    EXPECT_TRUE(fs::is_directory(folder_ / "sub.dat"));
    EXPECT_EQ(Entries(), (std::vector<std::string>{"sub.dat"}));
}

TEST_F(SettingsFileTest, AMissingFolderIsReportedWithTheSystemsReason) {
    std::string error;
    EXPECT_FALSE(SaveSettingsImage((folder_ / "absent" / "x.dat").string(), error));
    EXPECT_EQ(error, "No such file or directory");
}

// A file that cannot be read (here: open for writing only) is not an empty file: the image keeps
// its settings instead of turning into 0xFF.
TEST_F(SettingsFileTest, LoadingAFileThatFailsToReadChangesNothing) {
    const fs::path path = folder_ / "rack.dat";
    std::ofstream(path, std::ios::binary) << std::string(169, '\x11');
    const std::vector<uint8_t> before = Image();
    std::FILE* writeOnly = std::fopen(path.c_str(), "ab");
    ASSERT_NE(writeOnly, nullptr);
    EXPECT_FALSE(LoadSettingsFromFile(writeOnly));
    std::fclose(writeOnly);
    EXPECT_EQ(Image(), before);

    std::FILE* readable = std::fopen(path.c_str(), "rb");
    ASSERT_NE(readable, nullptr);
    EXPECT_TRUE(LoadSettingsFromFile(readable));
    std::fclose(readable);
    EXPECT_EQ(Image(), std::vector<uint8_t>(kSettingsImageSize, 0x11));
}

}  // namespace
