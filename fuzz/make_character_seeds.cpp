// Writes the seeds of fuzz_character_file: the tests' small character, with its images
// compressed and stored plain. Usage: make_character_seeds FOLDER

#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "character/AcsWriter.h"
#include "tests/character/TestCharacter.h"

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_character_seeds FOLDER\n");
        return 2;
    }
    const velkora::AcsCharacterData character = velkora::test::makeTestCharacter();
    for (const bool compressed : {true, false}) {
        const std::vector<uint8_t> bytes = velkora::writeAcs(character, {compressed});
        const std::string path =
            std::string(argv[1]) + (compressed ? "/compressed.acs" : "/plain.acs");
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(bytes.data()),
                  static_cast<std::streamsize>(bytes.size()));
        if (!out) {
            std::fprintf(stderr, "cannot write %s\n", path.c_str());
            return 1;
        }
    }
    return 0;
}
