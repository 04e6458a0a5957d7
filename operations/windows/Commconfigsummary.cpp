#include "operations/windows/Commconfigsummary.h"

#include <QFrame>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QVBoxLayout>
#include <algorithm>

#include "link/PortContext.h"
#include "messages/FieldDifferences.h"
#include "operations/SummaryTables.h"
#include "operations/windows/CircleShape.h"
#include "operations/windows/DialogStyle.h"

static_assert(std::tuple_size_v<decltype(kCommSummaryRows)> == 13);

TForm_Comm_Summary::TForm_Comm_Summary(QWidget* parent) : QDialog(parent) {
    setObjectName("Comm_Summary");
    setWindowTitle("");

    auto* panel = new QFrame(this);
    panel->setObjectName("Panel1");
    panel->setFrameShape(QFrame::StyledPanel);
    auto* grid = new QGridLayout(panel);
    grid->setVerticalSpacing(3);
    int longest = 0;
    for (const SummaryCode& code : kGroupStatuses)
        longest = std::max(longest, fontMetrics().horizontalAdvance(code.text));
    for (size_t r = 0; r < kCommSummaryRows.size(); ++r) {
        const CommSummaryRow& design = kCommSummaryRows[r];
        Row& row = rows[r];
        row.shape = new CircleShape(panel);
        row.shape->setObjectName(design.shapeName);
        row.label = new QLabel(design.caption, panel);
        row.label->setObjectName(QString(design.shapeName).replace("Shape_", "Label_"));
        row.edit = new QLineEdit(panel);
        row.edit->setObjectName(design.editName);
        row.edit->setReadOnly(true);
        row.edit->setFocusPolicy(Qt::NoFocus);
        row.edit->setMinimumWidth(longest + 28);
        const int line = static_cast<int>(r);
        grid->addWidget(row.shape, line, 0);
        grid->addWidget(row.label, line, 1);
        grid->addWidget(row.edit, line, 2);
    }

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(panel);
    SetFixedDialogStyle(this);
    move(180, 120);  // the design position
}

void TForm_Comm_Summary::FillRows(int portNo) {
    if (portNo < 1 || portNo > kPortContextCount) return;
    const PortContext& context = PortContexts[static_cast<size_t>(portNo - 1)];
    setWindowTitle(QString::asprintf("Summary for Comm Port %i", portNo));
    for (size_t r = 0; r < rows.size(); ++r) {
        const uint8_t status = context.groupStatus[static_cast<size_t>(kCommSummaryRows[r].groupNo - 1)];
        rows[r].edit->setText(GroupStatusText(status));
    }
    for (size_t r = 0; r < rows.size(); ++r) {
        const uint8_t status = context.groupStatus[static_cast<size_t>(kCommSummaryRows[r].groupNo - 1)];
        rows[r].shape->SetBrushColor(status == kGroupMatches ? kShapeGreen : kShapeRed);
    }
    // A group that read back different tells which fields, written against read back.
    for (size_t r = 0; r < rows.size(); ++r) {
        const int groupNo = kCommSummaryRows[r].groupNo;
        QString tip;
        if (context.groupStatus[static_cast<size_t>(groupNo - 1)] == kGroupDiffers) {
            for (const FieldChange& change : DifferingFieldsOfPort(portNo - 1, groupNo))
                tip += (tip.isEmpty() ? "" : "\n") + QString::fromStdString(FieldChangeLine(change));
        }
        rows[r].edit->setToolTip(tip);
        rows[r].label->setToolTip(tip);
    }
}

void TForm_Comm_Summary::ShowCommSummary(int portNo) {
    if (portNo < 1 || portNo > kPortContextCount) return;
    FillRows(portNo);
    exec();
}
