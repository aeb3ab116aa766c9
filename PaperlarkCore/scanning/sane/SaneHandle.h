#pragma once

#include "Result.h"

#include <sane/sane.h>

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

#include <optional>
#include <string_view>

// An open SANE device, closed when the object goes. Options are looked up by name every time,
// because a backend may rebuild its option list after any write. When a write's answer asks for
// the options (or the scan parameters) to be reloaded, the descriptors are read again before the
// next option call: the net backend refuses every option call until they are.
class SaneHandle {
public:
    // The constraint of a numeric option, in the option's own unit.
    struct NumberRange {
        // A word list: exactly these values.
        QList<double> values;
        // A range (when values is empty): min to max in steps of quant (0 = any).
        double min = 0;
        double max = 0;
        double quant = 0;
    };

    static Result<SaneHandle, SANE_Status> open(const QByteArray& deviceName);

    SaneHandle(SaneHandle&& other) noexcept;
    SaneHandle& operator=(SaneHandle&&) = delete;
    SaneHandle(const SaneHandle&) = delete;
    SaneHandle& operator=(const SaneHandle&) = delete;
    ~SaneHandle();

    SANE_Handle get() const { return handle_; }

    // Whether the option exists and is active.
    bool has(std::string_view name) const;
    // Whether the option exists, is active and can be set by software.
    bool settable(std::string_view name) const;
    std::optional<SANE_Unit> unit(std::string_view name) const;

    std::optional<QString> stringValue(std::string_view name) const;
    std::optional<double> numberValue(std::string_view name) const;
    // The strings a string-list option allows.
    QStringList stringChoices(std::string_view name) const;
    std::optional<NumberRange> numberRange(std::string_view name) const;

    bool setString(std::string_view name, const QString& value);
    // Sets a number, moved first to the nearest value the option allows.
    bool setNumber(std::string_view name, double value);
    bool setBool(std::string_view name, bool value);
    // Sets any option from text: "yes"/"no" for switches, a number, or a string.
    bool setFromText(std::string_view name, const QByteArray& text);

    // Ends the frame or scan in progress.
    void cancel();

    // The option list could not be read at some point (the backend refused
    // to give its option count): options may have looked absent that are
    // not, and settings may have been skipped.
    bool optionListFailed() const { return optionListFailed_; }

private:
    struct Option {
        SANE_Int index;
        const SANE_Option_Descriptor* descriptor;
    };

    explicit SaneHandle(SANE_Handle handle) : handle_(handle) {}

    std::optional<SANE_Int> optionCount() const;
    std::optional<Option> find(std::string_view name) const;
    std::optional<Option> findActive(std::string_view name) const;
    std::optional<Option> findSettable(std::string_view name) const;
    bool setWord(const Option& option, SANE_Word word);
    // Sets an option's value and notes whether the backend asked for a reload.
    bool setValue(const Option& option, void* value);

    SANE_Handle handle_;
    // A write's answer asked for the descriptors to be read again.
    mutable bool reloadPending_ = false;
    mutable bool optionListFailed_ = false;
};
