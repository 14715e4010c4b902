// Help > About Ferrolux: the program's name, version, licence and the maker's addresses, in the
// desktop's standard about box.
//
// Threads: main thread only.
#pragma once

#include <QString>

class QWidget;

namespace AboutDialog {

// The box's rich text; the version comes from the build.
QString text();
// Shows the box over `parent` and returns when it is closed.
void show(QWidget* parent);

}  // namespace AboutDialog
