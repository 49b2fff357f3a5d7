// Whole files as text, for tests that give programs their input and read what they wrote.
#ifndef NYR_TEST_FILE_TEXT_H
#define NYR_TEST_FILE_TEXT_H

#include <fstream>
#include <sstream>
#include <string>

inline std::string read_file(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

inline void write_file(const std::string& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
}

#endif
