#pragma once

#include <QPlainTextEdit>

// A multi-line text field whose height follows its text: it shows at least
// `minimumLines` and at most `maximumLines` lines (wrapped lines count) and
// scrolls beyond that. The window around it grows and shrinks with it when
// its layout lets the height follow the content.
class GrowingTextEdit : public QPlainTextEdit {
    Q_OBJECT

public:
    GrowingTextEdit(int minimumLines, int maximumLines, QWidget* parent = nullptr);

    int minimumLines() const { return minimumLines_; }
    int maximumLines() const { return maximumLines_; }

    // Lines the text takes at the current width, counted up to one more
    // than maximumLines.
    int textLines() const;
    // Lines the field is tall enough for: textLines() within the bounds.
    int visibleLines() const;

    // The height that shows `lines` lines of text.
    int heightForLines(int lines) const;

protected:
    bool event(QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void updateHeight();

    int minimumLines_;
    int maximumLines_;
};
