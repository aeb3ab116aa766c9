#pragma once

#include <QWidget>

#include <optional>

class ElidedLabel;
class LinkLabel;
class QHBoxLayout;
class QLabel;

// The full-width strip at the bottom of a window: the author and donation
// links, separated by middle dots, and, when a status is given, the status
// line at the leading end with the links pushed to the trailing end.
//
// An absent status puts the links at the leading end; a present but empty
// one keeps its (empty) slot, so the links stay at the trailing end.
class TesselFooter : public QWidget {
    Q_OBJECT

public:
    explicit TesselFooter(std::optional<QString> trailingStatus = std::nullopt,
                          QWidget* parent = nullptr);

    const std::optional<QString>& trailingStatus() const { return trailingStatus_; }
    void setTrailingStatus(std::optional<QString> status);

    ElidedLabel* statusLabel() const { return status_; }
    LinkLabel* authorLink() const { return authorLink_; }
    LinkLabel* donationLink() const { return donationLink_; }

    // "Open <author address without scheme> in your browser".
    static QString authorToolTip();
    // "Support this free tool - opens <donation address>".
    static QString donationToolTip();

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    std::optional<QString> trailingStatus_;
    QHBoxLayout* row_;
    ElidedLabel* status_;
    LinkLabel* authorLink_;
    LinkLabel* donationLink_;
};
