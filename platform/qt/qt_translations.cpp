#include "platform/qt/qt_translations.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QTranslator>

namespace platform::qt {

QtTranslations::QtTranslations(const std::filesystem::path& folder,
                               const std::vector<std::string>& languages) {
    for (const auto& language : languages) {
        // The source texts are English: asking for it, before any other, means no catalog.
        if (language == "en" || language.starts_with("en_")) return;
        auto translator = std::make_unique<QTranslator>();
        const auto file = folder / ("orvane_" + language + ".qm");
        // Checked first: given a name it cannot open, load() tries shorter ones by itself.
        std::error_code error;
        if (std::filesystem::is_regular_file(file, error) &&
            translator->load(QString::fromStdString(file.string()))) {
            QCoreApplication::installTranslator(translator.get());
            translator_ = std::move(translator);
            language_ = language;
            // Qt's own, where installed, for what Qt draws itself: the folder chooser, say.
            auto qt = std::make_unique<QTranslator>();
            if (qt->load("qtbase_" + QString::fromStdString(language),
                         QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
                QCoreApplication::installTranslator(qt.get());
                qtTranslator_ = std::move(qt);
            }
            return;
        }
    }
}

QtTranslations::~QtTranslations() {
    if (qtTranslator_) QCoreApplication::removeTranslator(qtTranslator_.get());
    if (translator_) QCoreApplication::removeTranslator(translator_.get());
}

std::string QtTranslations::translate(const char* context, const char* source) const {
    return QCoreApplication::translate(context, source).toStdString();
}

}  // namespace platform::qt
