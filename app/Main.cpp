#include "app/Main.h"

// The generated form first: its setup code names the window Form_Main, like the singleton below.
// clang-format off
#include "ui_Main.h"
// clang-format on

#include <QAbstractItemView>
#include <QCheckBox>
#include <QDialogButtonBox>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QItemSelectionModel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
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
#include "operations/windows/ConfigureComm.h"
#include "operations/windows/Forms.h"
#include "operations/windows/RequestComm.h"
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

// The default extension ".dat", in both dialogs the toolkit's own default suffix: a name typed
// without an extension gets ".dat", and the dialog's file list and Open button follow it while the
// name is typed. Opening keeps one rule of its own: a name that exists as typed (site7, no dot) opens
// as typed, even where site7.dat exists too.
class SettingsFileDialog final : public QFileDialog {
  public:
    SettingsFileDialog(QWidget* parent, QFileDialog::AcceptMode mode) : QFileDialog(parent) {
        setAcceptMode(mode);
        setProperty("defaultExtension", QString::fromLatin1(kDefaultExtension));
        setDefaultSuffix(kDefaultExtension);
        connect(this, &QFileDialog::filesSelected, this,
                [this](const QStringList& files) { chosen = files; });
    }

    // Set up the name box once the dialog has built it: its Open button also stands for a name
    // that exists as typed. Connected after the dialog's own handler, so this one has the last word.
    void FollowNameBox() {
        QLineEdit* box = NameBox();
        if (box == nullptr || acceptMode() != QFileDialog::AcceptOpen) return;
        connect(box, &QLineEdit::textChanged, this, [this] {
            auto* buttons = findChild<QDialogButtonBox*>(QStringLiteral("buttonBox"));
            QPushButton* open = buttons != nullptr ? buttons->button(QDialogButtonBox::Open) : nullptr;
            if (open != nullptr && !ExistingAsTyped().isEmpty()) open->setEnabled(true);
        });
    }

    // The file the operator chose, as the dialog accepted it; empty when cancelled.
    QString Chosen() const { return chosen.isEmpty() ? QString() : chosen.first(); }

    int exec() override {
        chosen.clear();
        return QFileDialog::exec();
    }

    // Enter in the name box and the Open button both come here. A name that exists as typed is
    // taken without the extension: the toolkit would add it to any name without a dot, and has
    // already picked the .dat file of that name in its list where there is one.
    void accept() override {
        if (acceptMode() == QFileDialog::AcceptOpen && !ExistingAsTyped().isEmpty()) {
            if (auto* list = findChild<QAbstractItemView*>(QStringLiteral("listView")))
                list->selectionModel()->clearSelection();
            setDefaultSuffix(QString());
            QFileDialog::accept();
            setDefaultSuffix(kDefaultExtension);
            return;
        }
        QFileDialog::accept();
    }

  private:
    QLineEdit* NameBox() const { return findChild<QLineEdit*>(QStringLiteral("fileNameEdit")); }

    // The typed name's file when it has no extension and exists as typed, else empty.
    QString ExistingAsTyped() const {
        const QLineEdit* box = NameBox();
        const QString typed = box != nullptr ? box->text() : QString();
        if (typed.isEmpty() || typed.contains(QLatin1Char('"')) || QFileInfo(typed).fileName().contains('.'))
            return {};
        const QString path = QDir(directory()).absoluteFilePath(typed);
        return QFileInfo(path).isFile() ? path : QString();
    }

    QStringList chosen;
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
    return static_cast<SettingsFileDialog&>(dialog).Chosen();
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
        dialog->FollowNameBox();
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
