// caureg.exe of the test payload: the updater's registration program, which the launcher runs
// as "caureg.exe -r cre <full version>" after installing the updater and which answers 0 for a
// registration.
//
// It keeps a record of its calls for tests: with CDK_CAUREG_LOG set, it appends its arguments
// as one line, separated by single spaces, to that file. CDK_CAUREG_EXIT_CODE, when set, is the
// exit code of a registration, so that a test can make the registration fail. Any other
// argument list is a usage error, exit code 2.
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

void appendCallRecord(int argc, char** argv) {
    const char* log = std::getenv("CDK_CAUREG_LOG");
    if (log == nullptr || *log == '\0') {
        return;
    }
    FILE* file = std::fopen(log, "a");
    if (file == nullptr) {
        return;
    }
    for (int i = 1; i < argc; ++i) {
        std::fprintf(file, "%s%s", i > 1 ? " " : "", argv[i]);
    }
    std::fputc('\n', file);
    std::fclose(file);
}

}  // namespace

int main(int argc, char** argv) {
    appendCallRecord(argc, argv);
    const bool registration = argc == 4 && std::strcmp(argv[1], "-r") == 0 &&
                              std::strcmp(argv[2], "cre") == 0 && argv[3][0] != '\0';
    if (!registration) {
        std::fprintf(stderr, "usage: caureg -r cre <version>\n");
        return 2;
    }
    const char* code = std::getenv("CDK_CAUREG_EXIT_CODE");
    return code != nullptr && *code != '\0' ? std::atoi(code) : 0;
}
