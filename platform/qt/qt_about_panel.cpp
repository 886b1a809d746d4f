#include "platform/qt/qt_about_panel.h"

#include <QApplication>
#include <QIcon>
#include <QLabel>
#include <QVBoxLayout>

namespace platform::qt {
namespace {

QString text(const Bundle& bundle, const char* key) {
    return QString::fromStdString(bundle.infoString(key).value_or(""));
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

    QString version = "Version " + text(bundle, "CFBundleShortVersionString");
    if (const QString build = text(bundle, "CFBundleVersion"); !build.isEmpty())
        version += " (" + build + ")";
    layout->addWidget(centred(version, this));

    auto* copyright = centred(text(bundle, "NSHumanReadableCopyright"), this);
    QFont small = copyright->font();
    small.setPointSizeF(small.pointSizeF() * 0.85);
    copyright->setFont(small);
    layout->addWidget(copyright);
    layout->setSizeConstraint(QLayout::SetFixedSize);
}

}  // namespace platform::qt
