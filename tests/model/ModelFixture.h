#pragma once

#include "FakeDesktopServices.h"
#include "TestHome.h"

#include "model/ScannerViewModel.h"
#include "scanning/fake/FakeScannerBrowser.h"

#include <QTest>

#include <memory>
#include <optional>

// What the model tests share: a fresh HOME per case, a scripted desktop and a
// model over a scripted scanner browser, and pages imported from small PNGs.
class ModelFixture {
protected:
    std::optional<TestHome> home_;
    std::shared_ptr<FakeDesktopServices> desktop_;
    std::unique_ptr<ScannerViewModel> model_;

    std::unique_ptr<ScannerViewModel> makeModel() const {
        return std::make_unique<ScannerViewModel>(desktop_, std::make_unique<FakeScannerBrowser>());
    }

    // A new HOME and desktop, and (with `withModel`) a model living in them.
    [[nodiscard]] bool startCase(bool withModel = true) {
        home_.emplace();
        desktop_ = std::make_shared<FakeDesktopServices>();
        if (withModel) {
            model_ = makeModel();
        }
        return home_->isValid();
    }
    // The model goes first: it lives in the HOME it was made in.
    void endCase() {
        model_.reset();
        home_.reset();
    }

    // Imports `count` readable images (30 + i pixels wide, so they can be
    // told apart) with "Add image file..." and waits for them; true when
    // they all became pages.
    [[nodiscard]] bool importImages(int count) {
        const qsizetype before = model_->pages().size();
        desktop_->imageFilesAnswer = writePngs(*home_, before, count);
        model_->importFiles();
        return QTest::qWaitFor([this] { return !model_->importing(); }, 60000) &&
               model_->pages().size() == before + count;
    }
};
