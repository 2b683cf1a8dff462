// A whole file as text, for tests that read what a program wrote.
#ifndef QEN_TEST_TEXT_FILE_H
#define QEN_TEST_TEXT_FILE_H

#include <fstream>
#include <sstream>
#include <string>

// The file's contents; empty when it cannot be read.
inline std::string read_file(const std::string& path)
{
    std::ifstream in(path);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

#endif
