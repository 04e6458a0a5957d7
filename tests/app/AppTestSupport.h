// Helpers for the window program's tests: one application per test process, recorded message
// boxes, scripted file dialogs, a scratch folder, and a fixture that starts the seven windows.
#pragma once

#include <gtest/gtest.h>

#include <QMessageBox>
#include <QString>
#include <QStringList>
#include <filesystem>
#include <string>
#include <vector>

class QFileDialog;

// The process's one ConfiguratorApplication (headless unless QT_QPA_PLATFORM says otherwise).
void EnsureTestApplication();

struct RecordedBox {
    QMessageBox::Icon icon;
    QString title;
    QString text;
};

// Records every message box instead of showing it, while it lives.
class MessageBoxRecorder {
  public:
    MessageBoxRecorder();
    ~MessageBoxRecorder();
    MessageBoxRecorder(const MessageBoxRecorder&) = delete;
    MessageBoxRecorder& operator=(const MessageBoxRecorder&) = delete;

    std::vector<RecordedBox> boxes;
};

struct RecordedDialog {
    QString objectName;
    QString title;
    QStringList nameFilters;     // as the dialog shows them
    QString selectedNameFilter;  // as shown
    QString defaultSuffix;       // the extension the dialog adds where it belongs
    int fileMode;
    int acceptMode;
    bool confirmOverwrite;
    QString directory;
};

// The filters of a file dialog as the operator sees them in its file-type box, and the one chosen.
QStringList ShownFilters(QFileDialog& dialog);
QString ShownFilter(QFileDialog& dialog);

// Answers file dialogs with the given path (an empty path cancels) and records what was asked.
class FileDialogScript {
  public:
    explicit FileDialogScript(std::string answer = {});
    ~FileDialogScript();
    FileDialogScript(const FileDialogScript&) = delete;
    FileDialogScript& operator=(const FileDialogScript&) = delete;

    std::string answer;
    std::vector<RecordedDialog> dialogs;
};

// A fresh folder removed again at the end (made writable first, in case a test locked it).
class ScratchFolder {
  public:
    ScratchFolder();
    ~ScratchFolder();
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;

    const std::filesystem::path& path() const { return root; }
    std::filesystem::path operator/(const std::string& name) const { return root / name; }

  private:
    std::filesystem::path root;
};

std::vector<uint8_t> ReadBytes(const std::filesystem::path& path);
void WriteBytes(const std::filesystem::path& path, const std::vector<uint8_t>& bytes);
// The names in a folder, sorted.
std::vector<std::string> FolderListing(const std::filesystem::path& folder);

// Starts the window program's seven windows on a zero Settings Image; destroys them afterwards.
class ConfiguratorFixture : public ::testing::Test {
  protected:
    void SetUp() override;
    void TearDown() override;
};
