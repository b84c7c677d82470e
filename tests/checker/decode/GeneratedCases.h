#pragma once

#include <gtest/gtest.h>

#include <cstddef>
#include <fstream>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

namespace velkora::testing {

// One line of tests/data/decode/header_cases.txt, made by make_header_cases.py beside it.
struct GeneratedCase {
    std::string name;
    std::vector<std::string> fields;  // the hex fields ("-" when empty), decoded to bytes
};

inline std::string fromHex(std::string_view hex) {
    EXPECT_EQ(hex.size() % 2, 0u) << hex;
    std::string bytes;
    for (std::size_t i = 0; i + 1 < hex.size(); i += 2) {
        bytes += static_cast<char>(std::stoi(std::string(hex.substr(i, 2)), nullptr, 16));
    }
    return bytes;
}

// The cases of one kind, each with the number of fields that kind has.
inline std::vector<GeneratedCase> loadGeneratedCases(std::string_view kind,
                                                     std::size_t fieldCount) {
    std::ifstream file(VELKORA_TEST_DATA_DIR "/decode/header_cases.txt");
    EXPECT_TRUE(file.is_open()) << "header_cases.txt is missing";
    std::vector<GeneratedCase> cases;
    std::string line;
    while (std::getline(file, line)) {  // comment lines are of no kind
        std::istringstream words(line);
        std::string lineKind;
        GeneratedCase c;
        words >> lineKind >> c.name;
        if (lineKind != kind) {
            continue;
        }
        std::string hex;
        while (words >> hex) {
            c.fields.push_back(hex == "-" ? std::string() : fromHex(hex));
        }
        EXPECT_EQ(c.fields.size(), fieldCount) << c.name;
        if (c.fields.size() == fieldCount) {
            cases.push_back(std::move(c));
        }
    }
    return cases;
}

}  // namespace velkora::testing
