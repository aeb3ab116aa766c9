#include "settings/ColourMode.h"
#include "settings/EmailMethod.h"
#include "settings/OutputFormat.h"
#include "settings/PaperSize.h"
#include "settings/Resolutions.h"
#include "settings/ScanSource.h"

#include <QTest>

namespace {

template <typename E> QStringList rawValues() {
    QStringList list;
    for (const E value : allCases<E>()) {
        list << rawValue(value);
    }
    return list;
}

template <typename E> QStringList displayNames() {
    QStringList list;
    for (const E value : allCases<E>()) {
        list << displayName(value);
    }
    return list;
}

// Every raw value maps back to its own case, and nothing else matches.
template <typename E> void checkRawValueRoundTrip() {
    for (const E value : allCases<E>()) {
        QCOMPARE(fromRawValue<E>(rawValue(value)), std::optional<E>(value));
        QCOMPARE(fromRawValue<E>(rawValue(value).toUpper()),
                 rawValue(value) == rawValue(value).toUpper() ? std::optional<E>(value)
                                                              : std::nullopt);
        QCOMPARE(fromRawValue<E>(rawValue(value) + u' '), std::nullopt);
    }
    QCOMPARE(fromRawValue<E>(QString()), std::nullopt);
}

} // namespace

class TestOptions : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void casesInPickerOrder() {
        QCOMPARE(rawValues<OutputFormat>(), (QStringList{"pdf", "jpg", "png"}));
        QCOMPARE(displayNames<OutputFormat>(), (QStringList{"PDF", "JPG", "PNG"}));
        QCOMPARE(rawValues<ColourMode>(), (QStringList{"colour", "greyscale", "blackAndWhite"}));
        QCOMPARE(displayNames<ColourMode>(), (QStringList{"Colour", "Greyscale", "Black & white"}));
        QCOMPARE(rawValues<PaperSize>(), (QStringList{"a4", "letter", "legal", "a5"}));
        QCOMPARE(displayNames<PaperSize>(), (QStringList{"A4", "Letter", "Legal", "A5"}));
        QCOMPARE(rawValues<ScanSource>(), (QStringList{"flatbed", "feeder", "feederDuplex"}));
        QCOMPARE(displayNames<ScanSource>(),
                 (QStringList{"Flatbed (glass)", "Feeder (ADF)", "Feeder - double sided"}));
        QCOMPARE(rawValues<EmailMethod>(), (QStringList{"mailClient", "smtp"}));
        QCOMPARE(displayNames<EmailMethod>(),
                 (QStringList{"Desktop mail client (default)", "SMTP server (send directly)"}));
    }

    void rawValuesAreExactAndCaseSensitive() {
        checkRawValueRoundTrip<OutputFormat>();
        checkRawValueRoundTrip<ColourMode>();
        checkRawValueRoundTrip<PaperSize>();
        checkRawValueRoundTrip<ScanSource>();
        checkRawValueRoundTrip<EmailMethod>();
        QCOMPARE(fromRawValue<OutputFormat>(QStringLiteral("tiff")), std::nullopt);
        QCOMPARE(fromRawValue<ColourMode>(QStringLiteral("blackandwhite")), std::nullopt);
    }

    void resolutionLabels() {
        QCOMPARE(resolutionLabel(100), QStringLiteral("100 dpi (draft)"));
        QCOMPARE(resolutionLabel(150), QStringLiteral("150 dpi (screen)"));
        QCOMPARE(resolutionLabel(200), QStringLiteral("200 dpi"));
        QCOMPARE(resolutionLabel(300), QStringLiteral("300 dpi (documents)"));
        QCOMPARE(resolutionLabel(600), QStringLiteral("600 dpi (photos)"));
        QCOMPARE(resolutionLabel(-75), QStringLiteral("-75 dpi"));
        QCOMPARE(resolutionLabel(9007199254740993), QStringLiteral("9007199254740993 dpi"));
    }
};

QTEST_GUILESS_MAIN(TestOptions)
#include "tst_Options.moc"
