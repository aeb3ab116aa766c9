#pragma once

#include <QLabel>
#include <QUrl>

// A clickable text that opens a web address in the default browser. Drawn in
// `cyan`; the tooltip, when given, says where it leads. Reachable with Tab
// (with the focus it reads in `ink` on a cyan tint) and activated with Space or
// Return.
class LinkLabel : public QLabel {
    Q_OBJECT

public:
    LinkLabel(const QString& text, const QUrl& url, const QString& toolTip = {},
              QWidget* parent = nullptr);

    const QUrl& url() const { return url_; }

Q_SIGNALS:
    // Emitted before the address is handed to the browser.
    void activated(const QUrl& url);

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;

private:
    void open();

    QUrl url_;
    bool pressed_ = false;
};
