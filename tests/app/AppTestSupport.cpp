#include "AppTestSupport.h"

#include <unistd.h>

#include <QComboBox>
#include <QFileDialog>
#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <iterator>

#include "app/ErrorHandler.h"
#include "app/Main.h"
#include "app/MessageBoxes.h"
#include "app/Startup.h"
#include "settings/SettingsImage.h"

void EnsureTestApplication() {
    static int argc = 1;
    static char name[] = "app_window_test";
    static char* argv[] = {name, nullptr};
    static ConfiguratorApplication* application = [] {
        ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
        return new ConfiguratorApplication(argc, argv);
    }();
    (void)application;
}

MessageBoxRecorder::MessageBoxRecorder() {
    SetMessageBoxHook([this](QMessageBox::Icon icon, const QString& title, const QString& text) {
        boxes.push_back({icon, title, text});
    });
}

MessageBoxRecorder::~MessageBoxRecorder() {
    SetMessageBoxHook({});
}

FileDialogScript::FileDialogScript(std::string answerPath) : answer(std::move(answerPath)) {
    SetFileDialogRunner([this](QFileDialog& dialog) {
        dialogs.push_back({dialog.objectName(), dialog.windowTitle(), ShownFilters(dialog),
                           ShownFilter(dialog), dialog.property("defaultExtension").toString(),
                           static_cast<int>(dialog.fileMode()), static_cast<int>(dialog.acceptMode()),
                           !dialog.testOption(QFileDialog::DontConfirmOverwrite),
                           dialog.directory().absolutePath()});
        return QString::fromStdString(answer);
    });
}

FileDialogScript::~FileDialogScript() {
    SetFileDialogRunner({});
}

QStringList ShownFilters(QFileDialog& dialog) {
    QStringList shown;
    if (auto* box = dialog.findChild<QComboBox*>(QStringLiteral("fileTypeCombo")))
        for (int i = 0; i < box->count(); ++i) shown << box->itemText(i);
    return shown;
}

QString ShownFilter(QFileDialog& dialog) {
    auto* box = dialog.findChild<QComboBox*>(QStringLiteral("fileTypeCombo"));
    return box != nullptr ? box->currentText() : QString();
}

ScratchFolder::ScratchFolder() {
    std::string pattern = (std::filesystem::temp_directory_path() / "vc-app-test-XXXXXX").string();
    if (!::mkdtemp(pattern.data())) throw std::runtime_error("cannot create a scratch folder");
    root = pattern;
}

ScratchFolder::~ScratchFolder() {
    std::error_code error;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(root, error)) {
        std::filesystem::permissions(entry.path(), std::filesystem::perms::owner_all,
                                     std::filesystem::perm_options::add, error);
    }
    std::filesystem::permissions(root, std::filesystem::perms::owner_all, std::filesystem::perm_options::add,
                                 error);
    std::filesystem::remove_all(root, error);
}

std::vector<uint8_t> ReadBytes(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void WriteBytes(const std::filesystem::path& path, const std::vector<uint8_t>& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

std::vector<std::string> FolderListing(const std::filesystem::path& folder) {
    std::vector<std::string> names;
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(folder, error)) {
        names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

void ConfiguratorFixture::SetUp() {
    EnsureTestApplication();
    SettingsImage.fill(0);
    StartConfigurator();
}

void ConfiguratorFixture::TearDown() {
    DestroyForms();
    SetMessageBoxHook({});
    SetFileDialogRunner({});
}
