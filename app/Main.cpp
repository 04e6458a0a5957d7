#include "app/Main.h"

// The generated form first: its setup code names the window Form_Main, like the singleton below.
// clang-format off
#include "ui_Main.h"
// clang-format on

#include <QCheckBox>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QMenu>
#include <QMenuBar>
#include <QShowEvent>
#include <QTabBar>
#include <QTabWidget>
#include <algorithm>
#include <array>
#include <cstdio>
#include <filesystem>
#include <span>
#include <string>
#include <utility>

#include "app/About.h"
#include "app/Comsettings.h"
#include "app/ErrorHandler.h"
#include "app/MessageBoxes.h"
#include "app/Startup.h"
#include "app/WindowLook.h"
#include "link/PcSerialSettings.h"
#include "operations/ConfigureComm.h"
#include "operations/Forms.h"
#include "operations/RequestComm.h"
#include "settings/Capture.h"
#include "settings/SettingsFile.h"
#include "settings/SettingsView.h"
#include "settings/view/SettingsPages.h"

namespace {

constexpr int kClientWidth = 717;
constexpr int kClientHeight = 453;

// The main menu, in order. A caption "-" is a separator.
struct MainMenuItem {
    const char* name;
    const char* caption;
    void (TForm_Main::*handler)();
};

struct MainMenuTop {
    const char* name;
    const char* caption;
    std::span<const MainMenuItem> items;
};

constexpr MainMenuItem kControlItems[] = {
    {"Control_LoadFromFile", "Load From &File...", &TForm_Main::Control_LoadFromFileClick},
    {"Control_LoadFromReceiver", "Load From &Receiver...", &TForm_Main::Control_LoadFromReceiverClick},
    {"ComSettings1", "&Com Settings...", &TForm_Main::ComSettings1Click},
    {"N1", "-", nullptr},
    {"Control_Save", "&Save Settings to File...", &TForm_Main::Control_SaveClick},
    {"N2", "-", nullptr},
    {"Control_Configure", "&Configure Receiver(s)...", &TForm_Main::Control_ConfigureClick},
    {"N3", "-", nullptr},
    {"Exit1", "E&xit", &TForm_Main::Exit1Click},
};

constexpr MainMenuItem kHelpItems[] = {
    {"Help_About", "&About...", &TForm_Main::Help_AboutClick},
};

constexpr MainMenuTop kMainMenu[] = {
    {"Menu_Control", "Control", kControlItems},
    {"Menu_Help", "Help", kHelpItems},
};

// The filters as the dialogs show them. On this platform "*.*" matches only names with a dot, so
// each entry carries the patterns it really uses in a last pair of brackets, which the dialog
// hides: "All Files (*.*)" lists every file, site7 included.
const QStringList kSettingsFileFilters = {QStringLiteral("Data Files (*.dat) (*.dat)"),
                                          QStringLiteral("All Files (*.*) (*)")};
constexpr char kDefaultExtension[] = "dat";

// The default extension as the operator knows it (the dialogs' "defaultExtension" property):
// saving adds ".dat" to a name with no extension (the toolkit's own rule); opening adds it only when
// the name typed does not exist as typed, so a file named site7 opens as site7.
class SettingsFileDialog final : public QFileDialog {
  public:
    SettingsFileDialog(QWidget* parent, QFileDialog::AcceptMode mode) : QFileDialog(parent) {
        setAcceptMode(mode);
        setProperty("defaultExtension", QString::fromLatin1(kDefaultExtension));
        if (mode == QFileDialog::AcceptSave) setDefaultSuffix(kDefaultExtension);
    }

    void accept() override {
        const QStringList typed = selectedFiles();
        const QString withExtension = typed.size() == 1 ? typed.first() + "." + kDefaultExtension : QString();
        if (acceptMode() == QFileDialog::AcceptOpen && !withExtension.isEmpty() &&
            !QFileInfo::exists(typed.first()) && QFileInfo::exists(withExtension))
            selectFile(withExtension);
        QFileDialog::accept();
    }
};

// Tabs 50 × 20 pixels where "Page 1" fits in 50; else as narrow as it fits.
int TabWidth(const QTabBar& bar) {
    constexpr int kPartWidth = 50;
    constexpr int kTextMargin = 12;  // the style's padding on both sides of the caption
    return std::max(kPartWidth, bar.fontMetrics().horizontalAdvance(QStringLiteral("Page 1")) + kTextMargin);
}

FileDialogRunner& Runner() {
    static FileDialogRunner runner;
    return runner;
}

QString RunFileDialog(QFileDialog& dialog) {
    dialog.selectNameFilter(kSettingsFileFilters.first());
    if (Runner()) return Runner()(dialog);
    if (dialog.exec() != QDialog::Accepted) return {};
    const QStringList files = dialog.selectedFiles();
    return files.isEmpty() ? QString() : files.first();
}

}  // namespace

void SetFileDialogRunner(FileDialogRunner runner) {
    Runner() = std::move(runner);
}

