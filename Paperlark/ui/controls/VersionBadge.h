#pragma once

#include <QLabel>

// The capsule in the header that shows "v" followed by the version.
class VersionBadge : public QLabel {
    Q_OBJECT

public:
    explicit VersionBadge(const QString& version, QWidget* parent = nullptr);

    // "v" + version, with nothing between them (just "v" for an empty version).
    static QString textFor(const QString& version);

protected:
    void paintEvent(QPaintEvent* event) override;
};
