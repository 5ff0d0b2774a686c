#pragma once

#include <gtest/gtest.h>

#include <QPushButton>
#include <QTest>
#include <QWidget>
#include <string>
#include <vector>

#include "base/station.h"
#include "support/scripted_operator.h"
#include "support/temp_dir.h"

namespace tidewire::dialogs::testing {

using tidewire::testing::ReadBytes;
using tidewire::testing::ScriptedOperator;
using tidewire::testing::TempDir;
using tidewire::testing::WriteBytes;

// Lines joined with CR LF after each.
inline std::string CrLf(const std::vector<std::string>& lines) {
  std::string bytes;
  for (const std::string& line : lines) bytes += line + "\r\n";
  return bytes;
}

// A station in a fresh directory whose boxes the script answers.
class DialogTest : public ::testing::Test {
 protected:
  // The control of that name; fails the test when there is none.
  template <typename Control>
  Control* Find(const QWidget& window, const char* name) {
    auto* control = window.findChild<Control*>(name);
    EXPECT_NE(control, nullptr) << "no control " << name;
    return control;
  }
  void Click(const QWidget& window, const char* name) {
    if (auto* button = Find<QPushButton>(window, name)) QTest::mouseClick(button, Qt::LeftButton);
  }
  void Write(const char* name, const std::vector<std::string>& lines) {
    WriteBytes(dir / name, CrLf(lines));
  }
  [[nodiscard]] std::string Read(const char* name) const { return ReadBytes(dir / name); }

  TempDir dir;
  ScriptedOperator op;
  Station station{op, dir.path()};
};

}  // namespace tidewire::dialogs::testing
