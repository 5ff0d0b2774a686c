#include "dialogs/edit_text_form.h"

namespace tidewire::dialogs {

TEditTextForm::TEditTextForm(Station& station, QWidget* parent) : QDialog(parent), station_(station) {
  setObjectName("TEditTextForm");
}

}  // namespace tidewire::dialogs
