// The main window: size and border, the bevel, the two tab pages, the focus sink, the main menu
// and its commands, the file dialogs.
#include <QAction>
#include <QCheckBox>
#include <QDialog>
#include <QFileDialog>
#include <QFileInfo>
#include <QFileSystemModel>
#include <QFrame>
#include <QGuiApplication>
#include <QMenu>
#include <QMenuBar>
#include <QScreen>
#include <QTabBar>
#include <QTabWidget>
#include <QTimer>
#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "AppTestSupport.h"
#include "app/About.h"
#include "app/Comsettings.h"
#include "app/Main.h"
#include "app/Startup.h"
#include "operations/windows/ConfigureComm.h"
#include "operations/windows/Forms.h"
#include "operations/windows/RequestComm.h"

namespace {

using MainWindow = ConfiguratorFixture;

struct ExpectedMenuItem {
    const char* name;
    const char* caption;  // "-" for a separator
};

struct ExpectedMenu {
    const char* name;
    const char* caption;
    std::vector<ExpectedMenuItem> items;
};

const std::vector<ExpectedMenu> kExpectedMenu = {
    {"Menu_Control",
     "Control",
     {{"Control_LoadFromFile", "Load From &File..."},
      {"Control_LoadFromReceiver", "Load From &Receiver..."},
      {"ComSettings1", "&Com Settings..."},
      {"N1", "-"},
      {"Control_Save", "&Save Settings to File..."},
      {"N2", "-"},
      {"Control_Configure", "&Configure Receiver(s)..."},
      {"N3", "-"},
      {"Exit1", "E&xit"}}},
    {"Menu_Help", "Help", {{"Help_About", "&About..."}}},
};

QAction* MenuAction(const char* name) {
    return Form_Main->findChild<QAction*>(name);
}

// Triggers a menu item whose window runs modally; the window is closed from inside its own loop
// after recording whether it was up and modal.
struct ModalObservation {
    bool shown = false;
    bool modal = false;
};

ModalObservation TriggerModal(const char* item, QDialog* window) {
    ModalObservation seen;
    QTimer::singleShot(0, window, [&seen, window] {
        seen.shown = window->isVisible();
        seen.modal = window->isModal() || window->windowModality() != Qt::NonModal;
        window->reject();
    });
    MenuAction(item)->trigger();
    return seen;
}

}  // namespace

TEST_F(MainWindow, ClientAreaIsFixedAt717By453) {
    Form_Main->show();
    ASSERT_NE(Form_Main->centralWidget(), nullptr);
    EXPECT_EQ(Form_Main->centralWidget()->size(), QSize(717, 453));
    EXPECT_EQ(Form_Main->minimumSize(), Form_Main->maximumSize());
    EXPECT_EQ(Form_Main->objectName().toStdString(), "Form_Main");
}

TEST_F(MainWindow, MinimiseAndSystemMenuOnly) {
    const Qt::WindowFlags flags = Form_Main->windowFlags();
    EXPECT_TRUE(flags.testFlag(Qt::WindowMinimizeButtonHint));
    EXPECT_TRUE(flags.testFlag(Qt::WindowSystemMenuHint));
    EXPECT_FALSE(flags.testFlag(Qt::WindowMaximizeButtonHint));
}

TEST_F(MainWindow, CentredOnTheScreen) {
    const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
    const QPoint centre = Form_Main->frameGeometry().center();
    EXPECT_LE(std::abs(centre.x() - screen.center().x()), 1);
    EXPECT_LE(std::abs(centre.y() - screen.center().y()), 1);
}

TEST_F(MainWindow, Panel1IsALoweredBevelAcrossTheTop) {
    auto* panel = Form_Main->findChild<QFrame*>("Panel1");
    ASSERT_NE(panel, nullptr);
    EXPECT_EQ(panel->frameShadow(), QFrame::Sunken);
    EXPECT_EQ(panel->geometry(), QRect(0, 0, 717, 2));
}

