#pragma once

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "platform/translation.h"

class QTranslator;

namespace platform::qt {

// The catalog of the first of `languages` that has one in `folder` ("orvane_<language>.qm"),
// installed into the application, where the Designer file's texts are looked up too, with Qt's
// own catalog for that language where the system has it. English,
// or a language without a catalog before any with one, installs nothing: the texts stay English.
class QtTranslations : public Translator {
public:
    QtTranslations(const std::filesystem::path& folder, const std::vector<std::string>& languages);
    ~QtTranslations() override;
    QtTranslations(const QtTranslations&) = delete;
    QtTranslations& operator=(const QtTranslations&) = delete;

    std::string translate(const char* context, const char* source) const override;
    // The language whose catalog is installed; empty for English.
    const std::string& language() const { return language_; }

private:
    std::unique_ptr<QTranslator> translator_;
    std::unique_ptr<QTranslator> qtTranslator_;
    std::string language_;
};

}  // namespace platform::qt
