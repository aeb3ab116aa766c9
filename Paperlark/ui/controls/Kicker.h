#pragma once

#include <QLabel>

// The small caption above a title: bold monospaced capitals in cyan with
// wide letter spacing. The text is shown as given (callers pass capitals).
class Kicker : public QLabel {
    Q_OBJECT

public:
    explicit Kicker(const QString& text, QWidget* parent = nullptr);
};
