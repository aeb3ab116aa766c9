#include "ui/controls/GrowingTextEdit.h"

#include <QEvent>
#include <QTextBlock>
#include <QTextLayout>

#include <algorithm>

GrowingTextEdit::GrowingTextEdit(int minimumLines, int maximumLines, QWidget* parent)
    : QPlainTextEdit(parent), minimumLines_(std::max(1, minimumLines)),
      maximumLines_(std::max(minimumLines_, maximumLines)) {
    setLineWrapMode(QPlainTextEdit::WidgetWidth);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    connect(document(), &QTextDocument::contentsChanged, this, &GrowingTextEdit::updateHeight);
    updateHeight();
}

int GrowingTextEdit::textLines() const {
    const qreal margin = document()->documentMargin();
    const qreal width = std::max<qreal>(1.0, viewport()->width() - 2 * margin - cursorWidth());
    const QTextOption option = document()->defaultTextOption();
    const int limit = maximumLines_ + 1;
    int lines = 0;
    for (QTextBlock block = document()->begin(); block.isValid() && lines < limit;
         block = block.next()) {
        QTextLayout layout(block.text(), font());
        layout.setTextOption(option);
        layout.beginLayout();
        int blockLines = 0;
        while (lines + blockLines < limit) {
            QTextLine line = layout.createLine();
            if (!line.isValid()) {
                break;
            }
            line.setLineWidth(width);
            ++blockLines;
        }
        layout.endLayout();
        lines += std::max(1, blockLines);
    }
    return std::max(1, lines);
}

int GrowingTextEdit::visibleLines() const {
    return std::clamp(textLines(), minimumLines_, maximumLines_);
}

int GrowingTextEdit::heightForLines(int lines) const {
    // Border and padding: everything between the widget's edge and its
    // contents rectangle, plus the document's own margin.
    const int frame = height() - contentsRect().height();
    const int margin = static_cast<int>(2 * document()->documentMargin());
    return lines * fontMetrics().lineSpacing() + margin + frame;
}

void GrowingTextEdit::updateHeight() {
    const int wanted = heightForLines(visibleLines());
    if (minimumHeight() != wanted || maximumHeight() != wanted) {
        setFixedHeight(wanted);
    }
}

bool GrowingTextEdit::event(QEvent* event) {
    const bool handled = QPlainTextEdit::event(event);
    // The style sheet's border and padding are known once the field is polished.
    if (event->type() == QEvent::Polish) {
        updateHeight();
    }
    return handled;
}

void GrowingTextEdit::resizeEvent(QResizeEvent* event) {
    QPlainTextEdit::resizeEvent(event);
    // A new width may wrap the text into more or fewer lines.
    updateHeight();
}

void GrowingTextEdit::changeEvent(QEvent* event) {
    QPlainTextEdit::changeEvent(event);
    if (event->type() == QEvent::FontChange || event->type() == QEvent::StyleChange) {
        updateHeight();
    }
}
