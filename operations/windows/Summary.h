// TForm_Summary: the outcome of a configure run, one row per comm port, each with a lamp, the
// result text and a button that opens the per-group detail of that port.
#pragma once

#include <QDialog>
#include <array>

class CircleShape;
class QLabel;
class QLineEdit;
class QToolButton;

class TForm_Summary : public QDialog {
    Q_OBJECT
  public:
    explicit TForm_Summary(QWidget* parent = nullptr);

    // Fills the twenty rows from the Port Results, then shows the window modally.
    void ShowConfigurationSummary();
    // Fills the twenty rows from the Port Results.
    void FillRows();
    // Fills the per-port window from Port Context n − 1 and shows it modally (n = 1..20).
    void ShowCommSummary(int portNo);

    struct Row {
        QLabel* label;
        CircleShape* shape;
        QLineEdit* edit;
        QToolButton* button;
    };
    const Row& RowOf(int portNo) const { return rows[static_cast<size_t>(portNo - 1)]; }

  public slots:
    // Shared by all twenty buttons: the port number comes from the clicked button's name.
    void SpeedButton_Click();

  protected:
    void showEvent(QShowEvent* event) override;

  private:
    std::array<Row, 20> rows{};
};

// The port number in a name "SpeedButton_Comm<n>", or 0 when the name has no number 1..20.
int PortNoFromButtonName(const QString& name);
