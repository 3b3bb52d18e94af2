// One QApplication for the whole test binary (the prompt service needs one to show dialogs).
#include <QApplication>

#include <gtest/gtest.h>

#include "platform/CLocale.h"

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  t_forceCNumericLocale();
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
