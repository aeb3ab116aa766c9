#include "scanning/sane/SaneHandle.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <utility>
#include <vector>

namespace {

bool isNumeric(const SANE_Option_Descriptor& descriptor) {
    return descriptor.type == SANE_TYPE_INT || descriptor.type == SANE_TYPE_FIXED;
}

double fromWord(const SANE_Option_Descriptor& descriptor, SANE_Word word) {
    return descriptor.type == SANE_TYPE_FIXED ? SANE_UNFIX(word) : static_cast<double>(word);
}

SANE_Word toWord(const SANE_Option_Descriptor& descriptor, double value) {
    return descriptor.type == SANE_TYPE_FIXED ? SANE_FIX(value)
                                              : static_cast<SANE_Word>(std::lround(value));
}

// The value nearest to wanted that the constraint allows.
double snap(const SaneHandle::NumberRange& range, double wanted) {
    if (!range.values.isEmpty()) {
        double best = range.values.first();
        for (const double value : range.values) {
            if (std::abs(value - wanted) < std::abs(best - wanted)) {
                best = value;
            }
        }
        return best;
    }
    double value = std::clamp(wanted, range.min, std::max(range.min, range.max));
    if (range.quant > 0) {
        value = range.min + std::round((value - range.min) / range.quant) * range.quant;
        while (value > range.max && value - range.quant >= range.min) {
            value -= range.quant;
        }
    }
    return value;
}

} // namespace

Result<SaneHandle, SANE_Status> SaneHandle::open(const QByteArray& deviceName) {
    SANE_Handle handle = nullptr;
    const SANE_Status status = sane_open(deviceName.constData(), &handle);
    if (status != SANE_STATUS_GOOD) {
        return status;
    }
    if (!handle) {
        return SANE_STATUS_INVAL;
    }
    return SaneHandle(handle);
}

SaneHandle::SaneHandle(SaneHandle&& other) noexcept
    : handle_(std::exchange(other.handle_, nullptr)), reloadPending_(other.reloadPending_),
      optionListFailed_(other.optionListFailed_) {}

SaneHandle::~SaneHandle() {
    if (handle_) {
        sane_cancel(handle_);
        sane_close(handle_);
    }
}

std::optional<SANE_Int> SaneHandle::optionCount() const {
    if (reloadPending_) {
        // Reading a descriptor is what makes a backend fetch its descriptors
        // again; every descriptor is then read afresh by the lookup.
        if (!sane_get_option_descriptor(handle_, 0)) {
            optionListFailed_ = true;
            return std::nullopt;
        }
        reloadPending_ = false;
    }
    SANE_Int count = 0;
    if (sane_control_option(handle_, 0, SANE_ACTION_GET_VALUE, &count, nullptr) !=
        SANE_STATUS_GOOD) {
        optionListFailed_ = true;
        return std::nullopt;
    }
    return count;
}

std::optional<SaneHandle::Option> SaneHandle::find(std::string_view name) const {
    const std::optional<SANE_Int> count = optionCount();
    if (!count) {
        return std::nullopt;
    }
    for (SANE_Int index = 1; index < *count; ++index) {
        const SANE_Option_Descriptor* descriptor = sane_get_option_descriptor(handle_, index);
        if (descriptor && descriptor->name && name == descriptor->name) {
            return Option{index, descriptor};
        }
    }
    return std::nullopt;
}

std::optional<SaneHandle::Option> SaneHandle::findActive(std::string_view name) const {
    auto option = find(name);
    if (!option || !SANE_OPTION_IS_ACTIVE(option->descriptor->cap) ||
        option->descriptor->type == SANE_TYPE_GROUP ||
        option->descriptor->type == SANE_TYPE_BUTTON) {
        return std::nullopt;
    }
    return option;
}

std::optional<SaneHandle::Option> SaneHandle::findSettable(std::string_view name) const {
    auto option = findActive(name);
    if (!option || !SANE_OPTION_IS_SETTABLE(option->descriptor->cap)) {
        return std::nullopt;
    }
    return option;
}

bool SaneHandle::has(std::string_view name) const {
    return findActive(name).has_value();
}

bool SaneHandle::settable(std::string_view name) const {
    return findSettable(name).has_value();
}

std::optional<SANE_Unit> SaneHandle::unit(std::string_view name) const {
    const auto option = findActive(name);
    if (!option) {
        return std::nullopt;
    }
    return option->descriptor->unit;
}

std::optional<QString> SaneHandle::stringValue(std::string_view name) const {
    const auto option = findActive(name);
    if (!option || option->descriptor->type != SANE_TYPE_STRING || option->descriptor->size <= 0) {
        return std::nullopt;
    }
    std::vector<char> buffer(static_cast<size_t>(option->descriptor->size) + 1, '\0');
    if (sane_control_option(handle_, option->index, SANE_ACTION_GET_VALUE, buffer.data(),
                            nullptr) != SANE_STATUS_GOOD) {
        return std::nullopt;
    }
    return QString::fromUtf8(buffer.data());
}

