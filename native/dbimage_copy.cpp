// Reads a database file into a DatabaseImage and writes the image out again, for the check
// against an independent implementation of the format (palm_pdb_check.pl).
#include <cstdio>

#include "mainmemory/DatabaseImage.h"

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: dbimage_copy IN OUT\n");
        return 2;
    }
    DatabaseImage image;
    if (!image.readFile(argv[1])) {
        std::fprintf(stderr, "%s: refused (code %d)\n", argv[1], static_cast<int>(image.failureCode));
        return 1;
    }
    return image.writeFile(argv[2]) ? 0 : 1;
}
