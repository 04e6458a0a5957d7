// The file commands of the main menu: Load From File and Save Settings to File, including a save
// that fails (it must never cost the operator an existing file, and must say so).
#include <signal.h>
#include <sys/resource.h>
#include <unistd.h>

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QDialogButtonBox>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QMessageBox>
#include <QTest>
#include <QTimer>
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "AppTestSupport.h"
#include "app/Main.h"
#include "app/Startup.h"
#include "settings/SettingsImage.h"

namespace fs = std::filesystem;

namespace {

using FileCommands = ConfiguratorFixture;

void TriggerLoad() {
    Form_Main->findChild<QAction*>("Control_LoadFromFile")->trigger();
}
void TriggerSave() {
    Form_Main->findChild<QAction*>("Control_Save")->trigger();
}

std::vector<uint8_t> Image() {
    return {SettingsImage.begin(), SettingsImage.end()};
}

// A byte pattern that differs at every position, so that a shifted or partial copy shows.
std::vector<uint8_t> Pattern(size_t size, uint8_t seed) {
    std::vector<uint8_t> bytes(size);
    for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<uint8_t>(seed + 7 * i);
    return bytes;
}

const std::vector<uint8_t> kOldFile = {'o', 'l', 'd', ' ', 's', 'e', 't', 't', 'i', 'n', 'g', 's'};

// Saving needs a capture that succeeds: load a complete, well-formed settings file first. Every
// field of an all-zero file converts (empty edits are what fail), so it serves.
void LoadConvertibleSettings(const ScratchFolder& folder) {
    const fs::path source = folder / "source.dat";
    WriteBytes(source, std::vector<uint8_t>(kSettingsImageSize, 0));
    FileDialogScript script(source.string());
    TriggerLoad();
}

}  // namespace

// Loading.

TEST_F(FileCommands, LoadingAnEmptyFileGives169BytesOfFF) {
    ScratchFolder folder;
    WriteBytes(folder / "empty.dat", {});
    FileDialogScript script((folder / "empty.dat").string());
    TriggerLoad();
    EXPECT_EQ(Image(), std::vector<uint8_t>(kSettingsImageSize, 0xFF));
}

TEST_F(FileCommands, LoadingAShortFileFillsTheRestWithFF) {
    ScratchFolder folder;
    const std::vector<uint8_t> bytes = Pattern(100, 0x01);
    WriteBytes(folder / "short.dat", bytes);
    FileDialogScript script((folder / "short.dat").string());
    TriggerLoad();
    std::vector<uint8_t> expected = bytes;
    expected.resize(kSettingsImageSize, 0xFF);
    EXPECT_EQ(Image(), expected);
}

TEST_F(FileCommands, LoadingExactly169Bytes) {
    ScratchFolder folder;
    const std::vector<uint8_t> bytes = Pattern(kSettingsImageSize, 0x30);
    WriteBytes(folder / "full.dat", bytes);
    FileDialogScript script((folder / "full.dat").string());
    TriggerLoad();
    EXPECT_EQ(Image(), bytes);
}

TEST_F(FileCommands, LoadingALongFileUsesOnlyTheFirst169Bytes) {
    ScratchFolder folder;
    const std::vector<uint8_t> bytes = Pattern(600, 0x55);
    WriteBytes(folder / "long.dat", bytes);
    FileDialogScript script((folder / "long.dat").string());
    TriggerLoad();
    EXPECT_EQ(Image(), std::vector<uint8_t>(bytes.begin(), bytes.begin() + kSettingsImageSize));
}

TEST_F(FileCommands, LoadingMovesTheFocusToTheSink) {
    ScratchFolder folder;
    WriteBytes(folder / "a.dat", Pattern(kSettingsImageSize, 3));
    Form_Main->show();
    Form_Main->PageControl1()->setFocus();
    FileDialogScript script((folder / "a.dat").string());
    TriggerLoad();
    EXPECT_EQ(Form_Main->focusWidget(), Form_Main->CheckBox_Dummy());
}