std::optional<double> SaneHandle::numberValue(std::string_view name) const {
    const auto option = findActive(name);
    if (!option || !isNumeric(*option->descriptor) ||
        option->descriptor->size < static_cast<SANE_Int>(sizeof(SANE_Word))) {
        return std::nullopt;
    }
    // An array option fills as many words as its size says.
    std::vector<SANE_Word> words(static_cast<size_t>(option->descriptor->size) / sizeof(SANE_Word));
    if (sane_control_option(handle_, option->index, SANE_ACTION_GET_VALUE, words.data(), nullptr) !=
        SANE_STATUS_GOOD) {
        return std::nullopt;
    }
    return fromWord(*option->descriptor, words.front());
}

QStringList SaneHandle::stringChoices(std::string_view name) const {
    QStringList choices;
    const auto option = findActive(name);
    if (!option || option->descriptor->type != SANE_TYPE_STRING ||
        option->descriptor->constraint_type != SANE_CONSTRAINT_STRING_LIST) {
        return choices;
    }
    for (const SANE_String_Const* entry = option->descriptor->constraint.string_list;
         entry && *entry; ++entry) {
        choices.append(QString::fromUtf8(*entry));
    }
    return choices;
}

std::optional<SaneHandle::NumberRange> SaneHandle::numberRange(std::string_view name) const {
    const auto option = findActive(name);
    if (!option || !isNumeric(*option->descriptor)) {
        return std::nullopt;
    }
    const SANE_Option_Descriptor& descriptor = *option->descriptor;
    NumberRange range;
    if (descriptor.constraint_type == SANE_CONSTRAINT_WORD_LIST &&
        descriptor.constraint.word_list) {
        const SANE_Word* list = descriptor.constraint.word_list;
        for (SANE_Word i = 1; i <= list[0]; ++i) {
            range.values.append(fromWord(descriptor, list[i]));
        }
        if (range.values.isEmpty()) {
            return std::nullopt;
        }
        std::sort(range.values.begin(), range.values.end());
        return range;
    }
    if (descriptor.constraint_type == SANE_CONSTRAINT_RANGE && descriptor.constraint.range) {
        range.min = fromWord(descriptor, descriptor.constraint.range->min);
        range.max = fromWord(descriptor, descriptor.constraint.range->max);
        range.quant = fromWord(descriptor, descriptor.constraint.range->quant);
        return range;
    }
    return std::nullopt;
}

bool SaneHandle::setString(std::string_view name, const QString& value) {
    const auto option = findSettable(name);
    if (!option || option->descriptor->type != SANE_TYPE_STRING || option->descriptor->size <= 0) {
        return false;
    }
    const QByteArray utf8 = value.toUtf8();
    std::vector<char> buffer(static_cast<size_t>(option->descriptor->size), '\0');
    std::memcpy(buffer.data(), utf8.constData(),
                std::min(buffer.size() - 1, static_cast<size_t>(utf8.size())));
    return setValue(*option, buffer.data());
}

bool SaneHandle::setNumber(std::string_view name, double value) {
    const auto option = findSettable(name);
    if (!option || !isNumeric(*option->descriptor)) {
        return false;
    }
    if (const auto range = numberRange(name)) {
        value = snap(*range, value);
    }
    return setWord(*option, toWord(*option->descriptor, value));
}

bool SaneHandle::setBool(std::string_view name, bool value) {
    const auto option = findSettable(name);
    if (!option || option->descriptor->type != SANE_TYPE_BOOL) {
        return false;
    }
    return setWord(*option, value ? SANE_TRUE : SANE_FALSE);
}

bool SaneHandle::setFromText(std::string_view name, const QByteArray& text) {
    const auto option = findSettable(name);
    if (!option) {
        return false;
    }
    switch (option->descriptor->type) {
    case SANE_TYPE_BOOL: {
        const QByteArray word = text.trimmed().toLower();
        return setBool(name, word == "yes" || word == "true" || word == "1");
    }
    case SANE_TYPE_INT:
    case SANE_TYPE_FIXED: {
        bool ok = false;
        const double number = text.trimmed().toDouble(&ok);
        return ok && setNumber(name, number);
    }
    case SANE_TYPE_STRING:
        return setString(name, QString::fromUtf8(text));
    case SANE_TYPE_BUTTON:
    case SANE_TYPE_GROUP:
        break;
    }
    return false;
}

bool SaneHandle::setWord(const Option& option, SANE_Word word) {
    // Array options take the same value in every element.
    const size_t count =
        std::max<size_t>(1, static_cast<size_t>(option.descriptor->size) / sizeof(SANE_Word));
    std::vector<SANE_Word> words(count, word);
    return setValue(option, words.data());
}

bool SaneHandle::setValue(const Option& option, void* value) {
    SANE_Int info = 0;
    const SANE_Status status =
        sane_control_option(handle_, option.index, SANE_ACTION_SET_VALUE, value, &info);
    if (status == SANE_STATUS_GOOD &&
        (info & (SANE_INFO_RELOAD_OPTIONS | SANE_INFO_RELOAD_PARAMS)) != 0) {
        reloadPending_ = true;
    }
    return status == SANE_STATUS_GOOD;
}

void SaneHandle::cancel() {
    sane_cancel(handle_);
}