TEST_F(MainWindow, TwoTabPagesWithPageOneActive) {
    QTabWidget* pages = Form_Main->PageControl1();
    ASSERT_NE(pages, nullptr);
    EXPECT_EQ(pages->objectName().toStdString(), "PageControl1");
    ASSERT_EQ(pages->count(), 2);
    EXPECT_EQ(pages->widget(0)->objectName().toStdString(), "TabSheet1");
    EXPECT_EQ(pages->tabText(0).toStdString(), "Page 1");
    EXPECT_EQ(pages->widget(1)->objectName().toStdString(), "TabSheet2");
    EXPECT_EQ(pages->tabText(1).toStdString(), "Page 2");
    EXPECT_EQ(pages->currentIndex(), 0);
    // Tabs 50 × 20 pixels, or as narrow as "Page 1" fits where it does not fit in 50.
    Form_Main->show();
    const int fits = pages->tabBar()->fontMetrics().horizontalAdvance("Page 1") + 12;
    for (int tab = 0; tab < 2; ++tab) {
        EXPECT_EQ(pages->tabBar()->tabRect(tab).height(), 20);
        EXPECT_EQ(pages->tabBar()->tabRect(tab).width(), std::max(50, fits));
    }
    // The pages fill the client area below the bevel.
    EXPECT_GE(pages->geometry().top(), 2);
    EXPECT_LE(pages->geometry().right(), 716);
    EXPECT_LE(pages->geometry().bottom(), 452);
}

TEST_F(MainWindow, FocusSinkSitsOutsideTheClientArea) {
    QCheckBox* sink = Form_Main->CheckBox_Dummy();
    ASSERT_NE(sink, nullptr);
    EXPECT_EQ(sink->objectName().toStdString(), "CheckBox_Dummy");
    EXPECT_EQ(sink->text().toStdString(), "Dummy Check Box");
    EXPECT_EQ(sink->x(), -81);
    EXPECT_LT(sink->geometry().right(), 0);
    EXPECT_EQ(sink->focusPolicy() & Qt::TabFocus, Qt::TabFocus);
    // First in the tab order of the client area.
    EXPECT_EQ(Form_Main->centralWidget()->nextInFocusChain(), sink);
}

TEST_F(MainWindow, ShowingGivesTheFocusToTheSink) {
    Form_Main->show();
    EXPECT_EQ(Form_Main->focusWidget(), Form_Main->CheckBox_Dummy());
    // Showing again after the focus moved elsewhere moves it back.
    Form_Main->PageControl1()->setFocus();
    Form_Main->hide();
    Form_Main->show();
    EXPECT_EQ(Form_Main->focusWidget(), Form_Main->CheckBox_Dummy());
}

TEST_F(MainWindow, MenuCaptionsSeparatorsAndNames) {
    QMenuBar* bar = Form_Main->MainMenu1();
    ASSERT_NE(bar, nullptr);
    EXPECT_EQ(bar->objectName().toStdString(), "MainMenu1");
    const QList<QAction*> tops = bar->actions();
    ASSERT_EQ(tops.size(), static_cast<qsizetype>(kExpectedMenu.size()));
    for (size_t m = 0; m < kExpectedMenu.size(); ++m) {
        const ExpectedMenu& expected = kExpectedMenu[m];
        SCOPED_TRACE(expected.name);
        QMenu* menu = tops[static_cast<qsizetype>(m)]->menu();
        ASSERT_NE(menu, nullptr);
        EXPECT_EQ(menu->objectName().toStdString(), expected.name);
        EXPECT_EQ(menu->title().toStdString(), expected.caption);
        const QList<QAction*> items = menu->actions();
        ASSERT_EQ(items.size(), static_cast<qsizetype>(expected.items.size()));
        for (size_t i = 0; i < expected.items.size(); ++i) {
            QAction* action = items[static_cast<qsizetype>(i)];
            const ExpectedMenuItem& item = expected.items[i];
            EXPECT_EQ(action->objectName().toStdString(), item.name);
            const bool separator = std::string(item.caption) == "-";
            EXPECT_EQ(action->isSeparator(), separator) << item.name;
            if (!separator) {
                EXPECT_EQ(action->text().toStdString(), item.caption);
                EXPECT_TRUE(action->isEnabled()) << item.name;
            }
        }
    }
}

TEST_F(MainWindow, LoadFromReceiverShowsTheRequestWindowModally) {
    const ModalObservation seen = TriggerModal("Control_LoadFromReceiver", Form_RequestComm);
    EXPECT_TRUE(seen.shown);
    EXPECT_TRUE(seen.modal);
    EXPECT_FALSE(Form_RequestComm->isVisible());
}

