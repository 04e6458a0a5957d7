// Settings files that are not settings files, through the window's Load From File command and the
// command-line tool: a folder, a file the operator may not read, a file of 10 MB. Each gives a clear
// outcome without a crash or a hang; the image stays as it was where nothing could be read, and a
// long file gives its first 169 bytes. No file is changed by being loaded.
#include <sys/fsuid.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QAction>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <ostream>
#include <string>
#include <vector>

#include "app/Main.h"
#include "app/Startup.h"
#include "settings/SettingsImage.h"
#include "tests/app/AppTestSupport.h"
#include "tests/cli/CliRunner.h"

namespace fs = std::filesystem;

namespace {

constexpr uid_t kNobody = 65534;
constexpr size_t kTenMegabytes = 10u * 1024u * 1024u;

std::vector<uint8_t> FileBytes(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void WriteFile(const fs::path& path, const std::vector<uint8_t>& bytes) {
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

// A byte pattern that differs at every position of the image, so that a shifted copy shows.
std::vector<uint8_t> Pattern(size_t size, uint8_t seed) {
    std::vector<uint8_t> bytes(size);
    for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<uint8_t>(seed + 7 * i + i / 251);
    return bytes;
}

// While it lives, the calling thread reaches files as an unprivileged user: a file of mode 000 is
// unreadable to it even when the tests run as root.
class UnprivilegedFileAccess {
  public:
    UnprivilegedFileAccess() : previous_(static_cast<uid_t>(::setfsuid(kNobody))) {}
    ~UnprivilegedFileAccess() { ::setfsuid(previous_); }
    UnprivilegedFileAccess(const UnprivilegedFileAccess&) = delete;
    UnprivilegedFileAccess& operator=(const UnprivilegedFileAccess&) = delete;

  private:
    uid_t previous_;
};

using WindowLoad = ConfiguratorFixture;

void Load(const fs::path& path, bool unprivileged = false) {
    FileDialogScript script(path.string());
    if (unprivileged) {
        UnprivilegedFileAccess access;
        Form_Main->findChild<QAction*>("Control_LoadFromFile")->trigger();
    } else {
        Form_Main->findChild<QAction*>("Control_LoadFromFile")->trigger();
    }
    EXPECT_EQ(script.dialogs.size(), 1u);
}

std::vector<uint8_t> Image() {
    return {SettingsImage.begin(), SettingsImage.end()};
}

TEST_F(WindowLoad, AFolderLeavesTheImageAsItWas) {
    ScratchFolder folder;
    fs::create_directory(folder / "settings.dat");
    SettingsImage.fill(0x42);
    MessageBoxRecorder boxes;
    Load(folder / "settings.dat");
    EXPECT_EQ(Image(), std::vector<uint8_t>(kSettingsImageSize, 0x42));
    EXPECT_TRUE(boxes.boxes.empty());
    EXPECT_TRUE(fs::is_directory(folder / "settings.dat"));
}

TEST_F(WindowLoad, AnUnreadableFileLeavesTheImageAsItWas) {
    ScratchFolder folder;
    const fs::path path = folder / "locked.dat";
    const std::vector<uint8_t> bytes = Pattern(kSettingsImageSize, 3);
    WriteFile(path, bytes);
    ASSERT_EQ(::chmod(path.c_str(), 0), 0);
    {
        UnprivilegedFileAccess access;
        std::FILE* probe = std::fopen(path.c_str(), "rb");
        ASSERT_EQ(probe, nullptr) << "the file is readable after all";
    }
    SettingsImage.fill(0x42);
    MessageBoxRecorder boxes;
    Load(path, true);
    EXPECT_EQ(Image(), std::vector<uint8_t>(kSettingsImageSize, 0x42));
    EXPECT_TRUE(boxes.boxes.empty());
    ::chmod(path.c_str(), 0644);
    EXPECT_EQ(FileBytes(path), bytes);
}

TEST_F(WindowLoad, ATenMegabyteFileGivesItsFirst169BytesAndStaysUnchanged) {
    ScratchFolder folder;
    const fs::path path = folder / "huge.dat";
    const std::vector<uint8_t> bytes = Pattern(kTenMegabytes, 11);
    WriteFile(path, bytes);
    SettingsImage.fill(0x42);
    MessageBoxRecorder boxes;
    Load(path);
    EXPECT_EQ(Image(), std::vector<uint8_t>(bytes.begin(), bytes.begin() + kSettingsImageSize));
    EXPECT_TRUE(boxes.boxes.empty());
    EXPECT_EQ(fs::file_size(path), kTenMegabytes);
    EXPECT_EQ(FileBytes(path), bytes);
}

// The command-line tool refuses each with a message naming the file and the usage exit status, and
// touches no device for a configure.
struct CliCase {
    const char* name;
    std::function<std::string(const TempFolder&)> make;  // returns the path
    int runAsUid;
};

void PrintTo(const CliCase& c, std::ostream* out) {
    *out << c.name;
}

class CliFiles : public ::testing::TestWithParam<CliCase> {};

TEST_P(CliFiles, ShowAndConfigureRefuseTheFileWithAReason) {
    TempFolder folder;
    ASSERT_FALSE(folder.Path().empty());
    // The unprivileged run must be able to reach the folder.
    ::chmod(folder.Path().c_str(), 0755);
    const std::string path = GetParam().make(folder);
    const std::vector<uint8_t> before = fs::is_regular_file(path) ? FileBytes(path) : std::vector<uint8_t>{};
    CliRunOptions options;
    options.runAsUid = GetParam().runAsUid;
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"show", path},
          std::vector<std::string>{"configure", path, "/nonexistent/tty", "--yes"}}) {
        const CliResult result = RunCli(args, options);
        EXPECT_FALSE(result.timedOut) << args[0];
        EXPECT_EQ(result.exitStatus, 2) << args[0] << ": " << result.err;
        EXPECT_NE(result.err.find(path), std::string::npos) << args[0] << ": " << result.err;
        if (args[0] == "configure") {  // every problem is told at once, and nothing is opened
            EXPECT_NE(result.err.find("no receiver was touched"), std::string::npos) << result.err;
        }
        EXPECT_TRUE(result.out.empty()) << result.out;
    }
    if (fs::is_regular_file(path)) {
        ::chmod(path.c_str(), 0644);
        EXPECT_EQ(FileBytes(path), before);
    }
}

const CliCase kCliCases[] = {
    {"Folder",
     [](const TempFolder& folder) {
         fs::create_directory(folder.File("settings.dat"));
         return folder.File("settings.dat");
     },
     -1},
    {"Unreadable",
     [](const TempFolder& folder) {
         const std::string path = folder.File("locked.dat");
         WriteFile(path, Pattern(kSettingsImageSize, 5));
         ::chmod(path.c_str(), 0);
         return path;
     },
     static_cast<int>(kNobody)},
    {"TenMegabytes",
     [](const TempFolder& folder) {
         const std::string path = folder.File("huge.dat");
         WriteFile(path, Pattern(kTenMegabytes, 13));
         return path;
     },
     -1},
};

std::string CaseName(const ::testing::TestParamInfo<CliCase>& param) {
    return param.param.name;
}

INSTANTIATE_TEST_SUITE_P(Files, CliFiles, ::testing::ValuesIn(kCliCases), CaseName);

}  // namespace
