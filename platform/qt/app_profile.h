#pragma once
// The program's profile (user settings) lives under the organisation
// "Local AppWizard-Generated Applications", application "Kestrin".
#include <QSettings>

#include <memory>

// Sets the organisation and application names so that a default QSettings uses the profile.
void t_setupAppProfile();
std::unique_ptr<QSettings> t_appSettings();