TEST_F(MainWindow, ConfigureShowsTheConfigureWindowModally) {
    const ModalObservation seen = TriggerModal("Control_Configure", Form_ConfigureComm);
    EXPECT_TRUE(seen.shown);
    EXPECT_TRUE(seen.modal);
}

TEST_F(MainWindow, AboutShowsTheAboutWindowModally) {
    const ModalObservation seen = TriggerModal("Help_About", Form_AboutBox);
    EXPECT_TRUE(seen.shown);
    EXPECT_TRUE(seen.modal);
}

TEST_F(MainWindow, ComSettingsOpensModelessBesideTheMainWindow) {
    Form_Main->show();
    MenuAction("ComSettings1")->trigger();
    EXPECT_TRUE(Form_ComSettings->isVisible());
    EXPECT_FALSE(Form_ComSettings->isModal());
    EXPECT_EQ(Form_ComSettings->windowModality(), Qt::NonModal);
    EXPECT_TRUE(Form_Main->isVisible());
    EXPECT_TRUE(Form_Main->isEnabled());
}

TEST_F(MainWindow, ExitClosesTheMainWindow) {
    Form_Main->show();
    ASSERT_TRUE(Form_Main->isVisible());
    MenuAction("Exit1")->trigger();
    EXPECT_FALSE(Form_Main->isVisible());
}

TEST_F(MainWindow, OpenDialogProperties) {
    FileDialogScript script("");  // cancel
    MenuAction("Control_LoadFromFile")->trigger();
    ASSERT_EQ(script.dialogs.size(), 1u);
    const RecordedDialog& dialog = script.dialogs[0];
    EXPECT_EQ(dialog.objectName.toStdString(), "OpenDialog");
    EXPECT_EQ(dialog.title.toStdString(), "File to load settings from");
    EXPECT_EQ(dialog.nameFilters, QStringList({"Data Files (*.dat)", "All Files (*.*)"}));
    EXPECT_EQ(dialog.selectedNameFilter.toStdString(), "Data Files (*.dat)");
    EXPECT_EQ(dialog.defaultSuffix.toStdString(), "dat");
    EXPECT_EQ(dialog.fileMode, static_cast<int>(QFileDialog::ExistingFile));  // the file must exist
    EXPECT_EQ(dialog.acceptMode, static_cast<int>(QFileDialog::AcceptOpen));
}

// "All Files (*.*)" lists every file, a name without a dot included; "Data Files" only .dat files.
TEST_F(MainWindow, AllFilesMatchesEveryName) {
    for (QFileDialog* dialog : {Form_Main->OpenDialog(), Form_Main->SaveDialog()}) {
        auto* model = dialog->findChild<QFileSystemModel*>();
        ASSERT_NE(model, nullptr);
        const QStringList filters = dialog->nameFilters();
        ASSERT_EQ(filters.size(), 2);
        dialog->selectNameFilter(filters[1]);
        EXPECT_EQ(ShownFilter(*dialog), "All Files (*.*)");
        EXPECT_EQ(model->nameFilters(), QStringList({"*"}));
        dialog->selectNameFilter(filters[0]);
        EXPECT_EQ(ShownFilter(*dialog), "Data Files (*.dat)");
        EXPECT_EQ(model->nameFilters(), QStringList({"*.dat"}));
    }
}

TEST_F(MainWindow, SaveDialogProperties) {
    auto* save = Form_Main->SaveDialog();
    ASSERT_NE(save, nullptr);
    EXPECT_EQ(save->objectName().toStdString(), "SaveDialog");
    EXPECT_EQ(save->windowTitle().toStdString(), "File to save settings to");
    EXPECT_EQ(ShownFilters(*save), QStringList({"Data Files (*.dat)", "All Files (*.*)"}));
    EXPECT_EQ(save->property("defaultExtension").toString().toStdString(), "dat");
    EXPECT_EQ(save->acceptMode(), QFileDialog::AcceptSave);
    EXPECT_FALSE(save->testOption(QFileDialog::DontConfirmOverwrite));  // asks before overwriting
    EXPECT_FALSE(save->testOption(QFileDialog::ReadOnly));
    // Neither dialog chooses a folder of its own: both start where the platform's default is.
    EXPECT_EQ(save->directory().absolutePath(), Form_Main->OpenDialog()->directory().absolutePath());
    EXPECT_TRUE(save->selectedFiles().isEmpty() || save->selectedFiles().first().isEmpty() ||
                QFileInfo(save->selectedFiles().first()).isDir());
}
