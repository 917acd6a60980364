#include "app/utf8_locale.h"

#include <langinfo.h>

#include <clocale>
#include <cstdlib>
#include <cstring>

namespace talu {

namespace {

constexpr const char* kFallbackLocale = "C.UTF-8";

bool CurrentLocaleIsUtf8() {
  const char* codeset = nl_langinfo(CODESET);
  return codeset && (std::strcmp(codeset, "UTF-8") == 0 || std::strcmp(codeset, "utf8") == 0);
}

}  // namespace

void UseUtf8Locale() {
  if (std::setlocale(LC_ALL, "") && CurrentLocaleIsUtf8()) return;
  // Qt sets the locale again from the environment when it starts.
  setenv("LC_ALL", kFallbackLocale, 1);
  std::setlocale(LC_ALL, kFallbackLocale);
}

}  // namespace talu
