#pragma once

#include "FakeDesktopServices.h"
#include "PageIds.h"

#include "model/EmailController.h"
#include "model/SaveController.h"
#include "model/SettingsController.h"
#include "model/TextRecognitionQueue.h"

#include <QObject>
#include <QStringList>

#include <memory>
#include <optional>

// The parts that save and send a document, wired as the model wires them,
// in a fresh HOME (settings, cache and documents all land there); what they
// report is collected.
struct SavingParts {
    TestHome home;
    std::shared_ptr<FakeDesktopServices> desktop = std::make_shared<FakeDesktopServices>();
    SettingsController settings;
    PageDocument document;
    TextRecognitionQueue recognition{document.list()};
    // The scanner the save stores as lastDeviceId.
    QString scanner;
    SaveController saving{settings, document, recognition, [this] { return scanner; }, *desktop};
    EmailController email{settings, document, saving};
    QStringList statuses;
    std::optional<QString> error;
    qsizetype made = 0;

    SavingParts() {
        const auto configure = [this] {
            recognition.configure(settings.settings().ocrEnabled, settings.settings().ocrLanguage);
        };
        QObject::connect(&settings, &SettingsController::changed, configure);
        listen(document);
        listen(saving);
        listen(email);
    }

    template <typename Part> void listen(Part& part) {
        QObject::connect(&part, &Part::statusReported,
                         [this](const QString& text) { statuses << text; });
        QObject::connect(&part, &Part::failed, [this](const QString& text) { error = text; });
    }

    QString status() const { return statuses.value(statuses.size() - 1); }
    // Adds `count` pages (30 + i pixels wide), as an import does.
    [[nodiscard]] bool add(int count) {
        const auto pages = makePages(home, made, count);
        made += count;
        return pages.size() == count && document.add(pages, true);
    }
    QString out(const QString& name = {}) const {
        return home.filePath(name.isEmpty() ? QStringLiteral("out") : "out/" + name);
    }
};