TEST_F(FileCommands, CancellingTheOpenDialogChangesNothing) {
    ScratchFolder folder;
    const std::vector<uint8_t> bytes = Pattern(kSettingsImageSize, 9);
    WriteBytes(folder / "a.dat", bytes);
    {
        FileDialogScript script((folder / "a.dat").string());
        TriggerLoad();
    }
    MessageBoxRecorder boxes;
    FileDialogScript cancel("");
    TriggerLoad();
    EXPECT_EQ(cancel.dialogs.size(), 1u);
    EXPECT_EQ(Image(), bytes);
    EXPECT_TRUE(boxes.boxes.empty());
}

TEST_F(FileCommands, AFileThatCannotBeOpenedChangesNothingAndSaysNothing) {
    ScratchFolder folder;
    SettingsImage.fill(0x42);
    MessageBoxRecorder boxes;
    for (const fs::path& path : {folder / "missing.dat", folder.path()}) {
        FileDialogScript script(path.string());
        TriggerLoad();
        EXPECT_EQ(Image(), std::vector<uint8_t>(kSettingsImageSize, 0x42)) << path;
    }
    EXPECT_TRUE(boxes.boxes.empty());
}

// The name box, as the operator uses it: the dialog comes up for real, the focus is in its name
// box, the name is typed and Return pressed.

namespace {

struct TypedName {
    bool focusInNameBox = false;
    bool acceptEnabled = false;  // the Open or Save button once the name is typed
    QString box;                 // a box the dialog raised
    bool dialogStayed = false;   // the dialog was still up after Return (then cancelled)
};

TypedName TypeIntoFileDialog(QFileDialog* dialog, const fs::path& folder, const QString& name,
                             void (*command)()) {
    TypedName seen;
    dialog->setDirectory(QString::fromStdString(folder.string()));
    QElapsedTimer clock;
    clock.start();
    QTimer typing;
    QObject::connect(&typing, &QTimer::timeout, [&] {
        QWidget* focus = QApplication::focusWidget();
        const bool ready = dialog->isVisible() && focus != nullptr && focus->objectName() == "fileNameEdit";
        if (!ready && clock.elapsed() < 5000) return;
        typing.stop();
        if (!dialog->isVisible()) return;
        seen.focusInNameBox = ready;
        QTest::keyClick(focus, Qt::Key_A, Qt::ControlModifier);  // what the box held before goes
        QTest::keyClicks(focus, name);
        for (QAbstractButton* button : dialog->findChild<QDialogButtonBox*>("buttonBox")->buttons())
            if (dialog->findChild<QDialogButtonBox*>("buttonBox")->buttonRole(button) ==
                QDialogButtonBox::AcceptRole)
                seen.acceptEnabled = button->isEnabled();
        QTimer boxes;  // a box the dialog raises is read and answered
        QObject::connect(&boxes, &QTimer::timeout, [&] {
            if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
                seen.box = box->text();
                box->accept();
            }
        });
        boxes.start(10);
        QTest::keyClick(focus, Qt::Key_Return);
        boxes.stop();
        seen.dialogStayed = dialog->isVisible();
        if (seen.dialogStayed) dialog->reject();
    });
    typing.start(10);
    command();
    return seen;
}

}  // namespace

