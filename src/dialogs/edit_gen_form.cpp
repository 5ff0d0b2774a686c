#include "dialogs/edit_gen_form.h"

namespace tidewire::dialogs {

TEditGenForm1::TEditGenForm1(Station& station, QWidget* parent) : QDialog(parent), station_(station) {
  setObjectName("TEditGenForm1");
}

}  // namespace tidewire::dialogs
