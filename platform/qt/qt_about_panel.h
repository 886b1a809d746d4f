#pragma once

#include <QDialog>

#include "platform/bundle.h"

namespace platform::qt {

// The standard About panel: the application's icon, its name, "Version <short> (<build>)" and
// the copyright line, all from the bundle's information entries.
class QtAboutPanel : public QDialog {
public:
    explicit QtAboutPanel(const Bundle& bundle, QWidget* parent = nullptr);
};

}  // namespace platform::qt