// Opening: a name typed without ".dat" opens the .dat file; a name that exists as typed opens as
// typed, also beside the .dat file of that name. Saving adds ".dat" to a name without extension.
TEST_F(FileCommands, TypedNamesOpenAndSaveAsTheOperatorMeansThem) {
    const struct {
        bool save;
        std::vector<std::string> present;
        const char* typed;
        const char* file;  // the file loaded or written; nullptr: none, the dialog says it is missing
    } rows[] = {
        {false, {"factory.dat"}, "factory", "factory.dat"}, {false, {"site7"}, "site7", "site7"},
        {false, {"both", "both.dat"}, "both", "both"},      {false, {"rack.dat"}, "rack.dat", "rack.dat"},
        {false, {"other.dat"}, "missing", nullptr},         {true, {}, "new", "new.dat"},
        {true, {"old.dat"}, "new.bin", "new.bin"},
    };
    uint8_t seed = 1;
    for (const auto& row : rows) {
        ScratchFolder folder;
        if (row.save) {
            LoadConvertibleSettings(folder);
            fs::remove(folder / "source.dat");
        }
        for (const std::string& name : row.present)
            WriteBytes(folder / name, Pattern(kSettingsImageSize, seed++));
        const std::vector<uint8_t> before = Image();
        MessageBoxRecorder boxes;  // the program's own boxes; the dialog's come up for real
        const TypedName seen =
            TypeIntoFileDialog(row.save ? Form_Main->SaveDialog() : Form_Main->OpenDialog(), folder.path(),
                               row.typed, row.save ? TriggerSave : TriggerLoad);
        EXPECT_TRUE(seen.focusInNameBox) << row.typed;
        EXPECT_EQ(seen.acceptEnabled, row.file != nullptr) << row.typed;
        EXPECT_TRUE(boxes.boxes.empty()) << row.typed;
        std::vector<std::string> listing = row.present;
        if (row.file == nullptr) {
            EXPECT_TRUE(seen.dialogStayed) << row.typed;
            EXPECT_TRUE(seen.box.contains("File not found")) << seen.box.toStdString();
            EXPECT_EQ(Image(), before) << row.typed;
        } else if (row.save) {
            EXPECT_FALSE(seen.dialogStayed) << row.typed;
            EXPECT_EQ(ReadBytes(folder / row.file), Image()) << row.typed;
            listing.push_back(row.file);
        } else {
            EXPECT_FALSE(seen.dialogStayed) << row.typed;
            EXPECT_EQ(Image(), ReadBytes(folder / row.file)) << row.typed;
        }
        std::sort(listing.begin(), listing.end());
        EXPECT_EQ(FolderListing(folder.path()), listing) << row.typed;
    }
}

// Saving.

TEST_F(FileCommands, SaveWritesExactlyTheImage) {
    ScratchFolder folder;
    LoadConvertibleSettings(folder);
    MessageBoxRecorder boxes;
    FileDialogScript script((folder / "saved.dat").string());
    TriggerSave();
    ASSERT_EQ(script.dialogs.size(), 1u);
    EXPECT_EQ(script.dialogs[0].objectName.toStdString(), "SaveDialog");
    EXPECT_EQ(script.dialogs[0].title.toStdString(), "File to save settings to");
    EXPECT_TRUE(boxes.boxes.empty());
    const std::vector<uint8_t> saved = ReadBytes(folder / "saved.dat");
    EXPECT_EQ(saved.size(), 169u);
    EXPECT_EQ(saved, Image());
    // Nothing else is left in the folder.
    EXPECT_EQ(FolderListing(folder.path()), (std::vector<std::string>{"saved.dat", "source.dat"}));
}

TEST_F(FileCommands, SaveReplacesAnExistingFileWhole) {
    ScratchFolder folder;
    LoadConvertibleSettings(folder);
    WriteBytes(folder / "saved.dat", Pattern(400, 1));  // longer than the image
    FileDialogScript script((folder / "saved.dat").string());
    TriggerSave();
    EXPECT_EQ(ReadBytes(folder / "saved.dat"), Image());
}

TEST_F(FileCommands, CancellingTheSaveDialogWritesNothing) {
    ScratchFolder folder;
    LoadConvertibleSettings(folder);
    MessageBoxRecorder boxes;
    FileDialogScript script("");
    TriggerSave();
    EXPECT_EQ(script.dialogs.size(), 1u);
    EXPECT_EQ(FolderListing(folder.path()), (std::vector<std::string>{"source.dat"}));
    EXPECT_TRUE(boxes.boxes.empty());
}

TEST_F(FileCommands, SaveRightAfterStartStopsAtTheEmptyNmeaInterval) {
    ScratchFolder folder;
    MessageBoxRecorder boxes;
    FileDialogScript script((folder / "never.dat").string());
    TriggerSave();
    EXPECT_TRUE(script.dialogs.empty()) << "no save dialog may appear";
    ASSERT_EQ(boxes.boxes.size(), 1u);
    EXPECT_EQ(boxes.boxes[0].icon, QMessageBox::Critical);
    EXPECT_EQ(boxes.boxes[0].title.toStdString(), "Configurator");
    EXPECT_EQ(boxes.boxes[0].text.toStdString(), "'' is not a valid integer value.");
    EXPECT_TRUE(FolderListing(folder.path()).empty());
}

