// No Qt here: the same file is also built as the library that is preloaded
// into the programs a test starts, Python's and OpenSSL's among them.
#include "resolverguard.h"

#include <arpa/inet.h>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dlfcn.h>
#include <fcntl.h>
#include <netdb.h>
#include <strings.h>
#include <unistd.h>

const char* const ResolverGuard::LogVariable = "KESTROVA_RESOLVER_LOG";

namespace {

bool isLocal(const char* name)
{
    if (!name || !*name || strcasecmp(name, "localhost") == 0 ||
        strcasecmp(name, "localhost.") == 0)
        return true;
    unsigned char address[sizeof(in6_addr)];
    return inet_pton(AF_INET, name, address) == 1 || inet_pton(AF_INET6, name, address) == 1;
}

// Whether the name may be looked up; an external one is logged instead.
bool mayLookUp(const char* name)
{
    if (isLocal(name))
        return true;
    if (const char* path = std::getenv(ResolverGuard::LogVariable)) {
        const int file = open(path, O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0600);
        if (file >= 0) {
            // One write per line: look-ups run on several threads at once.
            char line[512];
            const int length = std::snprintf(line, sizeof line, "%.500s\n", name);
            if (write(file, line, static_cast<size_t>(length)) < 0)
                std::perror("resolver guard");
            close(file);
        }
    }
    return false;
}

// The C library's own function of that name (or the next guard's).
template <typename Function> Function next(const char* name)
{
    return reinterpret_cast<Function>(dlsym(RTLD_NEXT, name));
}

} // namespace

extern "C" {

int getaddrinfo(const char* node, const char* service, const addrinfo* hints, addrinfo** result)
{
    if (!mayLookUp(node))
        return EAI_NONAME;
    static const auto real = next<decltype(&getaddrinfo)>("getaddrinfo");
    return real(node, service, hints, result);
}

hostent* gethostbyname(const char* name)
{
    if (!mayLookUp(name)) {
        h_errno = HOST_NOT_FOUND;
        return nullptr;
    }
    static const auto real = next<decltype(&gethostbyname)>("gethostbyname");
    return real(name);
}

hostent* gethostbyname2(const char* name, int family)
{
    if (!mayLookUp(name)) {
        h_errno = HOST_NOT_FOUND;
        return nullptr;
    }
    static const auto real = next<decltype(&gethostbyname2)>("gethostbyname2");
    return real(name, family);
}

int gethostbyname_r(const char* name, hostent* entry, char* buffer, size_t length, hostent** result,
                    int* error)
{
    if (!mayLookUp(name)) {
        *result = nullptr;
        *error = HOST_NOT_FOUND;
        return 0;
    }
    static const auto real = next<decltype(&gethostbyname_r)>("gethostbyname_r");
    return real(name, entry, buffer, length, result, error);
}

int gethostbyname2_r(const char* name, int family, hostent* entry, char* buffer, size_t length,
                     hostent** result, int* error)
{
    if (!mayLookUp(name)) {
        *result = nullptr;
        *error = HOST_NOT_FOUND;
        return 0;
    }
    static const auto real = next<decltype(&gethostbyname2_r)>("gethostbyname2_r");
    return real(name, family, entry, buffer, length, result, error);
}

} // extern "C"
