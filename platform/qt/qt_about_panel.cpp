#include "platform/qt/qt_about_panel.h"

#include <QApplication>
#include <QIcon>
#include <QLabel>
#include <QVBoxLayout>

#include "platform/translation.h"

namespace platform::qt {
namespace {

QString text(const Bundle& bundle, const char* key) {
    return QString::fromStdString(bundle.infoString(key).value_or(""));
}

// The bundle's copyright line in the session's language: its closing sentence is the one part
// that is words rather than names and years.
QString copyrightLine(const Bundle& bundle) {
    QString line = text(bundle, "NSHumanReadableCopyright");
    const QString reserved = "All rights reserved.";
    if (!line.endsWith(reserved)) return line;
    line.chop(reserved.size());
    return line + QString::fromStdString(platform::translate("AboutPanel", "All rights reserved."));
}

QLabel* centred(const QString& content, QWidget* parent) {
    auto* label = new QLabel(content, parent);
    label->setAlignment(Qt::AlignHCenter);
    // Names and versions are shown as they are, never as markup.
    label->setTextFormat(Qt::PlainText);
    return label;
}

}  // namespace

QtAboutPanel::QtAboutPanel(const Bundle& bundle, QWidget* parent) : QDialog(parent) {
    const QString name =
        text(bundle, "CFBundleName").isEmpty() ? QString("App") : text(bundle, "CFBundleName");
    setWindowTitle(name);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(36, 24, 36, 24);
    layout->setSpacing(8);

    auto* icon = new QLabel(this);
    icon->setAlignment(Qt::AlignHCenter);
    icon->setPixmap(QApplication::windowIcon().pixmap(96, 96));
    layout->addWidget(icon);

    auto* title = centred(name, this);
    QFont bold = title->font();
    bold.setBold(true);
    bold.setPointSizeF(bold.pointSizeF() * 1.3);
    title->setFont(bold);
    layout->addWidget(title);

    const std::string shortVersion = text(bundle, "CFBundleShortVersionString").toStdString();
    const std::string build = text(bundle, "CFBundleVersion").toStdString();
    // A bundle without a build number shows the version alone, with no empty brackets. The
    // placeholders are filled apart from the lookup, which the extraction tool reads only with
    // two literal arguments.
    using platform::fillPlaceholders;
    const std::string version =
        build.empty()
            ? fillPlaceholders(platform::translate("AboutPanel", "Version %1"), {shortVersion})
            //: %1 is the version a person reads (1.4.2), %2 the build number.
            : fillPlaceholders(platform::translate("AboutPanel", "Version %1 (%2)"),
                               {shortVersion, build});
    layout->addWidget(centred(QString::fromStdString(version), this));

    auto* copyright = centred(copyrightLine(bundle), this);
    QFont small = copyright->font();
    small.setPointSizeF(small.pointSizeF() * 0.85);
    copyright->setFont(small);
    layout->addWidget(copyright);
    layout->setSizeConstraint(QLayout::SetFixedSize);
}

}  // namespace platform::qt
