// The settings pages as the window shows them: every control from the tables exists with its type,
// caption and items in its box; nothing is clipped at the main window's client size; and the view
// over them behaves as display, capture and the datum rule expect.
#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFrame>
#include <QGroupBox>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QRadioButton>
#include <QTabWidget>
#include <array>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <random>

#include "FakeSettingsView.h"
#include "bytes/ByteOrder.h"
#include "settings/Capture.h"
#include "settings/Datum.h"
#include "settings/Display.h"
#include "settings/SettingsControls.h"
#include "settings/SettingsFile.h"
#include "settings/SettingsImage.h"
#include "settings/view/SettingsPages.h"

namespace {

// A stand-in for the main window with the parts the settings pages need: 717 × 453 client area,
// the 2-pixel panel at the top, the page control with its two sheets, and the hidden focus sink.
struct TestWindow {
    TestWindow() {
        window = std::make_unique<QWidget>();
        window->setObjectName("TForm_Main");
        window->setFixedSize(717, 453);
        // Made first, so that the pages lie over the part of it that reaches into the window.
        dummy = new QCheckBox("Dummy Check Box", window.get());
        dummy->setObjectName("CheckBox_Dummy");
        dummy->move(-81, 0);
        auto* panel = new QFrame(window.get());
        panel->setObjectName("Panel1");
        panel->setGeometry(0, 0, 717, 2);
        pages = new QTabWidget(window.get());
        pages->setObjectName("PageControl1");
        pages->setGeometry(0, 2, 717, 451);
        sheet1 = new QWidget;
        sheet1->setObjectName("TabSheet1");
        sheet2 = new QWidget;
        sheet2->setObjectName("TabSheet2");
        pages->addTab(sheet1, "Page 1");
        pages->addTab(sheet2, "Page 2");
        BuildSettingsPages(sheet1, sheet2);
        SettingsImage.fill(0);
        RegisterMainWindowSettingsView(window.get());
        window->show();
        QApplication::processEvents();
    }
    ~TestWindow() {
        window.reset();
        QApplication::processEvents();
    }

    template <typename T>
    T* Find(const char* name) const {
        return window->findChild<T*>(QString::fromLatin1(name));
    }

