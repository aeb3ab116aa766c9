#include "ui/toolkit/QtDesktopServices.h"

#include <QDesktopServices>
#include <QFileDialog>
#include <QMessageBox>
#include <QPushButton>
#include <QStringList>

namespace {

// Only local files: the model reads and writes through file paths.
const QStringList localSchemes{QStringLiteral("file")};

// Both spellings of each extension, so that "SCAN.JPG" from a camera or an
// old Windows share is offered as well.
QString imageFilter() {
    const QStringList extensions{QStringLiteral("jpg"), QStringLiteral("jpeg"),
                                 QStringLiteral("jpe"), QStringLiteral("png"),
                                 QStringLiteral("tif"), QStringLiteral("tiff"),
                                 QStringLiteral("bmp"), QStringLiteral("pdf")};
    QStringList patterns;
    for (const QString& extension : extensions) {
        patterns << QStringLiteral("*.") + extension << QStringLiteral("*.") + extension.toUpper();
    }
    return QStringLiteral("Images and PDFs (%1)").arg(patterns.join(u' '));
}

} // namespace

QtDesktopServices::QtDesktopServices(QWidget* parent) : parent_(parent) {}

void QtDesktopServices::setParentWidget(QWidget* parent) {
    parent_ = parent;
}

QList<QUrl> QtDesktopServices::chooseImageFiles() {
    QList<QUrl> chosen =
        QFileDialog::getOpenFileUrls(parent_, QStringLiteral("Add image files"), QUrl(),
                                     imageFilter(), nullptr, QFileDialog::Options(), localSchemes);
    chosen.removeIf([](const QUrl& url) { return !url.isLocalFile(); });
    return chosen;
}

std::optional<QUrl> QtDesktopServices::chooseFolder(const QUrl& startFolder) {
    const QUrl chosen = QFileDialog::getExistingDirectoryUrl(
        parent_, QStringLiteral("Choose the default folder for scans"), startFolder,
        QFileDialog::ShowDirsOnly, localSchemes);
    if (chosen.isEmpty() || !chosen.isLocalFile()) {
        return std::nullopt;
    }
    return chosen;
}

bool QtDesktopServices::confirmDiscardAllPages() {
    return ask(QStringLiteral("Discard all scanned pages?"), QStringLiteral("Discard"),
               QStringLiteral("Cancel"), true);
}

bool QtDesktopServices::confirmRestorePages(const QString& question) {
    return ask(question, QStringLiteral("Restore"), QStringLiteral("Discard"), true);
}

bool QtDesktopServices::confirmQuitDiscarding(int unsavedPages) {
    return ask(QStringLiteral("Discard %1 unsaved page(s) and quit?").arg(unsavedPages),
               QStringLiteral("Discard and Quit"), QStringLiteral("Cancel"), false);
}

bool QtDesktopServices::ask(const QString& text, const QString& yes, const QString& no,
                            bool yesIsDefault) {
    QMessageBox box(parent_);
    box.setIcon(QMessageBox::Warning);
    box.setWindowTitle(QStringLiteral("Paperlark"));
    box.setText(text);
    QPushButton* accept = box.addButton(yes, QMessageBox::AcceptRole);
    QPushButton* reject = box.addButton(no, QMessageBox::RejectRole);
    box.setDefaultButton(yesIsDefault ? accept : reject);
    box.setEscapeButton(reject);
    box.exec();
    return box.clickedButton() == accept;
}

void QtDesktopServices::openUrl(const QUrl& url) {
    QDesktopServices::openUrl(url);
}
