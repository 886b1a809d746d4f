#pragma once

#include <functional>
#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

// Marks a text kept in a table for translation where it is used; the extraction tool knows the
// name, and what it marks is the English text itself. Spelled as Qt's own, so that either
// header may come first.
#ifndef QT_TRANSLATE_NOOP
#define QT_TRANSLATE_NOOP(scope, x) x
#endif

namespace platform {

// The texts a person reads, in the session's language. A text is looked up by its context (the
// window or kind of message it belongs to) and its English source; where no translation exists
// the English text is the answer. Log lines are never translated.
class Translator {
public:
    Translator() = default;
    Translator(const Translator&) = delete;
    Translator& operator=(const Translator&) = delete;
    virtual ~Translator() = default;
    virtual std::string translate(const char* context, const char* source) const = 0;
};

// What a person reads for `source` in `context`: through the installed translator, English
// without one. The extraction tool finds every call by this name and two arguments, so both are
// literals (a text kept in a table is marked with QT_TRANSLATE_NOOP where it is written).
std::string translate(const char* context, const char* source);
// `text` with "%1" to "%9" replaced by `values` in one pass: a value is never read for
// placeholders, since it may be a path or a server's message. Translations may reorder them:
//   fillPlaceholders(translate("Alert", "Could not open %1"), {path})
std::string fillPlaceholders(std::string_view text, std::initializer_list<std::string_view> values);

// A sentence of an alert that is also logged: `source` is marked with
// QT_TRANSLATE_NOOP("Alert", ...) where it is written, and its %1 and %2 are `first` and
// `second`. The log gets it in English, the alert in the session's language.
struct AlertText {
    const char* source;
    std::string first = {};
    std::string second = {};
    std::string english() const { return fillPlaceholders(source, {first, second}); }
    std::string shown() const {
        return fillPlaceholders(translate("Alert", source), {first, second});
    }
};

// The languages the session asks for, best first, as gettext reads the environment: LANGUAGE's
// list, unless the locale (LC_ALL, else LC_MESSAGES, else LANG) is C or POSIX or unset, then the
// locale itself. Each entry as given ("de_DE") and then its language alone ("de"); an encoding
// or modifier is left out. Empty means English.
// `environment` answers as std::getenv does.
std::vector<std::string> sessionLanguages(
    const std::function<const char*(const char*)>& environment);

}  // namespace platform