    std::unique_ptr<QWidget> window;
    QTabWidget* pages = nullptr;
    QWidget* sheet1 = nullptr;
    QWidget* sheet2 = nullptr;
    QCheckBox* dummy = nullptr;
};

QWidget* SheetOf(const TestWindow& w, const char* box) {
    for (const auto& b : kSettingsBoxes)
        if (std::string(box) == b.name) return b.page == 1 ? w.sheet1 : w.sheet2;
    return nullptr;
}

// Every control is a descendant of its box, and every box of its page (and of its enclosing box).
void ExpectInBox(const TestWindow& w, QWidget* control, const char* box) {
    auto* boxWidget = w.Find<QWidget>(box);
    ASSERT_NE(boxWidget, nullptr) << box;
    EXPECT_TRUE(boxWidget->isAncestorOf(control)) << control->objectName().toStdString() << " not in " << box;
    EXPECT_TRUE(SheetOf(w, box)->isAncestorOf(control)) << control->objectName().toStdString();
}

void ExpectLabel(const TestWindow& w, const char* control, const char* caption, const char* box,
                 const char* suffix) {
    if (caption[0] == '\0') return;
    const std::string name =
        std::string("Label_") + (std::string(control).substr(std::string(control).find('_') + 1)) + suffix;
    auto* label = w.Find<QLabel>(name.c_str());
    ASSERT_NE(label, nullptr) << name;
    EXPECT_EQ(label->text().toStdString(), caption) << name;
    ExpectInBox(w, label, box);
}

TEST(SettingsPages, EveryControlExistsWithItsTypeCaptionAndItemsInItsDesignTimeState) {
    TestWindow w;
    for (const auto& b : kSettingsBoxes) {
        SCOPED_TRACE(b.name);
        QWidget* box = w.Find<QWidget>(b.name);
        ASSERT_NE(box, nullptr);
        EXPECT_TRUE(SheetOf(w, b.name)->isAncestorOf(box));
        if (b.parent != nullptr)
            EXPECT_TRUE(w.Find<QWidget>(b.parent)->isAncestorOf(box));
        else
            EXPECT_EQ(box->parentWidget(), SheetOf(w, b.name));  // a box of the tab sheet itself
        if (b.panel) {
            EXPECT_NE(qobject_cast<QFrame*>(box), nullptr);
        } else {
            auto* group = qobject_cast<QGroupBox*>(box);
            ASSERT_NE(group, nullptr);
            EXPECT_EQ(group->title().toStdString(), b.caption);
        }
    }
    for (const auto& b : kCheckBoxBindings) {
        auto* box = w.Find<QCheckBox>(b.control);
        ASSERT_NE(box, nullptr) << b.control;
        EXPECT_EQ(box->text().toStdString(), b.caption);
        EXPECT_FALSE(box->isChecked()) << b.control;
        ExpectInBox(w, box, b.box);
    }
    for (const auto& b : kRadioButtonBindings) {
        auto* button = w.Find<QRadioButton>(b.control);
        ASSERT_NE(button, nullptr) << b.control;
        EXPECT_EQ(button->text().toStdString(), b.caption);
        EXPECT_FALSE(button->isChecked()) << b.control;
        ExpectInBox(w, button, b.box);
    }
    for (const auto& b : kComboBoxBindings) {
        auto* combo = w.Find<QComboBox>(b.control);
        ASSERT_NE(combo, nullptr) << b.control;
        EXPECT_FALSE(combo->isEditable()) << b.control;  // a drop-down list: no typed text
        EXPECT_EQ(combo->currentIndex(), -1) << b.control;
        ASSERT_EQ(combo->count(), static_cast<int>(b.items.size())) << b.control;
        for (int i = 0; i < combo->count(); ++i)
            EXPECT_EQ(combo->itemText(i).toStdString(), b.items[static_cast<size_t>(i)]) << b.control;
        ExpectInBox(w, combo, b.box);
        ExpectLabel(w, b.control, b.label, b.box, "");
    }
    for (const auto& b : kEditBindings) {
        auto* edit = w.Find<QLineEdit>(b.control);
        ASSERT_NE(edit, nullptr) << b.control;
        EXPECT_TRUE(edit->text().isEmpty()) << b.control;
        EXPECT_EQ(edit->isEnabled(), b.condition != EditCondition::kCustomDatum) << b.control;
        ExpectInBox(w, edit, b.box);
        ExpectLabel(w, b.control, b.label, b.box, "");
        ExpectLabel(w, b.control, b.unit, b.box, "Unit");
    }
    EXPECT_FALSE(CustomDatumEditsEnabled);
}

// Every visible widget lies inside its parent, and every caption, item and value has the room its
// size hint asks for.
void ExpectNothingClipped(QWidget* sheet) {
    ASSERT_TRUE(sheet->isVisible());
    if (sheet->layout() != nullptr) {
        EXPECT_LE(sheet->layout()->minimumSize().width(), sheet->width());
        EXPECT_LE(sheet->layout()->minimumSize().height(), sheet->height());
    }
    for (QWidget* widget : sheet->findChildren<QWidget*>()) {
        if (!widget->isVisible() || widget->objectName().startsWith("qt_")) continue;
        const std::string name = widget->objectName().toStdString();
        const QRect inParent = widget->geometry();
        EXPECT_TRUE(widget->parentWidget()->rect().contains(inParent)) << name;
        const QSize hint = widget->sizeHint();
        auto* label = qobject_cast<QLabel*>(widget);
        if (label != nullptr && label->wordWrap()) {
            // A wrapping caption needs the height its lines take at the width it got.
            EXPECT_GE(widget->height(), widget->heightForWidth(widget->width())) << name;
        } else if (label != nullptr || qobject_cast<QAbstractButton*>(widget) ||
                   qobject_cast<QComboBox*>(widget)) {
            EXPECT_GE(widget->width(), hint.width()) << name;
            EXPECT_GE(widget->height(), hint.height()) << name;
        } else if (qobject_cast<QLineEdit*>(widget)) {
            EXPECT_GE(widget->width(), widget->minimumWidth()) << name;
            EXPECT_GE(widget->height(), hint.height()) << name;
        } else if (qobject_cast<QGroupBox*>(widget)) {
            EXPECT_GE(widget->width(), widget->minimumSizeHint().width()) << name;
            EXPECT_GE(widget->height(), widget->minimumSizeHint().height()) << name;
        }
    }
    // Boxes side by side do not overlap.
    const auto boxes = sheet->findChildren<QGroupBox*>(QString(), Qt::FindDirectChildrenOnly);
    for (int i = 0; i < boxes.size(); ++i)
        for (int j = 0; j < i; ++j)
            EXPECT_FALSE(boxes[i]->geometry().intersects(boxes[j]->geometry()))
                << boxes[i]->objectName().toStdString() << " / " << boxes[j]->objectName().toStdString();
}

TEST(SettingsPages, NothingIsClippedInTheMainWindowsClientArea) {
    TestWindow w;
    w.pages->setCurrentIndex(0);
    QApplication::processEvents();
    ExpectNothingClipped(w.sheet1);
    w.pages->setCurrentIndex(1);
    QApplication::processEvents();
    ExpectNothingClipped(w.sheet2);
}

TEST(SettingsPages, TheViewSetsAndReadsTheControls) {
    TestWindow w;
    SettingsView* view = CurrentSettingsView();
    ASSERT_NE(view, nullptr);
    view->SetItemIndex("ComboBox_BaudRateA", 7);
    EXPECT_EQ(w.Find<QComboBox>("ComboBox_BaudRateA")->currentText().toStdString(), "9600");
    view->SetItemIndex("ComboBox_BaudRateA", 10);
    EXPECT_EQ(view->ItemIndex("ComboBox_BaudRateA"), -1);
    EXPECT_TRUE(w.Find<QComboBox>("ComboBox_BaudRateA")->currentText().isEmpty());

    view->SetChecked("RadioButton_Set", true);
    view->SetChecked("RadioButton_Cancel", true);
    EXPECT_FALSE(view->Checked("RadioButton_Set"));  // one chosen per box
    view->SetChecked("RadioButton_Cancel", false);
    EXPECT_FALSE(view->Checked("RadioButton_Set"));
    EXPECT_FALSE(view->Checked("RadioButton_Cancel"));
    view->SetChecked("RadioButton_Always", true);
    view->SetChecked("RadioButton_Set", true);
    EXPECT_TRUE(view->Checked("RadioButton_Always"));  // boxes are independent

    view->SetText("Edit_Limit", "-1");
    EXPECT_EQ(w.Find<QLineEdit>("Edit_Limit")->text().toStdString(), "-1");
    EXPECT_THROW(view->Text("Edit_Nothing"), std::logic_error);

    view->FocusSink();
    EXPECT_EQ(w.window->focusWidget(), w.dummy);
}

TEST(SettingsPages, TheOperatorsDatumChoiceEmptiesAndTheCodesChoiceKeepsTheTexts) {
    TestWindow w;
    std::array<uint8_t, 43> group{0x15};
    PutU16BE(0xFFFF, group.data() + 1);
    PutDoubleBE(-87.5, group.data() + 3);
    ShowDatum(group.data());
    auto* dx = w.Find<QLineEdit>("Edit_DX");
    EXPECT_TRUE(dx->isEnabled());
    EXPECT_EQ(dx->text().toStdString(), "-87.5");

    auto* combo = w.Find<QComboBox>("ComboBox_Datum");
    combo->setCurrentIndex(1);  // the operator picks "WGS-84"
    emit combo->activated(1);
    EXPECT_FALSE(dx->isEnabled());
    EXPECT_TRUE(dx->text().isEmpty());
    combo->setCurrentIndex(0);
    emit combo->activated(0);
    EXPECT_TRUE(dx->isEnabled());
    EXPECT_TRUE(w.Find<QLineEdit>("Edit_Eccentricity")->text().isEmpty());
}

TEST(SettingsPages, CaptureRightAfterStartStopsAtTheEmptyInterval) {
    TestWindow w;
    try {
        CaptureSettings();
        FAIL() << "no conversion error";
    } catch (const ConversionError& error) {
        EXPECT_STREQ(error.what(), "'' is not a valid integer value");
    }
    EXPECT_EQ(SettingsImage[0], 2);
}

TEST(SettingsPages, TheViewIsUnregisteredWhenTheWindowGoes) {
    {
        TestWindow w;
        EXPECT_NE(CurrentSettingsView(), nullptr);
    }
    EXPECT_EQ(CurrentSettingsView(), nullptr);
    std::array<uint8_t, 5> group{1, 2, 3, 4, 5};
    Show2DAltitude(group.data());  // no window: stored only
    EXPECT_EQ(SettingsImage[4], 5);
}

// The same files loaded and captured through the window's controls and through the window-less
// fake view give the same image: the window behaves as the unit tests assume.
TEST(SettingsPages, LoadAndCaptureMatchTheFakeView) {
    TestWindow w;
    std::mt19937 random(99);
    std::uniform_int_distribution<int> byte(0, 255);
    for (int n = 0; n < 200; ++n) {
        std::array<uint8_t, kSettingsImageSize> file{};
        for (uint8_t& b : file) b = static_cast<uint8_t>(byte(random) % 12);  // small codes, finite numbers
        if (n % 3 == 0) PutU16BE(0xFFFF, &file[79]);

        std::array<uint8_t, kSettingsImageSize> results[2];
        for (int pass = 0; pass < 2; ++pass) {
            FakeSettingsView fake;
            if (pass == 1) {
                RegisterSettingsView(&fake);
                CustomDatumEditsEnabled = false;
            } else {
                RegisterMainWindowSettingsView(w.window.get());
                // Put the window back in its design-time radio state so both start alike.
                for (const char* radio : {"RadioButton_Always", "RadioButton_1Sat", "RadioButton_3Sat"})
                    CurrentSettingsView()->SetChecked(radio, false);
            }
            auto buffer = file;
            std::FILE* stream = fmemopen(buffer.data(), buffer.size(), "rb");
            ASSERT_NE(stream, nullptr);
            LoadSettingsFromFile(stream);
            std::fclose(stream);
            ASSERT_NO_THROW(CaptureSettings()) << "file " << n;
            results[pass] = SettingsImage;
            RegisterSettingsView(nullptr);
        }
        ASSERT_EQ(results[0], results[1]) << "file " << n;
    }
}

// A realistic set of settings, for the screenshots of the two pages.
std::array<uint8_t, kSettingsImageSize> RealisticSettings() {
    std::array<uint8_t, kSettingsImageSize> image{};
    uint8_t* b = image.data();
    PutSingleBE(112.5f, b + 1);  // altitude mode 0, 112.5 m
    b[5] = 0x03;
    b[6] = 0x02;
    b[7] = 0x01;
    b[8] = 0x00;  // LLA, XYZ; ENU; UTC tags
    b[10] = 1;
    PutU32BE(0x101, b + 11);  // NMEA every second: GGA, RMC
    b[16] = 7;
    b[17] = 3;
    b[18] = 4;
    b[19] = 1;  // over-determined clock, DGPS auto, stationary
    PutU32BE(0x3E32B8B8, b + 20);
    PutSingleBE(4.0f, b + 24);  // 10 degrees as capture stores it
    PutSingleBE(12.0f, b + 28);
    PutSingleBE(8.0f, b + 32);
    b[36] = 30;
    const uint8_t portA[10] = {0, 7, 7, 3, 1, 0, 0, 2, 2, 0}, portB[10] = {1, 7, 7, 3, 0, 0, 0, 2, 4, 0};
    std::copy(portA, portA + 10, b + 58);
    std::copy(portB, portB + 10, b + 68);
    b[78] = 0x15;  // WGS-84
    b[121] = 0x4A;
    b[122] = 1;
    b[123] = 1;
    b[124] = 0;
    PutDoubleBE(0.0, b + 125);
    PutSingleBE(300.0f, b + 133);
    b[137] = 0x4D;
    PutU32BE(0x40000005, b + 138);
    b[142] = 0x4E;
    b[143] = 3;
    b[144] = 0x4F;
    PutDoubleBE(1e-5, b + 145);
    b[153] = 0xA5;
    b[154] = 0x09;
    b[155] = 0x20;
    b[158] = 0xA9;
    b[159] = 1;
    b[160] = 1;
    PutU32BE(2000, b + 161);
    return image;
}

// Saves both pages as PNG files into VC_SCREENSHOT_DIR when it is set (for the documentation);
// checks the realistic settings load without touching the file system otherwise.
TEST(SettingsPages, RealisticSettingsShowAndCaptureUnchanged) {
    TestWindow w;
    auto file = RealisticSettings();
    std::FILE* stream = fmemopen(file.data(), file.size(), "rb");
    ASSERT_NE(stream, nullptr);
    LoadSettingsFromFile(stream);
    std::fclose(stream);
    EXPECT_EQ(w.Find<QComboBox>("ComboBox_RMode")->currentText().toStdString(), "Over-determined clock");
    EXPECT_EQ(w.Find<QLineEdit>("Edit_EMask")->text().toStdString(), "10.0");
    EXPECT_EQ(w.Find<QComboBox>("ComboBox_Datum")->currentText().toStdString(), "WGS-84");
    ASSERT_NO_THROW(CaptureSettings());
    EXPECT_EQ(SettingsImage, RealisticSettings());  // already in normal form

    if (const char* folder = std::getenv("VC_SCREENSHOT_DIR")) {
        for (int page = 0; page < 2; ++page) {
            w.pages->setCurrentIndex(page);
            QApplication::processEvents();
            const QString path = QString("%1/settings-page%2.png").arg(folder).arg(page + 1);
            EXPECT_TRUE(w.window->grab().save(path)) << path.toStdString();
        }
    }
}

}  // namespace

// The application object lives on main's stack, so that it goes before the toolkit's own statics.
int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    QApplication app(argc, argv);
    return RUN_ALL_TESTS();
}