TForm_Main::TForm_Main(QWidget* parent) : QMainWindow(parent), ui(std::make_unique<Ui::TForm_Main>()) {
    ui->setupUi(this);
    SetFixedBorder(this, Qt::WindowMinimizeButtonHint);
    setWindowIcon(QIcon(ConfiguratorPixmap()));
    BuildMainMenu();
    BuildFileDialogs();
    ui->PageControl1->setCurrentWidget(ui->TabSheet1);
    // Tabs 20 pixels high and 50 wide, which leaves the settings pages a few pixels more; set on the
    // tab bar alone so that the controls on the pages keep the plain style.
    QTabBar* tabs = ui->PageControl1->tabBar();
    tabs->setStyleSheet(
        QStringLiteral("QTabBar::tab { height: 20px; width: %1px; padding: 0px; }").arg(TabWidth(*tabs)));

    BuildSettingsPages(ui->TabSheet1, ui->TabSheet2);
    RegisterMainWindowSettingsView(this);

    ui->ClientArea->setFixedSize(kClientWidth, kClientHeight);
    FixSizeToContents(this);
    CentreOnScreen(this);

    StorePcSerialSettingsDefaults();
}

TForm_Main::~TForm_Main() {
    RegisterSettingsView(nullptr);
}

QCheckBox* TForm_Main::CheckBox_Dummy() const {
    return ui->CheckBox_Dummy;
}
QTabWidget* TForm_Main::PageControl1() const {
    return ui->PageControl1;
}

void TForm_Main::BuildMainMenu() {
    mainMenu1 = new QMenuBar(this);
    mainMenu1->setObjectName("MainMenu1");
    for (const MainMenuTop& top : kMainMenu) {
        QMenu* menu = mainMenu1->addMenu(QString::fromUtf8(top.caption));
        menu->setObjectName(top.name);
        for (const MainMenuItem& item : top.items) {
            QAction* action =
                item.handler ? menu->addAction(QString::fromUtf8(item.caption)) : menu->addSeparator();
            action->setObjectName(item.name);
            if (const auto handler = item.handler) {
                connect(action, &QAction::triggered, this,
                        [this, handler] { RunGuarded([&] { (this->*handler)(); }); });
            }
        }
    }
    setMenuBar(mainMenu1);
}

void TForm_Main::BuildFileDialogs() {
    const auto setUp = [this](const char* name, const char* title, QFileDialog::AcceptMode mode) {
        auto* dialog = new SettingsFileDialog(this, mode);
        dialog->setObjectName(name);
        dialog->setWindowTitle(title);
        // The dialog of this toolkit, where the filters show as written and hide their last brackets.
        dialog->setOption(QFileDialog::DontUseNativeDialog, true);
        dialog->setOption(QFileDialog::HideNameFilterDetails, true);
        dialog->setNameFilters(kSettingsFileFilters);
        dialog->setOption(QFileDialog::ReadOnly, false);
        return dialog;
    };
    openDialog = setUp("OpenDialog", "File to load settings from", QFileDialog::AcceptOpen);
    openDialog->setFileMode(QFileDialog::ExistingFile);

    saveDialog = setUp("SaveDialog", "File to save settings to", QFileDialog::AcceptSave);
    saveDialog->setFileMode(QFileDialog::AnyFile);
    saveDialog->setOption(QFileDialog::DontConfirmOverwrite, false);
}

void TForm_Main::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    if (!event->spontaneous()) FormShow();
}

void TForm_Main::FormShow() {
    FocusSink();
}

void TForm_Main::FocusSink() {
    ui->CheckBox_Dummy->setFocus(Qt::OtherFocusReason);
}

void TForm_Main::Control_LoadFromFileClick() {
    const QString path = RunFileDialog(*openDialog);
    if (path.isEmpty()) return;

    // Only a regular file is read: a folder or a device opens on this platform but is no settings
    // file, and a pipe could block the window for good.
    const std::string name = QFile::encodeName(path).toStdString();
    std::error_code error;
    if (!std::filesystem::is_regular_file(name, error)) return;
    std::FILE* file = std::fopen(name.c_str(), "rb");
    if (!file) return;
    LoadSettingsFromFile(file);
    FocusSink();
    std::fclose(file);
}

void TForm_Main::Control_SaveClick() {
    CaptureSettings();  // a conversion error ends the command here: no dialog, no file

    const QString path = RunFileDialog(*saveDialog);
    if (path.isEmpty()) return;

    std::string reason;
    if (!SaveSettingsImage(QFile::encodeName(path).toStdString(), reason)) {
        ShowMessageBox(QMessageBox::Warning, QStringLiteral("Save Failed"),
                       QStringLiteral("The settings could not be saved to \"%1\": %2.")
                           .arg(path, QString::fromLocal8Bit(reason.c_str())));
    }
}

void TForm_Main::Control_LoadFromReceiverClick() {
    if (Form_RequestComm) Form_RequestComm->exec();
}

void TForm_Main::Control_ConfigureClick() {
    if (Form_ConfigureComm) Form_ConfigureComm->exec();
}

void TForm_Main::Help_AboutClick() {
    if (Form_AboutBox) Form_AboutBox->exec();
}

void TForm_Main::ComSettings1Click() {
    if (!Form_ComSettings) return;
    Form_ComSettings->show();
    Form_ComSettings->raise();
    Form_ComSettings->activateWindow();
}

void TForm_Main::Exit1Click() {
    close();
}
