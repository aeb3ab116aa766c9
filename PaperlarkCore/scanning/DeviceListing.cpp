#include "scanning/DeviceListing.h"

#include <unicode/coll.h>
#include <unicode/locid.h>
#include <unicode/unistr.h>

#include <algorithm>
#include <memory>

namespace {

icu::Locale collationLocale(const QLocale& locale) {
    if (locale.language() == QLocale::C) {
        return icu::Locale::getRoot();
    }
    UErrorCode status = U_ZERO_ERROR;
    icu::Locale result = icu::Locale::forLanguageTag(locale.bcp47Name().toStdString(), status);
    return U_SUCCESS(status) ? result : icu::Locale::getRoot();
}

// Case-insensitive, accent-sensitive comparison: negative, zero or positive.
class NameOrder {
public:
    explicit NameOrder(const QLocale& locale) {
        UErrorCode status = U_ZERO_ERROR;
        collator_.reset(icu::Collator::createInstance(collationLocale(locale), status));
        if (U_FAILURE(status)) {
            collator_.reset();
        } else {
            collator_->setStrength(icu::Collator::SECONDARY);
        }
    }

    int compare(const QString& a, const QString& b) const {
        if (!collator_) {
            return QString::compare(a, b, Qt::CaseInsensitive);
        }
        UErrorCode status = U_ZERO_ERROR;
        const UCollationResult result = collator_->compare(
            reinterpret_cast<const char16_t*>(a.utf16()), int32_t(a.size()),
            reinterpret_cast<const char16_t*>(b.utf16()), int32_t(b.size()), status);
        if (U_FAILURE(status)) {
            return QString::compare(a, b, Qt::CaseInsensitive);
        }
        return int(result);
    }

private:
    std::unique_ptr<icu::Collator> collator_;
};

} // namespace

QList<ScannerDeviceInfo> DeviceListing::forDisplay(QList<ScannerDeviceInfo> devices,
                                                   const QLocale& locale) {
    const NameOrder order(locale);
    std::stable_sort(devices.begin(), devices.end(),
                     [&](const ScannerDeviceInfo& a, const ScannerDeviceInfo& b) {
                         const int byName = order.compare(a.name, b.name);
                         return byName != 0 ? byName < 0 : a.id < b.id;
                     });
    // Equal names are neighbours now: give each member of such a run its
    // identifier.
    for (qsizetype first = 0; first < devices.size();) {
        qsizetype end = first + 1;
        while (end < devices.size() && order.compare(devices[first].name, devices[end].name) == 0) {
            ++end;
        }
        if (end - first > 1) {
            for (qsizetype i = first; i < end; ++i) {
                devices[i].name += QStringLiteral(" (") + devices[i].id + u')';
            }
        }
        first = end;
    }
    return devices;
}
