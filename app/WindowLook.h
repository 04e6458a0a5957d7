// Small helpers shared by the application's windows: the drawn program icon and fixed borders.
#pragma once

#include <QPixmap>
#include <Qt>

#include "operations/windows/DialogStyle.h"

class QWidget;

// The program's 32 x 32 picture: a receiver antenna over a clock face.
QPixmap ConfiguratorPixmap(int size = 32);

// A single fixed border with the given title-bar buttons (the close box comes with the system menu).
void SetFixedBorder(QWidget* window, Qt::WindowFlags buttons);

// Fixes the window at its current size hint.
void FixSizeToContents(QWidget* window);

// CentreOnScreen (operations/windows/DialogStyle.h) puts a window in the middle of the screen.
