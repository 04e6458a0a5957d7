#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
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
        for (int i = 0; i < kSettingsImageSize; ++i)
            SettingsImage[static_cast<size_t>(i)] = static_cast<uint8_t>(i * 7);
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

// A save creates or replaces a regular file and nothing else: a device node, a FIFO or a socket in
// its place (or behind a link) is refused before anything is written, and stays what it was.
TEST_F(SettingsFileTest, TargetsThatAreNoFilesAreRefusedAndLeftAlone) {
    ASSERT_EQ(::mkfifo((folder_ / "fifo.dat").c_str(), 0644), 0);
    const int listener = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, (folder_ / "socket.dat").c_str(), sizeof address.sun_path - 1);
    ASSERT_EQ(::bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    const bool haveDevice = ::mknod((folder_ / "null.dat").c_str(), S_IFCHR | 0666, makedev(1, 3)) == 0;
    fs::create_symlink("fifo.dat", folder_ / "to-fifo.dat");
    fs::create_symlink("absent/x.dat", folder_ / "into-nowhere.dat");

    const struct {
        const char* name;
        fs::file_type kind;
        const char* reason;
    } rows[] = {
        {"fifo.dat", fs::file_type::fifo, "Is a FIFO, not a file"},
        {"socket.dat", fs::file_type::socket, "Is a socket, not a file"},
        {"null.dat", fs::file_type::character, "Is a character device, not a file"},
        {"to-fifo.dat", fs::file_type::fifo, "Is a FIFO, not a file"},
        {"into-nowhere.dat", fs::file_type::not_found, "No such file or directory"},
    };
    const std::vector<std::string> before = Entries();
    for (const auto& row : rows) {
        if (!haveDevice && row.kind == fs::file_type::character) continue;  // mknod needs root
        std::string error;
        std::string target;
        EXPECT_FALSE(CheckSaveTarget((folder_ / row.name).string(), target, error)) << row.name;
        EXPECT_FALSE(SaveSettingsImage((folder_ / row.name).string(), error)) << row.name;
        EXPECT_EQ(error, row.reason) << row.name;
        EXPECT_EQ(fs::status(folder_ / row.name).type(), row.kind) << row.name;
    }
    EXPECT_EQ(Entries(), before);  // no temporary file left, nothing replaced
    ::close(listener);
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
