// A small coloured circle: the result lamp of the summary windows.
#pragma once

#include <QColor>
#include <QWidget>

class CircleShape : public QWidget {
    Q_OBJECT
  public:
    explicit CircleShape(QWidget* parent = nullptr);

    QColor BrushColor() const { return brushColor; }
    void SetBrushColor(const QColor& color);

    QSize sizeHint() const override { return {15, 15}; }

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    QColor brushColor;
};

// The lamp colours.
inline const QColor kShapeGray{128, 128, 128};
inline const QColor kShapeGreen{0, 255, 0};
inline const QColor kShapeRed{255, 0, 0};
