#include "operations/windows/Summary.h"

#include <QApplication>
#include <QFrame>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPixmap>
#include <QToolButton>
#include <QVBoxLayout>
#include <cstdio>

#include "link/PortContext.h"
#include "operations/SummaryTables.h"
#include "operations/windows/CircleShape.h"
#include "operations/windows/Commconfigsummary.h"
#include "operations/windows/DialogStyle.h"
#include "operations/windows/Forms.h"
#include "serial/Serial.h"

namespace {

static_assert(kPortContextCount == 20);

// The small glyph of the detail buttons: a page with lines.
QIcon DetailGlyph() {
    QPixmap pixmap(11, 11);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setPen(Qt::black);
    painter.setBrush(Qt::white);
    painter.drawRect(1, 0, 8, 10);
    for (int y = 3; y <= 7; y += 2) painter.drawLine(3, y, 7, y);
    return QIcon(pixmap);
}

void SetEditBackground(QLineEdit* edit, QPalette::ColorRole systemColour) {
    QPalette palette = edit->palette();
    palette.setColor(QPalette::Base, QApplication::palette().color(systemColour));
    edit->setPalette(palette);
}

}  // namespace

int PortNoFromButtonName(const QString& name) {
    const QByteArray bytes = name.toLatin1();
    int portNo = 0;
    char rest = 0;
    // The whole name must be the pattern: nothing may follow the number.
    if (std::sscanf(bytes.constData(), "SpeedButton_Comm%i%c", &portNo, &rest) != 1) return 0;
    return portNo >= 1 && portNo <= kPortContextCount ? portNo : 0;
}

TForm_Summary::TForm_Summary(QWidget* parent) : QDialog(parent) {
    setObjectName("Summary");
    setWindowTitle("Configuration Summary");

    auto* panel = new QFrame(this);
    panel->setObjectName("Panel1");
    panel->setFrameShape(QFrame::StyledPanel);
    auto* grid = new QGridLayout(panel);
    grid->setVerticalSpacing(3);
    const QIcon glyph = DetailGlyph();
    for (int i = 0; i < kPortContextCount; ++i) {
        const int portNo = i + 1;
        Row& row = rows[static_cast<size_t>(i)];
        row.label = new QLabel(QString("Comm %1").arg(portNo), panel);
        row.label->setObjectName(QString("Label_Comm%1").arg(portNo));
        row.shape = new CircleShape(panel);
        row.shape->setObjectName(QString("Shape_Comm%1").arg(portNo));
        row.edit = new QLineEdit(panel);
        row.edit->setObjectName(QString("Edit_Comm%1").arg(portNo));
        row.edit->setReadOnly(true);
        row.edit->setFocusPolicy(Qt::NoFocus);
        row.edit->setMinimumWidth(row.edit->fontMetrics().horizontalAdvance(kPortResults[3].text) + 16);
        row.button = new QToolButton(panel);
        row.button->setObjectName(QString("SpeedButton_Comm%1").arg(portNo));
        row.button->setFixedSize(17, 17);
        row.button->setIcon(glyph);
        row.button->setIconSize(QSize(11, 11));
        row.button->setEnabled(false);
        connect(row.button, &QToolButton::clicked, this, &TForm_Summary::SpeedButton_Click);
        grid->addWidget(row.label, i, 0);
        grid->addWidget(row.shape, i, 1);
        grid->addWidget(row.edit, i, 2);
        grid->addWidget(row.button, i, 3);
    }

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(panel);
    SetFixedDialogStyle(this);
}

void TForm_Summary::FillRows() {
    for (int i = 0; i < kPortContextCount; ++i) {
        const uint8_t result = PortContexts[static_cast<size_t>(i)].portResult;
        Row& row = rows[static_cast<size_t>(i)];
        row.edit->setText(PortResultText(result));
        SetEditBackground(row.edit, QPalette::Base);
        if (result == kResultNotInRun) {
            SetEditBackground(row.edit, QPalette::Button);
            row.shape->SetBrushColor(kShapeGray);
            row.button->setEnabled(false);
        } else if (result == kResultSuccess) {
            row.shape->SetBrushColor(kShapeGreen);
            row.button->setEnabled(true);
        } else {
            // A result outside the known codes counts as a failure with no detail.
            row.shape->SetBrushColor(kShapeRed);
            row.button->setEnabled(result == kResultGroupMissing || result == kResultGroupDiffers);
        }
        // A port that would not open tells why, as the command-line tool does.
        QString tip;
        if (result == kResultOpenFailed) {
            const SerialFailure failure = SerialLastFailure(static_cast<uint8_t>(i + 1));
            if (failure.code != SerialFailureCode::kNone)
                tip = QString::fromStdString(DescribeSerialFailure(failure));
        }
        for (QWidget* part : {static_cast<QWidget*>(row.label), static_cast<QWidget*>(row.shape),
                              static_cast<QWidget*>(row.edit)})
            part->setToolTip(tip);
    }
}

void TForm_Summary::ShowConfigurationSummary() {
    FillRows();
    exec();
}

void TForm_Summary::ShowCommSummary(int portNo) {
    if (portNo < 1 || portNo > kPortContextCount) return;
    if (Form_Comm_Summary != nullptr) {
        Form_Comm_Summary->ShowCommSummary(portNo);
    } else {
        TForm_Comm_Summary detail(this);
        detail.ShowCommSummary(portNo);
    }
}

void TForm_Summary::SpeedButton_Click() {
    const QObject* button = sender();
    if (button == nullptr) return;
    const int portNo = PortNoFromButtonName(button->objectName());
    if (portNo != 0) ShowCommSummary(portNo);
}

void TForm_Summary::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    CentreOnScreen(this);
}
