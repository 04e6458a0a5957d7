#include "settings/view/SettingsPages.h"

#include <QComboBox>
#include <QLayout>
#include <QWidget>
#include <memory>

#include "settings/Datum.h"
#include "settings/view/QtSettingsView.h"
#include "ui_SettingsPage1.h"
#include "ui_SettingsPage2.h"

namespace {

template <typename Form>
void BuildPage(QWidget* sheet) {
    Form form;
    if (sheet->layout() == nullptr) {
        form.setupUi(sheet);
        return;
    }
    auto* page = new QWidget(sheet);
    form.setupUi(page);
    sheet->layout()->addWidget(page);
}

// The registered view; replaced when another window registers.
std::unique_ptr<QtSettingsView> registeredView;

}  // namespace

void BuildSettingsPages(QWidget* tabSheet1, QWidget* tabSheet2) {
    BuildPage<Ui::SettingsPage1>(tabSheet1);
    BuildPage<Ui::SettingsPage2>(tabSheet2);
}

void RegisterMainWindowSettingsView(QWidget* mainWindow) {
    auto view = std::make_unique<QtSettingsView>(mainWindow);
    QtSettingsView* raw = view.get();
    RegisterSettingsView(raw);
    registeredView = std::move(view);
    // The flag follows the edits as the window built them (disabled at design time).
    CustomDatumEditsEnabled = raw->Enabled(kCustomDatumEdits[0]);

    auto* datum = mainWindow->findChild<QComboBox*>(QStringLiteral("ComboBox_Datum"));
    QObject::connect(datum, &QComboBox::activated, mainWindow,
                     [] { ComboBox_DatumChange(kDatumPickedByOperator); });
    QObject::connect(mainWindow, &QObject::destroyed, [raw] {
        if (CurrentSettingsView() == raw) RegisterSettingsView(nullptr);
        if (registeredView.get() == raw) registeredView.reset();
    });
}
