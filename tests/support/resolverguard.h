#ifndef RESOLVERGUARD_H
#define RESOLVERGUARD_H

// Host name look-ups of a test and of every program it starts go through the
// guard in resolverguard.cpp: it is linked into each test executable and
// preloaded (LD_PRELOAD) into the programs they start. A look-up of any name
// but "localhost" or a numeric address is refused before it reaches a name
// server, and the name is written as a line to the file named by the
// environment variable below. The harness (testmain.cpp) fails the test
// executable when that file is not empty at its end.
namespace ResolverGuard {
extern const char* const LogVariable;
}

#endif // RESOLVERGUARD_H
