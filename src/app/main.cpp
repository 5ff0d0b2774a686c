#include <QApplication>

#include "app/application.h"

int main(int argc, char** argv) {
  QApplication application(argc, argv);
  return tidewire::app::RunApplication(application);
}
