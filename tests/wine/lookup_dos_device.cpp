// lookup_dos_device: asks the object manager, through QueryDosDeviceA, what an
// MS-DOS device name is linked to, without opening the device behind it.
//
//   lookup_dos_device NAME TARGET   exit 0 when NAME links to exactly TARGET
//   lookup_dos_device NAME --absent exit 0 when NAME does not exist
//
// Exit 1 when the answer is not the expected one, 2 on a usage error. The
// answer is printed on one line either way.

#include <windows.h>

#include <cstdio>
#include <cstring>

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s NAME TARGET|--absent\n", argv[0]);
        return 2;
    }
    const char* name = argv[1];
    const char* expected = argv[2];
    const bool want_absent = std::strcmp(expected, "--absent") == 0;

    // The answer is a list of NUL-terminated targets ending in an empty one;
    // the first entry is the current target of the link.
    char targets[4096] = {};
    const DWORD length = QueryDosDeviceA(name, targets, sizeof targets);
    if (length == 0) {
        const DWORD error = GetLastError();
        std::printf("%s: no such DOS device (error %lu)\n", name,
                    static_cast<unsigned long>(error));
        if (want_absent && error == ERROR_FILE_NOT_FOUND) {
            return 0;
        }
        return 1;
    }

    std::printf("%s -> %s\n", name, targets);
    if (want_absent) {
        return 1;
    }
    return std::strcmp(targets, expected) == 0 ? 0 : 1;
}
