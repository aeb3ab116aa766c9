#pragma once

#include "ui/about/AboutPanel.h"

#include <QDialog>

class QLabel;
class QTextBrowser;

// The About window's content, laid out like a standard About panel: icon,
// product name, version line, the credits text with clickable links, and the
// copyright notice. Opened through AboutPanel::show().
class AboutWindow : public QDialog {
    Q_OBJECT

public:
    explicit AboutWindow(QWidget* parent = nullptr);

    void setContent(const QString& name, const QString& versionLine,
                    const QList<AboutPanel::CreditRun>& credits);

    QLabel* nameLabel() const { return name_; }
    QLabel* versionLabel() const { return version_; }
    QTextBrowser* creditsView() const { return credits_; }

private:
    void fitCredits();

    QLabel* icon_;
    QLabel* name_;
    QLabel* version_;
    QTextBrowser* credits_;
    QLabel* notice_;
};
