#include "operations/windows/MessageBox.h"

#include <QGuiApplication>
#include <QLabel>
#include <QLayout>
#include <QScreen>
#include <algorithm>
#include <vector>

namespace {

// An invisible place where a line may break.
constexpr char16_t kBreakOpportunity = 0x200B;

bool EndsWord(QChar c) {
    return c == QLatin1Char(' ') || c == QLatin1Char('\n') || c == QChar(kBreakOpportunity);
}

// The widths the toolkit gives a message box on a screen: it wraps the text once the box would be
// wider than the soft width, and never makes a box wider than the hard one (on a screen up to 1024
// pixels wide, the screen's width).
struct BoxWidths {
    int soft;
    int hard;
};

BoxWidths ToolkitBoxWidths(const QScreen& screen) {
    const int width = screen.availableGeometry().width();
    return {std::min(width / 2, 500), width <= 1024 ? width : std::min(width - 480, 1000)};
}

// The box is measured against every screen it may be laid out for: its own, its parent's and the
// one under it. The narrowest hard width and the widest soft width hold on all of them.
BoxWidths BoxWidthsOn(const QMessageBox& box) {
    std::vector<const QScreen*> screens = {box.screen(), QGuiApplication::screenAt(box.geometry().center())};
    if (const QWidget* parent = box.parentWidget()) screens.push_back(parent->window()->screen());
    BoxWidths widths{0, 0};
    for (const QScreen* screen : screens) {
        if (screen == nullptr) continue;
        const BoxWidths on = ToolkitBoxWidths(*screen);
        widths.soft = std::max(widths.soft, on.soft);
        widths.hard = widths.hard == 0 ? on.hard : std::min(widths.hard, on.hard);
    }
    return widths;
}

// The text with a break opportunity between the characters of every word wider than `widest`, so
// that the word wraps instead of running out of the box.
QString BreakOverlongWords(const QString& text, const QFontMetrics& metrics, int widest) {
    QString result;
    qsizetype start = 0;
    for (qsizetype i = 0; i <= text.size(); ++i) {
        if (i < text.size() && !EndsWord(text[i])) continue;
        const QString word = text.mid(start, i - start);
        if (metrics.horizontalAdvance(word) > widest) {
            for (qsizetype c = 0; c < word.size(); ++c) {
                result += word[c];
                const bool inPair = word[c].isHighSurrogate();
                if (c + 1 < word.size() && !inPair) result += QChar(kBreakOpportunity);
            }
        } else {
            result += word;
        }
        if (i < text.size()) result += text[i];
        start = i + 1;
    }
    return result;
}

// The width of the widest word (what a wrapping label cannot go below).
int WidestWord(const QString& text, const QFontMetrics& metrics) {
    int widest = 0;
    qsizetype start = 0;
    for (qsizetype i = 0; i <= text.size(); ++i) {
        if (i < text.size() && !EndsWord(text[i])) continue;
        widest = std::max(widest, metrics.horizontalAdvance(text.mid(start, i - start)));
        start = i + 1;
    }
    return widest;
}

}  // namespace

FittingMessageBox::FittingMessageBox(Icon icon, const QString& title, const QString& text,
                                     StandardButtons buttons, QWidget* parent)
    : QMessageBox(icon, title, text, buttons, parent) {}

void FittingMessageBox::showEvent(QShowEvent* event) {
    FitMessageBoxText(*this);
    QMessageBox::showEvent(event);  // the toolkit sizes the box here, within the label's minimum
}

void FitMessageBoxText(QMessageBox& box) {
    auto* label = box.findChild<QLabel*>(QStringLiteral("qt_msgbox_label"));
    if (label == nullptr || box.layout() == nullptr) return;
    label->ensurePolished();
    const BoxWidths widths = BoxWidthsOn(box);
    if (widths.hard == 0) return;

    // What the box needs beside its label, and the label beside its text, with one character's
    // room against rounding: measured with every line whole.
    label->setMinimumWidth(0);
    label->setWordWrap(false);
    const QFontMetrics metrics = label->fontMetrics();
    const QStringList lines = box.text().split(QLatin1Char('\n'));
    int longest = 0;
    for (const QString& line : lines) longest = std::max(longest, metrics.horizontalAdvance(line));
    const int unwrapped = label->minimumSizeHint().width();
    const int besideLabel = box.layout()->totalMinimumSize().width() - unwrapped;
    const int besideText = std::max(0, unwrapped - longest) + metrics.averageCharWidth();
    const int widestLabel = widths.hard - besideLabel;

    const QString text = BreakOverlongWords(box.text(), metrics, widestLabel - besideText);
    if (text != box.text()) box.setText(text);

    // The label is as wide as the longest line that fits in the widest box. Once a line does not
    // fit, the label is wider than the toolkit's wrapping width, so that the toolkit wraps it, and
    // at least as wide as its widest word.
    int width = 0;
    bool wraps = false;
    for (const QString& line : lines) {
        const int needed = metrics.horizontalAdvance(line) + besideText;
        if (needed <= widestLabel)
            width = std::max(width, needed);
        else
            wraps = true;
    }
    if (wraps) {
        width = std::max({width, widths.soft - besideLabel + 1, WidestWord(text, metrics) + besideText});
        width = std::min(width, widestLabel);
    }
    label->setMinimumWidth(width);
}
