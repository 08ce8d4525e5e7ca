// A URL scheme handler for tests: writes the URL it was opened with into the file
// (or named pipe) given as its first argument.
#include <cstdio>

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: %s RECORD-FILE URL\n", argv[0]);
        return 2;
    }
    std::FILE* record = std::fopen(argv[1], "w");
    if (!record) return 1;
    std::fputs(argv[2], record);
    return std::fclose(record) == 0 ? 0 : 1;
}
