#include "platform/qt/app_profile.h"

#include <QCoreApplication>

namespace {
const char* const kOrganisation = "Local AppWizard-Generated Applications";
const char* const kApplication = "Kestrin";
}  // namespace

void t_setupAppProfile() {
  QCoreApplication::setOrganizationName(QString::fromLatin1(kOrganisation));
  QCoreApplication::setApplicationName(QString::fromLatin1(kApplication));
}

std::unique_ptr<QSettings> t_appSettings() {
  return std::make_unique<QSettings>(QString::fromLatin1(kOrganisation),
                                     QString::fromLatin1(kApplication));
}
