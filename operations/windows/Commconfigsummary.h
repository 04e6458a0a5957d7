// TForm_Comm_Summary: the outcome of each of the thirteen Settings Groups of one port after a
// configure run.
#pragma once

#include <QDialog>
#include <array>

class CircleShape;
class QLabel;
class QLineEdit;

class TForm_Comm_Summary : public QDialog {
    Q_OBJECT
  public:
    explicit TForm_Comm_Summary(QWidget* parent = nullptr);

    // Fills the caption and the thirteen rows from the Group Status of Port Context n − 1.
    void FillRows(int portNo);
    // FillRows, then shows the window modally (n = 1..20).
    void ShowCommSummary(int portNo);

    struct Row {
        CircleShape* shape;
        QLabel* label;
        QLineEdit* edit;
    };
    // Rows top to bottom, as kCommSummaryRows orders them.
    const Row& RowAt(int row) const { return rows[static_cast<size_t>(row)]; }

  private:
    std::array<Row, 13> rows{};
};
