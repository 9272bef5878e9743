// One QApplication for all the tests of a test program, made before the
// first test and gone before the program returns.
#pragma once

#include <gtest/gtest.h>

#include <QApplication>
#include <QString>
#include <memory>

#include "../logic/form1_logic.h"

namespace kestro::testing_qt {

class QtEnvironment : public ::testing::Environment {
  public:
    void SetUp() override {
        app_ = std::make_unique<QApplication>(argc_, argv_);
        QApplication::setApplicationName(QString::fromLatin1(kAppTitle));
    }
    void TearDown() override { app_.reset(); }

  private:
    int argc_ = 1;
    char name_[16] = "kestro_qt_tests";
    char* argv_[2] = {name_, nullptr};
    std::unique_ptr<QApplication> app_;
};

// Registers the environment once per test program that includes this.
[[maybe_unused]] inline ::testing::Environment* const kQtEnvironment =
    ::testing::AddGlobalTestEnvironment(new QtEnvironment);

}  // namespace kestro::testing_qt
