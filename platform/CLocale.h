#pragma once
// Text files are read and written with the C numeric locale whatever the user's locale.
// Call once after the Qt application object exists (Qt sets the locale from the environment).
void t_forceCNumericLocale();
