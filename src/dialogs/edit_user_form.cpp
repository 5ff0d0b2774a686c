#include "dialogs/edit_user_form.h"

namespace tidewire::dialogs {

TEditUserForm1::TEditUserForm1(Station& station, QWidget* parent) : QDialog(parent), station_(station) {
  setObjectName("TEditUserForm1");
}

}  // namespace tidewire::dialogs
