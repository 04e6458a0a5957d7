// The About window.
#include <QFrame>
#include <QLabel>
#include <QPushButton>
#include <string>

#include "AppTestSupport.h"
#include "app/About.h"
#include "app/Startup.h"

namespace {

using AboutBox = ConfiguratorFixture;

QLabel* Label(const char* name) {
    return Form_AboutBox->findChild<QLabel*>(name);
}

}  // namespace

TEST_F(AboutBox, CaptionSizeAndBorder) {
    EXPECT_EQ(Form_AboutBox->windowTitle().toStdString(), "About Vandel Configurator");
    EXPECT_EQ(Form_AboutBox->size(), QSize(251, 177));
    EXPECT_EQ(Form_AboutBox->minimumSize(), Form_AboutBox->maximumSize());
    const Qt::WindowFlags flags = Form_AboutBox->windowFlags();
    EXPECT_TRUE(flags.testFlag(Qt::WindowSystemMenuHint));
    EXPECT_FALSE(flags.testFlag(Qt::WindowMaximizeButtonHint));
    EXPECT_FALSE(flags.testFlag(Qt::WindowMinimizeButtonHint));
    EXPECT_TRUE(Form_AboutBox->findChildren<QPushButton*>().isEmpty());
}

TEST_F(AboutBox, PanelWithLoweredBevel) {
    auto* panel = Form_AboutBox->findChild<QFrame*>("PanelAbout");
    ASSERT_NE(panel, nullptr);
    EXPECT_EQ(panel->frameShadow(), QFrame::Sunken);
}

TEST_F(AboutBox, Texts) {
    ASSERT_NE(Label("LabelVersion"), nullptr);
    ASSERT_NE(Label("Label1"), nullptr);
    ASSERT_NE(Label("Label2"), nullptr);
    EXPECT_EQ(Label("LabelVersion")->text().toStdString(), "Version 1.20");
    EXPECT_EQ(Label("Label1")->text().toStdString(), "Vandel Configurator is designed to work");
    EXPECT_EQ(Label("Label2")->text().toStdString(), " with the following receivers:");
    for (const char* name : {"Label3", "Label4"}) {
        ASSERT_NE(Label(name), nullptr) << name;
        EXPECT_FALSE(Label(name)->text().isEmpty()) << name;
        EXPECT_TRUE(Label(name)->font().bold()) << name;
    }
}

TEST_F(AboutBox, PictureIs32By32) {
    QLabel* image = Label("Image1");
    ASSERT_NE(image, nullptr);
    const QPixmap picture = image->pixmap();
    ASSERT_FALSE(picture.isNull());
    EXPECT_EQ(picture.size(), QSize(32, 32));
    EXPECT_EQ(image->size(), QSize(32, 32));
    // The picture is drawn, not blank.
    const QImage pixels = picture.toImage();
    int opaque = 0;
    for (int y = 0; y < 32; ++y)
        for (int x = 0; x < 32; ++x) opaque += qAlpha(pixels.pixel(x, y)) > 0 ? 1 : 0;
    EXPECT_GT(opaque, 200);
}

TEST_F(AboutBox, EveryLabelFitsTheWindow) {
    Form_AboutBox->show();
    for (QLabel* label : Form_AboutBox->findChildren<QLabel*>()) {
        if (label->objectName() == "Image1") continue;
        EXPECT_GE(label->width(), label->sizeHint().width()) << label->objectName().toStdString();
    }
    Form_AboutBox->hide();
}
