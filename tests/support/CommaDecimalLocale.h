// Switches the process's numeric locale to one with a decimal comma for the
// life of the object, so that tests can show that numbers on the wire do not
// follow the locale. A German locale is built into a private folder with
// localedef when none with a comma is installed.
#pragma once

#include <string>

class CommaDecimalLocale {
  public:
    CommaDecimalLocale();
    ~CommaDecimalLocale();
    CommaDecimalLocale(const CommaDecimalLocale&) = delete;
    CommaDecimalLocale& operator=(const CommaDecimalLocale&) = delete;

    // False when no such locale could be had (the test then skips).
    bool ok() const { return ok_; }

  private:
    std::string old_;
    bool ok_ = false;
};
