#ifndef TESTMAIN_H
#define TESTMAIN_H

#include "kestrovaapp.h"

#include <QtTest>

// The harness every test executable runs under:
// - offscreen platform, New York time zone (a time read as local instead of
//   UTC shows up), a fixed hash seed;
// - its own temporary XDG_DATA_HOME and XDG_CONFIG_HOME;
// - a host configuration that sends every role to a closed local port, so a
//   test that forgets the local eBay double fails fast instead of going out;
// - no look-up of an external host name, by the test or by a program it
//   starts: it is refused, and the test executable fails at its end (see
//   resolverguard.h);
// - "QObject::connect:" warnings and unexpected message boxes are fatal.
namespace TestHarness {
void prepareEnvironment();
void prepareApplication();
// The harness's own data directory root (its XDG_DATA_HOME).
QString harnessDataHome();
// The host configuration that sends every role to a closed local port.
QString closedHostsFile();
// The external host names looked up so far, each once; the list starts
// empty again.
QStringList takeExternalLookups();
} // namespace TestHarness

#define KESTROVA_TEST_MAIN(TestObject)                                                             \
    int main(int argc, char** argv)                                                                \
    {                                                                                              \
        TestHarness::prepareEnvironment();                                                         \
        KestrovaApp app(argc, argv);                                                               \
        TestHarness::prepareApplication();                                                         \
        TestObject testObject;                                                                     \
        QTEST_SET_MAIN_SOURCE_PATH                                                                 \
        return QTest::qExec(&testObject, argc, argv);                                              \
    }

#endif // TESTMAIN_H
