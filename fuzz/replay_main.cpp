// Runs the fuzz target over saved inputs without libFuzzer, so that any
// compiler builds it and the seed corpus (and any crash input added to it)
// replays in the ordinary and the sanitised test runs.
// Usage: vorlix_fuzz_replay FILE_OR_DIRECTORY...
#include <dirent.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv);
extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size);

namespace {

std::vector<std::string> inputs_in(const std::string &path) {
    DIR *dir = opendir(path.c_str());
    if (dir == nullptr)
        return {path};
    std::vector<std::string> files;
    while (const dirent *e = readdir(dir))
        if (e->d_name[0] != '.')
            files.push_back(path + "/" + e->d_name);
    closedir(dir);
    std::sort(files.begin(), files.end());
    return files;
}

} // namespace

int main(int argc, char **argv) {
    LLVMFuzzerInitialize(&argc, &argv);
    int replayed = 0;
    for (int i = 1; i < argc; ++i) {
        for (const std::string &file : inputs_in(argv[i])) {
            std::ifstream in(file, std::ios::binary);
            if (!in) {
                std::fprintf(stderr, "cannot read %s\n", file.c_str());
                return 1;
            }
            const std::vector<uint8_t> data{std::istreambuf_iterator<char>(in),
                                            std::istreambuf_iterator<char>()};
            LLVMFuzzerTestOneInput(data.data(), data.size());
            ++replayed;
        }
    }
    std::printf("replayed %d inputs\n", replayed);
    // An empty corpus would make this a test that cannot fail.
    return replayed > 0 ? 0 : 1;
}
