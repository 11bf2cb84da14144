#include "tests/support/Application.h"

#include <QCoreApplication>

namespace testsupport {

void EnsureApplication() {
    if (QCoreApplication::instance() != nullptr) return;
    static int argc = 1;
    static char name[] = "nx_tests";
    static char* argv[] = {name, nullptr};
    static QCoreApplication* app = new QCoreApplication(argc, argv);
    (void)app;
}

}  // namespace testsupport