namespace {

// Expects one "Save Failed" warning naming the file and the system's reason.
void ExpectSaveFailed(const MessageBoxRecorder& boxes, const fs::path& path, const char* reason) {
    ASSERT_EQ(boxes.boxes.size(), 1u);
    EXPECT_EQ(boxes.boxes[0].icon, QMessageBox::Warning);
    EXPECT_EQ(boxes.boxes[0].title.toStdString(), "Save Failed");
    const std::string text = boxes.boxes[0].text.toStdString();
    EXPECT_NE(text.find(path.string()), std::string::npos) << text;
    EXPECT_NE(text.find(reason), std::string::npos) << text;
}

}  // namespace

TEST_F(FileCommands, SaveIntoAReadOnlyFolderWarnsAndKeepsTheOldFile) {
    ScratchFolder folder;
    LoadConvertibleSettings(folder);
    const fs::path locked = folder / "locked";
    fs::create_directory(locked);
    WriteBytes(locked / "settings.dat", kOldFile);
    fs::permissions(locked, fs::perms::owner_read | fs::perms::owner_exec);
    if (::access(locked.c_str(), W_OK) == 0) {
        GTEST_SKIP()
            << "running with rights that ignore folder permissions (root): "
               "the read-only case is covered by SaveWhereNoFileCanBeCreated and SaveThatFailsWhileWriting";
    }
    MessageBoxRecorder boxes;
    FileDialogScript script((locked / "settings.dat").string());
    TriggerSave();
    ExpectSaveFailed(boxes, locked / "settings.dat", std::strerror(EACCES));
    EXPECT_EQ(ReadBytes(locked / "settings.dat"), kOldFile);
    EXPECT_EQ(FolderListing(locked), (std::vector<std::string>{"settings.dat"}));
}

// A folder nobody can create files in, root included: the "folder" is a plain file.
TEST_F(FileCommands, SaveWhereNoFileCanBeCreated) {
    ScratchFolder folder;
    LoadConvertibleSettings(folder);
    WriteBytes(folder / "plain", kOldFile);
    const fs::path target = folder / "plain" / "settings.dat";
    MessageBoxRecorder boxes;
    FileDialogScript script(target.string());
    TriggerSave();
    ExpectSaveFailed(boxes, target, std::strerror(ENOTDIR));
    EXPECT_EQ(ReadBytes(folder / "plain"), kOldFile);
    EXPECT_EQ(FolderListing(folder.path()), (std::vector<std::string>{"plain", "source.dat"}));
}

TEST_F(FileCommands, SaveOntoADirectoryWarnsAndLeavesItAlone) {
    ScratchFolder folder;
    LoadConvertibleSettings(folder);
    const fs::path target = folder / "settings.dat";
    fs::create_directory(target);
    WriteBytes(target / "inside.dat", kOldFile);
    MessageBoxRecorder boxes;
    FileDialogScript script(target.string());
    TriggerSave();
    ExpectSaveFailed(boxes, target, std::strerror(EISDIR));
    EXPECT_TRUE(fs::is_directory(target));
    EXPECT_EQ(ReadBytes(target / "inside.dat"), kOldFile);
    EXPECT_EQ(FolderListing(folder.path()), (std::vector<std::string>{"settings.dat", "source.dat"}));
}

// The write itself fails half-way (a file size limit stops it after 100 bytes): the old file
// must survive whole, and no partial file may be left behind.
TEST_F(FileCommands, SaveThatFailsWhileWritingKeepsTheOldFile) {
    ScratchFolder folder;
    LoadConvertibleSettings(folder);
    const fs::path target = folder / "settings.dat";
    WriteBytes(target, kOldFile);

    rlimit saved{};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &saved), 0);
    rlimit limited = saved;
    limited.rlim_cur = 100;
    const sighandler_t previous = ::signal(SIGXFSZ, SIG_IGN);
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &limited), 0);

    MessageBoxRecorder boxes;
    {
        FileDialogScript script(target.string());
        TriggerSave();
    }
    ::setrlimit(RLIMIT_FSIZE, &saved);
    ::signal(SIGXFSZ, previous);

    ExpectSaveFailed(boxes, target, std::strerror(EFBIG));
    EXPECT_EQ(ReadBytes(target), kOldFile);
    EXPECT_EQ(FolderListing(folder.path()), (std::vector<std::string>{"settings.dat", "source.dat"}));
}
