#include "platform/CLocale.h"

#include <clocale>

void t_forceCNumericLocale() { std::setlocale(LC_NUMERIC, "C"); }
