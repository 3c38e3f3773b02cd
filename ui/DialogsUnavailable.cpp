#include "ui/Dialogs.h"

namespace vml::ui {

std::int32_t ShowDialog(DialogKind, ICommand*) { return -1; }

}  // namespace vml::ui
