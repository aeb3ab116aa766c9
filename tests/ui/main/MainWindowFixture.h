#pragma once

// A main window with the content view over a fresh model in a throw-away
// HOME, whose desktop answers and scanners are scripted; documents are saved
// to ~/out.

#include "../../model/FakeDesktopServices.h"
#include "../../model/TestHome.h"

#include "model/ScannerViewModel.h"
#include "scanning/fake/FakeScannerBrowser.h"
#include "scanning/fake/FakeScannerDevice.h"
#include "ui/controls/FlatButton.h"
#include "ui/main/ContentView.h"
#include "ui/main/MainWindow.h"
#include "ui/main/OptionsCard.h"
#include "ui/main/PageListPanel.h"

#include <QApplication>
#include <QDir>
#include <QImage>
#include <QTest>

#include <memory>

struct MainWindowFixture {
    TestHome home;
    std::shared_ptr<FakeDesktopServices> desktop = std::make_shared<FakeDesktopServices>();
    FakeScannerBrowser* browser = nullptr; // owned by the model's scanner service
    std::unique_ptr<ScannerViewModel> model;
    std::unique_ptr<MainWindow> window;
    ContentView* view = nullptr;

    MainWindowFixture() {
        auto scanners = std::make_unique<FakeScannerBrowser>();
        browser = scanners.get();
        model = std::make_unique<ScannerViewModel>(desktop, std::move(scanners));
        window = std::make_unique<MainWindow>(*model);
        view = new ContentView(*model);
        window->setContentView(view);
        model->editSettings([this](AppSettings& settings) {
            settings.saveFolder = home.filePath(QStringLiteral("out"));
            settings.openAfterSave = false;
            settings.clearPagesAfterSave = false;
        });
    }
    MainWindowFixture(const MainWindowFixture&) = delete;
    MainWindowFixture& operator=(const MainWindowFixture&) = delete;
    ~MainWindowFixture() {
        window.reset();
        model->cleanUp();
    }

    bool showActive() {
        window->show();
        QApplication::setActiveWindow(window.get());
        return QTest::qWaitForWindowActive(window.get());
    }

    // Plugs a scanner in and waits until the model lists it.
    std::shared_ptr<FakeScannerDevice> plugIn(const QString& id, const QString& name) {
        auto device = FakeScannerDevice::scanner(id, name);
        const qsizetype before = model->devices().size();
        browser->plugIn(device);
        if (!QTest::qWaitFor([&] { return model->devices().size() == before + 1; })) {
            return nullptr;
        }
        return device;
    }

    // Adds pages through "Add image file...", as the user would.
    void addPages(const QList<QImage>& images) {
        desktop->imageFilesAnswer.clear();
        for (const QImage& image : images) {
            const QString path = home.filePath(
                QStringLiteral("in/%1.png").arg(QUuid::createUuid().toString(QUuid::Id128)));
            image.save(path);
            desktop->imageFilesAnswer << QUrl::fromLocalFile(path);
        }
        view->optionsCard()->addImageButton()->click();
        (void)QTest::qWaitFor([this] { return !model->importing(); }, 60000);
    }

    QStringList rowTitles() const {
        QStringList titles;
        const QAbstractItemModel* rows = view->pageList()->list()->model();
        for (int row = 0; row < rows->rowCount(); ++row) {
            titles << rows->index(row, 0).data().toString();
        }
        return titles;
    }

    QStringList savedFiles() const {
        return QDir(home.filePath(QStringLiteral("out"))).entryList(QDir::Files);
    }
};
