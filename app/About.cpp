#include "app/About.h"

#include "app/WindowLook.h"
#include "ui_About.h"

namespace {
constexpr int kClientWidth = 251;
constexpr int kClientHeight = 177;
}  // namespace

TForm_AboutBox::TForm_AboutBox(QWidget* parent)
    : QDialog(parent), ui(std::make_unique<Ui::TForm_AboutBox>()) {
    ui->setupUi(this);
    SetFixedBorder(this, {});
    ui->Image1->setPixmap(ConfiguratorPixmap(32));
    ui->LabelVersion->setText(QStringLiteral("Version " VC_VERSION));  // the version defined once, in CMake
    setFixedSize(kClientWidth, kClientHeight);
    CentreOnScreen(this);
}

TForm_AboutBox::~TForm_AboutBox() = default;
