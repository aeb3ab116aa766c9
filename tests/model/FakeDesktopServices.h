#pragma once

#include "model/DesktopServices.h"

#include <QList>
#include <QStringList>
#include <QUrl>

#include <optional>

// Desktop services for tests: scripted answers, and a record of every call.
class FakeDesktopServices : public DesktopServices {
public:
    QList<QUrl> imageFilesAnswer;     // empty: the chooser is cancelled
    std::optional<QUrl> folderAnswer; // none: the chooser is cancelled
    bool discardAnswer = true;        // false: "Cancel"
    QList<bool> restoreAnswers;       // in turn; true: "Restore" (none left: "Discard")
    bool quitAnswer = true;           // false: "Cancel"

    int imageChooserCalls = 0;
    QList<QUrl> folderChooserStarts;
    int discardQuestions = 0;
    QStringList restoreQuestions;
    QList<int> quitQuestions;
    QList<QUrl> openedUrls;

    QList<QUrl> chooseImageFiles() override {
        ++imageChooserCalls;
        return imageFilesAnswer;
    }
    std::optional<QUrl> chooseFolder(const QUrl& startFolder) override {
        folderChooserStarts << startFolder;
        return folderAnswer;
    }
    bool confirmDiscardAllPages() override {
        ++discardQuestions;
        return discardAnswer;
    }
    bool confirmRestorePages(const QString& question) override {
        restoreQuestions << question;
        return !restoreAnswers.isEmpty() && restoreAnswers.takeFirst();
    }
    bool confirmQuitDiscarding(int unsavedPages) override {
        quitQuestions << unsavedPages;
        return quitAnswer;
    }
    void openUrl(const QUrl& url) override { openedUrls << url; }
};
