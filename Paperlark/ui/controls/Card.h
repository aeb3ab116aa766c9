#pragma once

#include <QPointer>
#include <QWidget>

class QVBoxLayout;

// A rounded panel on the `surface` colour with a `line` border and a short
// cyan-to-violet accent bar on its top edge, 10 points in from each side.
// The card stretches to the width it is given; its content is padded by
// `padding` on all four edges and hugs the leading edge when it cannot grow.
//
//     auto* card = new Card(16, optionsColumn);
class Card : public QWidget {
    Q_OBJECT

public:
    explicit Card(int padding, QWidget* content = nullptr, QWidget* parent = nullptr);

    int padding() const { return padding_; }
    QWidget* content() const { return content_; }

    // Replaces the content; the card takes ownership.
    void setContent(QWidget* content);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    int padding_;
    QVBoxLayout* layout_;
    QPointer<QWidget> content_;
};
